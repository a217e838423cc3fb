#include "jww/header.h"

#include <string>

#include "jww/records.h"

namespace quorvex {
namespace {

// Extended line types above 16 whose segment count is not 2, 4, 6 or 8 are
// written as this plain pattern.
bool IsOddExtendedLineType(int t, const TEntJwwLineTypeExNo& lt) {
  const int n = lt.SegmentCount;
  return t > 16 && !(n == 2 || n == 4 || n == 6 || n == 8);
}

// A name after StripCaretM, or `fallback` + number when nothing visible is left.
JwwString NameOrNumbered(const JwwString& name, const char* fallback, int number) {
  JwwString s = StripCaretM(name);
  if (RemoveBlanks(s).Empty()) s = name.SameForm(fallback + std::to_string(number));
  return s;
}

template <class IO, class F>
void MarkJump(IO& io, F& scale, F& x, F& y) {
  io.F64(scale), io.F64(x), io.F64(y);
}

template <class IO, class D>
void ExtendedColors(IO& io, D& d) {
  for (auto& c : d.ColorsEx) io.U32(c.ScreenColor), io.I32(c.ScreenWidth);
  for (int e = 0; e < static_cast<int>(d.ColorsEx.size()); ++e) {
    auto& c = d.ColorsEx[e];
    if constexpr (IO::kReading) {
      io.Str(c.Name);
      io.U32(c.PrinterColor);
    } else {
      io.Raw(NameOrNumbered(c.Name, "Color_", e));
      io.U32(e > 16 ? c.ScreenColor : c.PrinterColor);
    }
    io.I32(c.PrinterWidth), io.F64(c.PointRadius);
  }
}

template <class IO, class D>
void ExtendedLineTypes(IO& io, D& d) {
  for (int t = 0; t < static_cast<int>(d.LineTypesEx.size()); ++t) {
    auto& lt = d.LineTypesEx[t];
    if constexpr (IO::kReading) {
      io.U32(lt.Pattern), io.I32(lt.UnitDots), io.I32(lt.Pitch), io.I32(lt.PrinterPitch);
    } else if (IsOddExtendedLineType(t, lt)) {
      io.U32(0xC3C3C3C3u), io.I32(8), io.I32(1), io.I32(8);
    } else {
      io.U32(lt.Pattern == 0 ? 0xFFFFFFFFu : lt.Pattern), io.I32(lt.UnitDots), io.I32(lt.Pitch),
          io.I32(lt.PrinterPitch);
    }
  }
  for (int t = 0; t < static_cast<int>(d.LineTypesEx.size()); ++t) {
    auto& lt = d.LineTypesEx[t];
    if constexpr (IO::kReading) {
      io.Str(lt.Name);
      io.I32(lt.SegmentCount);
      for (double& p : lt.SegmentPitch) io.F64(p);
    } else if (IsOddExtendedLineType(t, lt)) {
      io.Raw(lt.Name.SameForm("LType_" + std::to_string(t)));
      io.I32(2);
      for (int i = 0; i < 10; ++i) io.F64(i < 2 ? 1.0 : 0.0);
    } else {
      io.Raw(NameOrNumbered(lt.Name, "LType_", t));
      io.I32(lt.SegmentCount);
      for (double p : lt.SegmentPitch) io.F64(p);
    }
  }
}

// Everything of the header section after the signature and the version, for
// version v: the header fields from h, the settings tables from `tables` (a
// drawing, or blank tables).
template <class IO, class H, class D>
void HeaderBody(IO& io, H& h, D& d, int32_t v) {
  io.Raw(h.Memo);
  io.I32(h.SheetSize), io.I32(h.WriteLayerGroup);
  for (int g = 0; g < 16; ++g) {
    auto& grp = d.LayerGroups[g];
    io.I32(grp.State), io.I32(grp.WriteLayer), io.F64(grp.Scale), io.I32(grp.Protect);
    for (int l = 0; l < 16; ++l) io.I32(d.Layers[g * 16 + l].State), io.I32(d.Layers[g * 16 + l].Protect);
  }
  io.Zeros(56);
  for (auto& s : h.DimSetting) io.I32(s);
  io.Zeros(4);
  if constexpr (IO::kReading) {
    io.I32(h.MaxDrawWidth);
    DecodeMaxDrawWidth(h.MaxDrawWidth, h.MaxDrawWidthIsCode, h.MaxDrawWidthValue);
  } else {
    io.I32(v <= kVersionExtended && h.MaxDrawWidth < -101 ? -101 : h.MaxDrawWidth);
  }
  io.F64(h.PrinterOriginX), io.F64(h.PrinterOriginY), io.F64(h.PrinterScale);
  io.I32(h.PrinterRotate), io.I32(h.GridMode);
  io.F64(h.GridDisplayMin), io.F64(h.GridSpacingX), io.F64(h.GridSpacingY), io.F64(h.GridBaseX),
      io.F64(h.GridBaseY);
  for (auto& layer : d.Layers) io.Str(layer.Name);
  for (auto& grp : d.LayerGroups) io.Str(grp.Name);
  io.F64(h.ShadowLevel), io.F64(h.ShadowLatitude);
  io.I32(h.ShadowTimeFlag);
  io.F64(h.WallShadowLevel);
  if (v >= kVersionSkyChart) io.F64(h.SkyChartLevel), io.F64(h.SkyChartRadius);
  io.I32(h.Unit3D);
  io.F64(h.ViewScale), io.F64(h.ViewOriginX), io.F64(h.ViewOriginY);
  io.F64(h.RangeScale), io.F64(h.RangeOriginX), io.F64(h.RangeOriginY);
  if (v <= kVersionSolidColor) {
    for (int n = 0; n < 4; ++n) MarkJump(io, h.MarkScale[n], h.MarkOriginX[n], h.MarkOriginY[n]);
  } else {
    for (int n = 0; n < 8; ++n) {
      MarkJump(io, h.MarkScale[n], h.MarkOriginX[n], h.MarkOriginY[n]);
      io.I32(h.MarkLayerGroup[n]);
    }
    for (auto* m : {&h.MarkExtra1, &h.MarkExtra2}) {
      MarkJump(io, m->Scale, m->OriginX, m->OriginY);
      io.I32(m->LayerGroup);
    }
  }
  for (auto& s : h.MultiLineSpacing) io.F64(s);
  io.F64(h.BothSideExtension);
  for (auto& p : d.PenSettings) io.U32(p.ScreenColor), io.I32(p.ScreenWidth);
  for (auto& p : d.PenSettings) io.U32(p.PrinterColor), io.I32(p.PrinterWidth), io.F64(p.PointRadius);
  for (auto& t : d.LineTypes) io.U32(t.Pattern), io.I32(t.UnitDots), io.I32(t.Pitch), io.I32(t.PrinterPitch);
  for (auto& r : d.RandomLines)
    io.U32(r.Pattern), io.I32(r.Amplitude), io.I32(r.Pitch), io.I32(r.PrinterAmplitude), io.I32(r.PrinterPitch);
  for (auto& t : d.DoubleLineTypes)
    io.U32(t.Pattern), io.I32(t.UnitDots), io.I32(t.Pitch), io.I32(t.PrinterPitch);
  for (auto& o : h.Option) io.I32(o);
  if constexpr (IO::kReading) {
    int32_t packed = 0;
    io.I32(packed);
    h.OptionLow = packed % 10;
    h.OptionHigh = packed / 10;
  } else {
    io.I32(PackedOptionFor(h, v));
  }
  if (v >= kVersionEye) {
    io.I32(h.DrawTime), io.I32(h.EyeInit), io.I32(h.EyeAngle1), io.I32(h.EyeAngle2), io.I32(h.EyeAngle3);
    io.F64(h.EyeHeight1), io.F64(h.EyeDistance1), io.F64(h.EyeHeight2), io.F64(h.EyeDistance2),
        io.F64(h.EyeVertAngle3);
  }
  if (v >= kVersionLastSizes) io.F64(h.LastLineLength), io.F64(h.LastBoxX), io.F64(h.LastBoxY), io.F64(h.LastCircleRadius);
  if (v >= kVersionSolidColor) io.I32(h.SolidAnyColor), io.U32(h.SolidColor);
  if (v >= kVersionExtended) {
    ExtendedColors(io, d);
    ExtendedLineTypes(io, d);
  }
  for (auto& s : d.TextStyles) io.F64(s.Width), io.F64(s.Height), io.F64(s.Spacing), io.I32(s.Color);
  io.F64(h.TextSizeX), io.F64(h.TextSizeY), io.F64(h.TextSpacing);
  io.I32(h.TextColor), io.I32(h.TextKind);
  io.F64(h.TextLineSpacing), io.F64(h.TextCharCount);
  io.I32(h.TextShiftOn);
  for (auto& x : h.TextShiftX) io.F64(x);
  for (auto& y : h.TextShiftY) io.F64(y);
}

}  // namespace

void SizeSettingsTables(TJwwData& d) {
  d.LayerGroups.assign(16, {});
  d.Layers.assign(256, {});
  d.PenSettings.assign(10, {});
  d.LineTypes.assign(8, {});
  d.RandomLines.assign(5, {});
  d.DoubleLineTypes.assign(4, {});
  d.TextStyles.assign(10, {});
  d.ColorsEx.assign(257, {});
  d.LineTypesEx.assign(33, {});
}

void DecodeMaxDrawWidth(int32_t stored, bool& isCode, int32_t& value) {
  isCode = false;
  value = stored;
  if (stored > -101) return;
  isCode = true;
  if (stored >= -500 && stored <= -401) {
    value = 400 + stored;  // 400 - |stored|: -100..-1
  } else if (stored >= -300 && stored <= -201) {
    value = -stored - 200;  // |stored| - 200: 1..100
  } else {
    value = -100;
  }
}

int32_t PackedOptionFor(const TEntJwwHeader& h, int32_t version) {
  if (version < kVersionPackedOption) return h.OptionLow;
  return h.OptionLow + (h.OptionHigh > 0 ? h.OptionHigh * 10 : 10);
}

bool ReadHeader(ByteCursor& c, TJwwData& d) {
  SizeSettingsTables(d);
  TRecordReader io(c, 0);
  io.Signature(d.Header.Signature);
  const size_t versionAt = c.Offset();
  io.I32(d.Header.Version);
  if (!c.Ok()) return false;
  if (d.Header.Version < kOldestVersion) {
    c.FailAt(versionAt, TReadProblem::kOldVersion, d.Header.Version);
    return false;
  }
  HeaderBody(io, d.Header, d, d.Header.Version);
  return c.Ok();
}

void WriteHeader(TArchiveWriter& w, const TJwwData& d, int32_t version) {
  TWriterFallbacks unused;
  TRecordWriter io(w, version, unused, nullptr);
  w.Bytes(kSignature.data(), kSignature.size());  // whatever the drawing was read with
  io.I32(version);
  if (d.LayerGroups.size() == 16 && d.Layers.size() == 256 && d.PenSettings.size() == 10 && d.LineTypes.size() == 8 &&
      d.RandomLines.size() == 5 && d.DoubleLineTypes.size() == 4 && d.TextStyles.size() == 10 &&
      d.ColorsEx.size() == 257 && d.LineTypesEx.size() == 33) {
    HeaderBody(io, d.Header, d, version);
  } else {
    // A drawing that never read a header: every setting zero.
    TJwwData blank;
    SizeSettingsTables(blank);
    HeaderBody(io, d.Header, blank, version);
  }
}

}  // namespace quorvex
