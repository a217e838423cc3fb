#include "render/svg.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>
#include <numbers>
#include <string_view>

#include "render/layout.h"
#include "render/number.h"
#include "render/textlayout.h"

namespace quorvex {
namespace {

constexpr double kRadToDeg = 180 / std::numbers::pi;
// The picture's longest side on paper, in millimetres, is kept in this range.
constexpr double kMinPaperSide = 100, kMaxPaperSide = 1200;
// The thinnest stroke, in millimetres of the picture's paper.
constexpr double kHairlineMillimetres = 0.05;

// Bytes gathered before they go to the writer.
constexpr size_t kChunk = 256u << 10;

// Text gathered for the writer: appends inline, growing only when a chunk
// and the element after it no longer fit.
class TText {
 public:
  TText() : buf_(2 * kChunk) {}
  void append(const char* p, size_t n) {
    std::memcpy(Room(n), p, n);
    n_ += n;
  }
  void append(const char* p, const char* end) { append(p, static_cast<size_t>(end - p)); }
  void push_back(char c) {
    *Room(1) = c;
    ++n_;
  }
  TText& operator+=(char c) {
    push_back(c);
    return *this;
  }
  TText& operator+=(const char* text) {
    append(text, std::strlen(text));
    return *this;
  }
  TText& operator+=(const std::string& text) {
    append(text.data(), text.size());
    return *this;
  }
  // Writes a number where the text ends.
  void Number(double v) {
    char* at = Room(32);
    n_ += static_cast<size_t>(FormatNumber(v, at) - at);
  }
  char& back() { return buf_[n_ - 1]; }
  const char* data() const { return buf_.data(); }
  size_t size() const { return n_; }
  void clear() { n_ = 0; }

 private:
  char* Room(size_t n) {
    if (buf_.size() - n_ < n) [[unlikely]]
      Grow(n);
    return buf_.data() + n_;
  }
  [[gnu::noinline]] void Grow(size_t n) { buf_.resize(std::max(2 * buf_.size(), n_ + n)); }
  std::vector<char> buf_;
  size_t n_ = 0;
};

class TSvgOut {
 public:
  explicit TSvgOut(TArchiveWriter& out) : out_(out) {}

  // Hands what is gathered to the writer once there is a chunk of it (or
  // all of it at the end); called between elements.
  void Flush(bool all = false) {
    if (o_.size() < kChunk && !all) return;
    out_.Bytes(o_.data(), o_.size());
    o_.clear();
  }

  template <size_t N>
  void Raw(const char (&text)[N]) {
    o_.append(text, N - 1);
  }
  void Raw(const std::string& text) { o_ += text; }
  void Raw(const char* text) { o_ += text; }

  void Num(double v) {
    if (v == 0 || !std::isfinite(v)) v = 0;  // no "-0"; callers never pass non-finite values
    o_.Number(v);
  }
  void Pt(TPt p) {
    Num(p.X);
    o_ += ' ';
    Num(p.Y);
  }
  template <size_t N>
  void Attr(const char (&name)[N], double v) {
    o_ += ' ';
    o_.append(name, N - 1);
    o_ += "=\"";
    Num(v);
    o_ += '"';
  }
  void Matrix(const TAffine& m) {
    o_ += " transform=\"matrix(";
    for (double v : {m.M11, m.M21, m.M12, m.M22, m.X, m.Y}) {
      Num(v);
      o_ += ' ';
    }
    o_.back() = ')';
    o_ += '"';
  }
  void Color(uint32_t rgb) {
    static constexpr char kHex[] = "0123456789abcdef";
    char buf[7] = {'#'};
    for (int i = 0; i < 6; ++i) buf[1 + i] = kHex[(rgb >> (20 - 4 * i)) & 0xF];
    o_.append(buf, sizeof buf);
  }

  // UTF-8 text as XML character data: markup characters escaped, and the
  // characters XML does not allow (control characters, U+FFFE, U+FFFF)
  // left out.
  void Escaped(std::string_view text, bool inAttribute) {
    for (size_t i = 0; i < text.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(text[i]);
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
      if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
          (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
        i += 2;
        continue;
      }
      switch (c) {
        case '&': o_ += "&amp;"; break;
        case '<': o_ += "&lt;"; break;
        case '>': o_ += "&gt;"; break;
        case '"': o_ += inAttribute ? "&quot;" : "\""; break;
        default: o_.push_back(static_cast<char>(c));
      }
    }
  }

  void Classes(const char* kind, uint8_t marks, bool image) {
    o_ += " class=\"";
    if (kind) {
      o_ += kind;
      if (marks & kMarkExploded) o_ += " exploded";
      if (marks & kMarkTemporary) o_ += " temporary";
      if (marks & kMarkHidden) o_ += " hidden";
      if (image) o_ += " image";
      o_ += ' ';
    }
  }
  // Closes a class list that names no pen.
  void EndClasses() {
    if (o_.back() == ' ') {
      o_.back() = '"';
    } else {
      o_ += '"';
    }
  }
  void PenClass(char which, int32_t pen) {
    o_ += which;
    char digits[16];
    o_.append(digits, std::to_chars(digits, digits + sizeof digits, pen).ptr);
    o_ += '"';
  }

  // An arc stroked, or (filled) a sector filled from the centre; either as
  // a whole ellipse when it goes all round.
  void Ellipse(const TPrimitive& p, const char* kind, uint8_t marks, bool image, bool filled) {
    if (p.Full) {
      Raw("<ellipse");
      Classes(kind, marks, image);
      PenClass(filled ? 'f' : 's', p.Pen);
      Attr("cx", p.P[0].X), Attr("cy", p.P[0].Y), Attr("rx", p.RadiusX), Attr("ry", p.RadiusY);
      if (p.Tilt != 0) {
        Raw(" transform=\"rotate(");
        Num(p.Tilt * kRadToDeg);
        Raw(" ");
        Pt(p.P[0]);
        Raw(")\"");
      }
    } else {
      Raw("<path");
      Classes(kind, marks, image);
      PenClass(filled ? 'f' : 's', p.Pen);
      Raw(" d=\"M");
      if (filled) {
        Pt(p.P[0]);
        Raw(" L");
      }
      Pt(ArcPoint(p, p.Start));
      Raw(" A");
      Num(p.RadiusX);
      Raw(" ");
      Num(p.RadiusY);
      Raw(" ");
      Num(p.Tilt * kRadToDeg);
      Raw(std::abs(p.Sweep) > std::numbers::pi ? " 1" : " 0");
      Raw(p.Sweep > 0 ? " 1 " : " 0 ");
      Pt(ArcPoint(p, p.Start + p.Sweep));
      Raw(filled ? " Z\"" : "\"");
    }
    Raw("/>\n");
  }

  // One primitive; `kind` is the figure's class when the primitive stands
  // alone for its entity, null inside a dimension's group.
  void Primitive(const TFigure& f, const TPrimitive& p, const char* kind, uint8_t marks, bool image) {
    switch (p.Kind) {
      case TPrimKind::kLine:
        Raw("<line");
        Classes(kind, marks, image);
        PenClass('s', p.Pen);
        Attr("x1", p.P[0].X), Attr("y1", p.P[0].Y), Attr("x2", p.P[1].X), Attr("y2", p.P[1].Y);
        Raw("/>\n");
        break;
      case TPrimKind::kArc:
        Ellipse(p, kind, marks, image, false);
        break;
      case TPrimKind::kSector:
        Ellipse(p, kind, marks, image, true);
        break;
      case TPrimKind::kPolygon:
        Raw("<path");
        Classes(kind, marks, image);
        PenClass('f', p.Pen);
        Raw(" d=\"M");
        for (int i = 0; i < 4; ++i) {
          if (i) Raw(" L");
          Pt(p.P[i]);
        }
        Raw(" Z\"/>\n");
        break;
      case TPrimKind::kDot:
        Raw("<circle");
        Classes(kind, marks, image);
        PenClass('f', p.Pen);
        Attr("cx", p.P[0].X), Attr("cy", p.P[0].Y), Attr("r", p.Radius);
        if (p.Marks & kMarkTemporary) Attr("opacity", kTemporaryOpacity);
        Raw("/>\n");
        break;
      case TPrimKind::kText: {
        const TTextRun& t = f.Texts[static_cast<size_t>(p.Ref)];
        // Glyphs one character height tall and, for a full-width character,
        // one character width wide: stretch across by width / height (and
        // by the share of it the text is fitted into), and flip so they
        // stand upright in the drawing's y-up space. A half-width
        // character is followed by half the spacing of a full-width one:
        // each run of characters of one width after the first is a span
        // that stands where the drawing lays it out (renderers differ in
        // the spacing they put where one span meets the next), with its
        // own spacing.
        const double glyph = t.CharWidth / t.Height;
        std::vector<TTextPiece> pieces;
        if (t.Spacing != 0) pieces = TextPieces(t.Text);
        const bool half = !pieces.empty() && pieces[0].Half;
        Raw("<text");
        Classes(kind, marks, image);
        PenClass('f', p.Pen);
        Matrix(p.Frame.After(TAffine::Placement(0, 0, glyph * t.Fitted, -1, 0)));
        Attr("y", -kDescent * t.Height);
        Attr("font-size", t.Height);
        if (t.Spacing != 0) Attr("letter-spacing", (half ? t.Spacing / 2 : t.Spacing) / glyph);
        Raw(" font-family=\"");
        if (!t.Font.empty()) {
          std::string font;
          for (char c : t.Font)
            if (c != '\'' && c != '"' && c != '\\') font.push_back(c);
          Raw("'");
          Escaped(font, true);
          Raw("', ");
        }
        Raw(kJapaneseGothicFamilies);
        Raw("\">");
        if (pieces.size() < 2) {
          Escaped(t.Text, false);
        } else {
          // Where each run begins, in the text's own units (a full-width
          // character one em, the font size, wide).
          double x = 0;
          for (size_t k = 0; k < pieces.size(); ++k) {
            const TTextPiece& piece = pieces[k];
            const double share = piece.Half ? 0.5 : 1;
            const std::string_view run = std::string_view(t.Text).substr(piece.Begin, piece.End - piece.Begin);
            if (k == 0) {
              Escaped(run, false);
            } else {
              Raw("<tspan");
              Attr("x", x);
              Attr("letter-spacing", t.Spacing * share / glyph);
              Raw(">");
              Escaped(run, false);
              Raw("</tspan>");
            }
            x += static_cast<double>(piece.Characters) * (t.Height + t.Spacing / glyph) * share;
          }
        }
        Raw("</text>\n");
        break;
      }
      case TPrimKind::kImage:
        if (p.Ref >= 0) {
          Raw("<use");
          Classes(kind, marks, image);
          EndClasses();
          Raw(" xlink:href=\"#i");
          Raw(std::to_string(p.Ref));
          Raw("\"");
          Matrix(p.Frame);
          Raw("/>\n");
        } else {
          // No picture to show: its frame, crossed.
          TPt c[4] = {p.Frame.Apply({0, 0}), p.Frame.Apply({1, 0}), p.Frame.Apply({1, 1}), p.Frame.Apply({0, 1})};
          Raw("<path");
          Classes(kind, marks, image);
          Raw("missing ");
          PenClass('s', p.Pen);
          Raw(" d=\"M");
          Pt(c[0]), Raw(" L"), Pt(c[1]), Raw(" L"), Pt(c[2]), Raw(" L"), Pt(c[3]), Raw(" Z M");
          Pt(c[0]), Raw(" L"), Pt(c[2]), Raw(" M"), Pt(c[1]), Raw(" L"), Pt(c[3]);
          Raw("\"/>\n");
        }
        break;
      case TPrimKind::kPlace: {
        if (p.Ref < 0) break;  // it would place a definition inside itself
        Raw("<use");
        Classes(kind, marks, image);
        EndClasses();
        Raw(" xlink:href=\"#g");
        Raw(std::to_string(p.Ref));
        Raw("\"");
        Matrix(p.Frame);
        // Pens are as wide as printed whatever the scale a definition is
        // placed at: their widths and dashes are in em, and a placement
        // sets the em to undo its own scale.
        const double scale = std::sqrt(std::abs(p.Frame.M11 * p.Frame.M22 - p.Frame.M12 * p.Frame.M21));
        if (scale > 0 && std::isfinite(1 / scale) && std::abs(1 / scale - 1) > 1e-9) {
          Raw(" font-size=\"");
          Num(1 / scale);
          Raw("em\"");
        }
        Raw("/>\n");
        break;
      }
    }
  }

  // One entity: its primitive alone, or a group of them.
  void Figure(const TFigure& f) {
    const char* kind = FigureClass(f.Kind);
    if (f.Prims.size() == 1) {
      Primitive(f, f.Prims[0], kind, f.Marks, f.IsImage);
    } else {
      Raw("<g");
      Classes(kind, f.Marks, f.IsImage);
      EndClasses();
      Raw(">\n");
      for (const TPrimitive& p : f.Prims) Primitive(f, p, nullptr, 0, false);
      Raw("</g>\n");
    }
    Flush();
  }

  void Figures(TSceneWalk::TCursor cursor) {
    while (cursor.Next(figure_)) Figure(figure_);
  }

  // The bytes as base64, a chunk at a time.
  void Base64(const std::vector<uint8_t>& b) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t i = 0;
    for (; i + 2 < b.size(); i += 3) {
      const uint32_t v = (uint32_t(b[i]) << 16) | (uint32_t(b[i + 1]) << 8) | b[i + 2];
      o_ += kDigits[v >> 18], o_ += kDigits[(v >> 12) & 63], o_ += kDigits[(v >> 6) & 63], o_ += kDigits[v & 63];
      Flush();
    }
    if (i + 1 == b.size()) {
      const uint32_t v = uint32_t(b[i]) << 16;
      o_ += kDigits[v >> 18], o_ += kDigits[(v >> 12) & 63], o_ += "==";
    } else if (i + 2 == b.size()) {
      const uint32_t v = (uint32_t(b[i]) << 16) | (uint32_t(b[i + 1]) << 8);
      o_ += kDigits[v >> 18], o_ += kDigits[(v >> 12) & 63], o_ += kDigits[(v >> 6) & 63], o_ += '=';
    }
  }

 private:
  TArchiveWriter& out_;
  TText o_;         // gathered, not yet handed to the writer
  TFigure figure_;  // the figure being written
};

}  // namespace

void WriteSvg(TSceneWalk& walk, TArchiveWriter& out, const TSvgOptions& options) {
  const TScene& s = walk.Scene();
  // The visible area in the drawing's coordinates: the extents with a margin.
  const TBox box = ShownBox(s);
  const double margin = PictureMargin(box);
  // The picture is the drawing flipped upside down (y grows downwards in
  // SVG), so its top edge is the drawing's largest y.
  const double vx = box.MinX - margin, vy = -(box.MaxY + margin);
  const double vw = box.Width() + 2 * margin;
  double vh = box.Height() + 2 * margin;
  const double captionSize = std::max(vw, vh) * 0.022;
  if (!options.Caption.empty()) vh += captionSize * 2;
  const double longest = std::max(vw, vh);
  const double paper = std::clamp(longest, kMinPaperSide, kMaxPaperSide) / longest;

  TSvgOut w(out);
  w.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  w.Raw("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\"");
  w.Raw(" xml:space=\"preserve\" width=\"");
  w.Num(vw * paper);
  w.Raw("mm\" height=\"");
  w.Num(vh * paper);
  w.Raw("mm\" viewBox=\"");
  w.Num(vx), w.Raw(" "), w.Num(vy), w.Raw(" "), w.Num(vw), w.Raw(" "), w.Num(vh);
  // Texts keep every space: xml:space on the root is honoured by some
  // viewers, white-space by the others.
  w.Raw("\">\n<style>\nline,path,ellipse{fill:none;stroke-linecap:round;stroke-linejoin:round}\n"
        "text{white-space:pre}\n.hidden{display:none}\n");
  // No stroke is thinner than a hairline of the picture's paper.
  const double hairline = kHairlineMillimetres / paper;
  for (size_t i = 0; i < s.Pens.size(); ++i) {
    const TPen& p = s.Pens[i];
    w.Raw(".s" + std::to_string(i) + "{stroke:");
    w.Color(p.Rgb);
    w.Raw(";stroke-width:");
    w.Num(std::max(p.Width, hairline));
    w.Raw("em");
    if (!p.Dashes.empty()) {
      w.Raw(";stroke-dasharray:");
      for (size_t k = 0; k < p.Dashes.size(); ++k) {
        if (k) w.Raw(" ");
        w.Num(p.Dashes[k]);
        w.Raw("em");
      }
      if (p.DashOffset != 0) {
        w.Raw(";stroke-dashoffset:");
        w.Num(p.DashOffset);
        w.Raw("em");
      }
    }
    w.Raw("}\n.f" + std::to_string(i) + "{fill:");
    w.Color(p.Rgb);
    w.Raw("}\n");
  }
  w.Raw("</style>\n<rect class=\"background\"");
  w.Attr("x", vx), w.Attr("y", vy), w.Attr("width", vw), w.Attr("height", vh);
  w.Raw(" fill=\"");
  w.Color(s.Background);
  w.Raw("\"/>\n<defs>\n");
  for (size_t i = 0; i < s.Images.size(); ++i) {
    w.Raw("<image id=\"i" + std::to_string(i) +
          "\" width=\"1\" height=\"1\" preserveAspectRatio=\"none\" transform=\"matrix(1 0 0 -1 0 1)\" "
          "xlink:href=\"data:");
    w.Raw(s.Images[i].Mime);
    w.Raw(";base64,");
    w.Base64(s.Images[i].Bytes);
    w.Raw("\"/>\n");
  }
  for (size_t i = 1; i < s.Groups.size(); ++i) {
    w.Raw("<g id=\"g" + std::to_string(i) + "\" class=\"blockdef\" data-name=\"");
    w.Escaped(s.Groups[i].Name, true);
    w.Raw("\">\n");
    w.Figures(walk.Figures(i));
    w.Raw("</g>\n");
  }
  // The em of the drawing is one drawing unit.
  w.Raw("</defs>\n<g transform=\"matrix(1 0 0 -1 0 0)\" font-size=\"1\">\n");
  w.Figures(walk.Figures(0));
  w.Raw("</g>\n");
  if (!options.Caption.empty()) {
    w.Raw("<text class=\"caption\"");
    w.Attr("x", vx + margin);
    w.Attr("y", vy + vh - captionSize * 0.7);
    w.Attr("font-size", captionSize);
    w.Raw(" font-family=\"");
    w.Raw(kJapaneseGothicFamilies);
    w.Raw("\" fill=\"#e6007e\">");
    w.Escaped(options.Caption, false);
    w.Raw("</text>\n");
  }
  w.Raw("</svg>\n");
  w.Flush(true);
}

std::string DrawingToSvg(const TJwwData& d, const TRenderOptions& render, const TSvgOptions& options) {
  TSceneWalk walk(d, render);
  TArchiveWriter out;
  WriteSvg(walk, out, options);
  const std::vector<uint8_t> bytes = out.Data();
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace quorvex
