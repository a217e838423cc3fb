// The layouts of the entity records and the block definition's fixed part,
// described once for both directions.
//
// Each layout is a function template over an IO type: TRecordReader fills
// the record from a cursor, TRecordWriter writes it. Both offer the same
// calls (Common, U16, U32, I32, F64, Str, Raw, BlockNumber, Zeros);
// the reader takes its fields by reference, the writer by value.
// Where the two sides differ (defaults for fields an old file lacks, value
// substitutions of the writer), the difference sits in the IO type or in an
// `if constexpr (IO::kReading)` branch next to the field it concerns.
#pragma once

#include <string>

#include "jww/archive.h"
#include "jww/cursor.h"
#include "jww/jwwunit.h"

namespace quorvex {

// Kind contexts of WriteCommonPart: 1..7 the entity kinds, 8 a block definition.
constexpr int kContextBlockDef = 8;

// The common part as the writer puts it on file for this kind context and
// output version: older colours and line types mapped below 420, values the
// version cannot hold replaced by the fallbacks, layers and pen widths
// checked. The record itself is not changed. Inline, as every record
// written passes here, most of them several times: where the kind context
// is known, the checks of the other kinds fall away.
inline TEntJwwCommon MapCommonPart(const TEntJwwCommon& r, int context, int32_t version,
                                   const TWriterFallbacks& fb) {
  auto inRange = [](int v, int lo, int hi) { return v >= lo && v <= hi; };
  TEntJwwCommon c = r;
  if (version < kVersionExtended) {
    // Line types 31..45 and colours 101..116 of the extended sets, as the
    // nearest older ones; the rest of the extended sets as the fallbacks.
    static constexpr uint8_t kOldLineType[] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};
    static constexpr uint16_t kOldColor[] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};
    if (context == kLine || context == kArc) {
      if (inRange(c.PenStyle, 31, 45)) {
        c.PenStyle = kOldLineType[c.PenStyle - 31];
      } else if (inRange(c.PenStyle, 46, 62)) {
        c.PenStyle = fb.LineType;
      }
    }
    if (inRange(context, kLine, kSolid)) {
      if (inRange(c.PenColor, 101, 116)) {
        c.PenColor = kOldColor[c.PenColor - 101];
      } else if (inRange(c.PenColor, 117, 356)) {
        c.PenColor = fb.Color;
      }
    }
  }
  const int style = c.PenStyle;
  if (context == kLine || context == kArc) {
    if (!(inRange(style, 1, 9) || inRange(style, 11, 19) || inRange(style, 31, 62))) c.PenStyle = fb.LineType;
  } else if (context == kPoint) {
    if (style != 1 && style != 100) c.PenStyle = 1;
  } else if (context == kText) {
    if (!inRange(style, 1, 9)) c.PenStyle = 1;
  }
  const int color = c.PenColor;
  if (inRange(context, kLine, kDimension)) {
    if (!(inRange(color, 1, 9) || inRange(color, 101, 356))) c.PenColor = fb.Color;
  } else if (context == kSolid) {
    if (!(inRange(color, 1, 10) || inRange(color, 101, 356))) c.PenColor = fb.Color;
  }
  if (c.Layer > 15) c.Layer = 0;
  if (c.LayerGroup > 15) c.LayerGroup = 0;
  if (c.PenWidth > 30000) c.PenWidth = 0;
  return c;
}

// The common part's bytes on file, little-endian, in this order: Group (4
// bytes), PenStyle (1), PenColor (2), PenWidth (2, from version 351 only),
// Layer (2), LayerGroup (2), Flags (2). The reader, the skipper and the
// writer all go by this one description.
struct TCommonPartLayout {
  static constexpr size_t kGroup = 0, kPenStyle = 4, kPenColor = 5, kPenWidth = 7;
  static constexpr size_t kMaxSize = 15;

  explicit constexpr TCommonPartLayout(int32_t version) : WithWidth(version >= kVersionPenWidth) {}
  constexpr size_t Layer() const { return WithWidth ? kPenWidth + 2 : kPenWidth; }
  constexpr size_t LayerGroup() const { return Layer() + 2; }
  constexpr size_t Flags() const { return Layer() + 4; }
  constexpr size_t Size() const { return Layer() + 6; }
  // Where the first field that does not fit in `bytes` starts.
  constexpr size_t FirstFieldPast(size_t bytes) const {
    const size_t ends[] = {kPenStyle, kPenColor, kPenWidth, Layer(), LayerGroup(), Flags(), Size()};
    size_t start = 0;
    for (size_t end : ends) {
      if (end > bytes) return start;
      start = end;
    }
    return Size();
  }

  bool WithWidth;
};

namespace layout_detail {
inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
}  // namespace layout_detail

// The common part from its bytes (PenWidth 0 where the layout has none).
inline void DecodeCommonPart(const uint8_t* p, const TCommonPartLayout& l, TEntJwwCommon& r) {
  using layout_detail::Get16;
  r.Group = uint32_t(Get16(p + l.kGroup)) | uint32_t(Get16(p + l.kGroup + 2)) << 16;
  r.PenStyle = p[l.kPenStyle];
  r.PenColor = Get16(p + l.kPenColor);
  r.PenWidth = l.WithWidth ? Get16(p + l.kPenWidth) : 0;
  r.Layer = Get16(p + l.Layer());
  r.LayerGroup = Get16(p + l.LayerGroup());
  r.Flags = Get16(p + l.Flags());
}

// The bytes of a common part (l.Size() of them).
inline void EncodeCommonPart(const TEntJwwCommon& c, const TCommonPartLayout& l, uint8_t* p) {
  using layout_detail::Put16;
  Put16(p + l.kGroup, static_cast<uint16_t>(c.Group));
  Put16(p + l.kGroup + 2, static_cast<uint16_t>(c.Group >> 16));
  p[l.kPenStyle] = c.PenStyle;
  Put16(p + l.kPenColor, c.PenColor);
  if (l.WithWidth) Put16(p + l.kPenWidth, c.PenWidth);
  Put16(p + l.Layer(), c.Layer);
  Put16(p + l.LayerGroup(), c.LayerGroup);
  Put16(p + l.Flags(), c.Flags);
}

// Writes the mapped common part, its bytes gathered first and handed over
// in one go.
inline void WriteCommonPart(TArchiveWriter& w, const TEntJwwCommon& r, int context, int32_t version,
                            const TWriterFallbacks& fb) {
  const TCommonPartLayout layout(version);
  uint8_t b[TCommonPartLayout::kMaxSize];
  EncodeCommonPart(MapCommonPart(r, context, version, fb), layout, b);
  // A size known where it is compiled: the copy is a few moves, not a call.
  constexpr size_t kWithWidth = TCommonPartLayout(kVersionPenWidth).Size();
  constexpr size_t kWithoutWidth = TCommonPartLayout(kVersionPenWidth - 1).Size();
  static_assert(kWithWidth == TCommonPartLayout::kMaxSize);
  if (layout.WithWidth) {
    w.Bytes(b, kWithWidth);
  } else {
    w.Bytes(b, kWithoutWidth);
  }
}

class TRecordReader {
 public:
  static constexpr bool kReading = true;
  TRecordReader(ByteCursor& c, int32_t version) : c_(c), version_(version) {}

  int32_t Version() const { return version_; }
  ByteCursor& Cursor() { return c_; }

  void Common(TEntJwwCommon& r, int /*context*/) {
    const TCommonPartLayout layout(version_);
    if (c_.Remaining() < layout.Size()) {
      // Cut short: the failure names the first field that does not fit.
      c_.FailAt(c_.Offset() + layout.FirstFieldPast(c_.Remaining()), TReadProblem::kCutShort);
      r = TEntJwwCommon();
      return;
    }
    const uint8_t* p = c_.Take(layout.Size());
    if (!p) {
      r = TEntJwwCommon();
      return;
    }
    DecodeCommonPart(p, layout, r);
  }
  void U16(uint16_t& v) { v = c_.U16(); }
  void U32(uint32_t& v) { v = c_.U32(); }
  void I32(int32_t& v) { v = c_.I32(); }
  void F64(double& v) { v = c_.F64(); }
  // A name or a text's string: cleaned, kept whole in its form (up to the
  // 65,535 units an archive string can hold).
  void Str(JwwString& s) { s = ReadCleanString(c_); }
  // A string read as it stands (the memo).
  void Raw(JwwString& s) { s = ReadArchiveString(c_); }
  void BlockNumber(int32_t& v) { v = c_.I32(); }
  void Zeros(size_t n) { c_.Skip(n); }
  void Signature(std::string& s) {
    const uint8_t* p = c_.Take(8);
    s = p ? std::string(reinterpret_cast<const char*>(p), 8) : std::string();
  }

 private:
  ByteCursor& c_;
  int32_t version_;
};

// Steps over a record on file without keeping it, by the same layouts: of
// the fields it keeps only PenStyle and PenColor, which decide how long a
// point's or a solid's body is. Used to count a list's records of each kind
// before the list is read.
class TRecordSkipper {
 public:
  static constexpr bool kReading = false;
  TRecordSkipper(ByteCursor& c, int32_t version) : c_(c), version_(version) {}

  int32_t Version() const { return version_; }

  void Common(TEntJwwCommon& r, int /*context*/) {
    const TCommonPartLayout layout(version_);
    const uint8_t* p = c_.Take(layout.Size());
    r.PenStyle = p ? p[layout.kPenStyle] : 0;
    r.PenColor = p ? layout_detail::Get16(p + layout.kPenColor) : 0;
  }
  template <class T>
  void U16(const T&) { c_.Skip(2); }
  template <class T>
  void U32(const T&) { c_.Skip(4); }
  template <class T>
  void I32(const T&) { c_.Skip(4); }
  template <class T>
  void F64(const T&) { c_.Skip(8); }
  void Str(const JwwString&) { SkipArchiveString(c_); }
  void Raw(const JwwString&) { SkipArchiveString(c_); }
  template <class T>
  void BlockNumber(const T&) { c_.Skip(4); }
  void Zeros(size_t n) { c_.Skip(n); }

 private:
  ByteCursor& c_;
  int32_t version_;
};

// Maps block numbers of the drawing to the numbers the writer gives the
// definitions in use.
class TBlockNumberMap {
 public:
  explicit TBlockNumberMap(const TJwwData& d) : d_(d), index_(d.Definitions()) {}
  // Used definition: its NewNumber; found but unused: the number itself;
  // no such definition: UsedBlockDefCount, a number no written definition
  // has, so a dangling insertion stays dangling.
  int32_t MapBlockNumber(int32_t n) const;

 private:
  const TJwwData& d_;
  TBlockIndex index_;
};

class TRecordWriter {
 public:
  static constexpr bool kReading = false;
  TRecordWriter(TArchiveWriter& w, int32_t version, const TWriterFallbacks& fb, const TBlockNumberMap* blocks)
      : w_(w), version_(version), fb_(fb), blocks_(blocks) {}

  int32_t Version() const { return version_; }
  TArchiveWriter& Out() { return w_; }

  void Common(const TEntJwwCommon& r, int context) { WriteCommonPart(w_, r, context, version_, fb_); }
  void U16(uint16_t v) { w_.U16(v); }
  void U32(uint32_t v) { w_.U32(v); }
  void I32(int32_t v) { w_.I32(v); }
  void F64(double v) { w_.F64(v); }
  // A name or a text's string, through StripCaretM, in its own form.
  void Str(const JwwString& s) {
    if (MayHoldCaretM(s)) {
      WriteArchiveString(w_, StripCaretM(s));
    } else {
      WriteArchiveString(w_, s);
    }
  }
  void Raw(const JwwString& s) { WriteArchiveString(w_, s); }
  void BlockNumber(int32_t n) { w_.I32(blocks_ ? blocks_->MapBlockNumber(n) : n); }
  void Zeros(size_t n) { w_.Zeros(n); }

 private:

  TArchiveWriter& w_;
  int32_t version_;
  const TWriterFallbacks& fb_;
  const TBlockNumberMap* blocks_;
};

// ---- layouts ----

template <class IO, class R>
void LineBody(IO& io, R& r) {
  io.Common(r, kLine);
  io.F64(r.StartX), io.F64(r.StartY), io.F64(r.EndX), io.F64(r.EndY);
}

template <class IO, class R>
void ArcBody(IO& io, R& r) {
  io.Common(r, kArc);
  io.F64(r.CenterX), io.F64(r.CenterY), io.F64(r.Radius), io.F64(r.StartAngle);
  io.F64(r.ArcAngle), io.F64(r.TiltAngle), io.F64(r.Flatness);
  io.U32(r.FullCircle);
}

// A point carries Code, Angle and Scale only with PenStyle 100 (the stored
// value, not the one the writer maps). A reader fills them otherwise with
// 0, 0 and the scale the context gives.
template <class IO, class R>
void PointBody(IO& io, R& r, double defaultScale) {
  io.Common(r, kPoint);
  io.F64(r.X), io.F64(r.Y);
  io.U32(r.Temporary);
  if (r.PenStyle == 100) {
    io.U32(r.Code), io.F64(r.Angle), io.F64(r.Scale);
  } else if constexpr (IO::kReading) {
    r.Code = 0, r.Angle = 0, r.Scale = defaultScale;
  }
}

template <class IO, class R>
void TextBody(IO& io, R& r) {
  io.Common(r, kText);
  io.F64(r.StartX), io.F64(r.StartY), io.F64(r.EndX), io.F64(r.EndY);
  io.U32(r.TextType);
  io.F64(r.SizeX), io.F64(r.SizeY), io.F64(r.Spacing), io.F64(r.Angle);
  io.Str(r.FontName);
  io.Str(r.Text);
}

// Gives a dimension from a file before version 420 its parts: no parts
// flag; each part a copy of the dimension's common part with every other
// field 0, the points with PenStyle 0.
void FillOldDimensionParts(TEntJwwDimension& d);

// The parts after the value text are on file from version 420; the writer
// of an older version leaves them to the list writer (split dimensions).
template <class IO, class R>
void DimensionBody(IO& io, R& r) {
  io.Common(r, kDimension);
  LineBody(io, r.DimLine);
  TextBody(io, r.ValueText);
  if (io.Version() >= kVersionExtended) {
    io.U16(r.PartsFlag);
    LineBody(io, r.AuxLine1);
    LineBody(io, r.AuxLine2);
    PointBody(io, r.Point1, 0.0);
    PointBody(io, r.Point2, 0.0);
    PointBody(io, r.AuxPoint1, 0.0);
    PointBody(io, r.AuxPoint2, 0.0);
  } else if constexpr (IO::kReading) {
    FillOldDimensionParts(r);
  }
}

// A solid carries its own colour only with PenColor 10 (the stored value).
template <class IO, class R>
void SolidBody(IO& io, R& r) {
  io.Common(r, kSolid);
  io.F64(r.X1), io.F64(r.Y1), io.F64(r.X2), io.F64(r.Y2);
  io.F64(r.X3), io.F64(r.Y3), io.F64(r.X4), io.F64(r.Y4);
  if (r.PenColor == 10) {
    io.U32(r.Color);
  } else if constexpr (IO::kReading) {
    r.Color = 0;
  }
}

template <class IO, class R>
void BlockRefBody(IO& io, R& r) {
  io.Common(r, kBlockRef);
  io.F64(r.RefX), io.F64(r.RefY), io.F64(r.ScaleX), io.F64(r.ScaleY), io.F64(r.Angle);
  io.BlockNumber(r.BlockNumber);
}

// The fixed part of a block definition: common part, number, flag, time.
template <class IO, class R>
void BlockDefFixedPart(IO& io, R& r) {
  io.Common(r, kContextBlockDef);
  io.BlockNumber(r.Number);
  io.U32(r.Referenced);
  io.U32(r.Time);
}

}  // namespace quorvex
