#include "render/svg.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace quorvex {

const char kJapaneseGothicFamilies[] = "IPAGothic, 'IPAexGothic', 'Noto Sans CJK JP', 'TakaoGothic', sans-serif";

namespace {

constexpr double kRadToDeg = 180 / std::numbers::pi;
// The picture's longest side on paper, in millimetres, is kept in this range.
constexpr double kMinPaperSide = 100, kMaxPaperSide = 1200;
// A Japanese font's character box reaches this far (in character heights)
// below the base line the glyphs stand on; the drawing's texts stand on the
// bottom of that box.
constexpr double kDescent = 0.12;
constexpr double kTemporaryOpacity = 0.45;

class TSvgOut {
 public:
  explicit TSvgOut(const TScene& s) : s_(s) {}

  std::string& Out() { return o_; }

  void Raw(const char* text) { o_ += text; }
  void Raw(const std::string& text) { o_ += text; }

  void Num(double v) {
    if (v == 0 || !std::isfinite(v)) v = 0;  // no "-0"; callers never pass non-finite values
    // to_chars: a "." as the decimal mark whatever the process's locale.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 10);
    o_.append(buf, r.ptr);
  }
  void Pt(TPt p) {
    Num(p.X);
    o_ += ' ';
    Num(p.Y);
  }
  void Attr(const char* name, double v) {
    o_ += ' ';
    o_ += name;
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
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06x", rgb & 0xFFFFFF);
    o_ += buf;
  }

  // UTF-8 text as XML character data: markup characters escaped, and the
  // characters XML does not allow (control characters, U+FFFE, U+FFFF)
  // left out.
  void Escaped(const std::string& text, bool inAttribute) {
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
    o_ += std::to_string(pen);
    o_ += '"';
  }

  // One primitive; `kind` is the figure's class when the primitive stands
  // alone for its entity, null inside a dimension's group.
  void Primitive(const TPrimitive& p, const char* kind, uint8_t marks, bool image) {
    switch (p.Kind) {
      case TPrimKind::kLine:
        Raw("<line");
        Classes(kind, marks, image);
        PenClass('s', p.Pen);
        Attr("x1", p.P[0].X), Attr("y1", p.P[0].Y), Attr("x2", p.P[1].X), Attr("y2", p.P[1].Y);
        Raw("/>\n");
        break;
      case TPrimKind::kArc:
        if (p.Full) {
          Raw("<ellipse");
          Classes(kind, marks, image);
          PenClass('s', p.Pen);
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
          PenClass('s', p.Pen);
          Raw(" d=\"M");
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
          Raw("\"");
        }
        Raw("/>\n");
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
        const TTextRun& t = s_.Texts[static_cast<size_t>(p.Ref)];
        // Glyphs one character height tall and, for a full-width character,
        // one character width wide: stretch across by width / height, and
        // flip so they stand upright in the drawing's y-up space.
        const double stretch = t.CharWidth / t.Height;
        Raw("<text");
        Classes(kind, marks, image);
        PenClass('f', p.Pen);
        Matrix(p.Frame.After(TAffine::Placement(0, 0, stretch, -1, 0)));
        Attr("y", -kDescent * t.Height);
        Attr("font-size", t.Height);
        if (t.Spacing != 0) Attr("letter-spacing", t.Spacing / stretch);
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
        Escaped(t.Text, false);
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
      case TPrimKind::kPlace:
        if (p.Ref < 0) break;  // it would place a definition inside itself
        Raw("<use");
        Classes(kind, marks, image);
        EndClasses();
        Raw(" xlink:href=\"#g");
        Raw(std::to_string(p.Ref));
        Raw("\"");
        Matrix(p.Frame);
        Raw("/>\n");
        break;
    }
  }

  void Figures(const TGroup& g) {
    for (const TFigure& f : g.Figures) {
      const char* kind = FigureClass(f.Kind);
      if (f.Count == 1) {
        Primitive(g.Prims[f.First], kind, f.Marks, f.IsImage);
        continue;
      }
      Raw("<g");
      Classes(kind, f.Marks, f.IsImage);
      EndClasses();
      Raw(">\n");
      for (uint32_t i = 0; i < f.Count; ++i) Primitive(g.Prims[f.First + i], nullptr, 0, false);
      Raw("</g>\n");
    }
  }

 private:
  const TScene& s_;
  std::string o_;
};

void Base64(std::string& out, const std::vector<uint8_t>& b) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t i = 0;
  for (; i + 2 < b.size(); i += 3) {
    const uint32_t v = (uint32_t(b[i]) << 16) | (uint32_t(b[i + 1]) << 8) | b[i + 2];
    out += kDigits[v >> 18], out += kDigits[(v >> 12) & 63], out += kDigits[(v >> 6) & 63], out += kDigits[v & 63];
  }
  if (i + 1 == b.size()) {
    const uint32_t v = uint32_t(b[i]) << 16;
    out += kDigits[v >> 18], out += kDigits[(v >> 12) & 63], out += "==";
  } else if (i + 2 == b.size()) {
    const uint32_t v = (uint32_t(b[i]) << 16) | (uint32_t(b[i + 1]) << 8);
    out += kDigits[v >> 18], out += kDigits[(v >> 12) & 63], out += kDigits[(v >> 6) & 63], out += '=';
  }
}

}  // namespace

std::string SceneToSvg(const TScene& s, const TSvgOptions& options) {
  // The visible area in the drawing's coordinates: the extents with a margin.
  TBox box = s.Extents;
  if (box.Empty()) {
    box.Add({0, 0});
    box.Add({100, 100});
  }
  constexpr double kFar = 1e300;  // keeps widths finite for absurd coordinates
  box.MinX = std::clamp(box.MinX, -kFar, kFar), box.MaxX = std::clamp(box.MaxX, -kFar, kFar);
  box.MinY = std::clamp(box.MinY, -kFar, kFar), box.MaxY = std::clamp(box.MaxY, -kFar, kFar);
  const double side = std::max(box.Width(), box.Height());
  const double margin = std::max(side * 0.04, 1.0);
  // The picture is the drawing flipped upside down (y grows downwards in
  // SVG), so its top edge is the drawing's largest y.
  const double vx = box.MinX - margin, vy = -(box.MaxY + margin);
  const double vw = box.Width() + 2 * margin;
  double vh = box.Height() + 2 * margin;
  const double captionSize = std::max(vw, vh) * 0.022;
  if (!options.Caption.empty()) vh += captionSize * 2;
  const double longest = std::max(vw, vh);
  const double paper = std::clamp(longest, kMinPaperSide, kMaxPaperSide) / longest;

  TSvgOut w(s);
  w.Raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");
  w.Raw("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" version=\"1.1\"");
  w.Raw(" xml:space=\"preserve\" width=\"");
  w.Num(vw * paper);
  w.Raw("mm\" height=\"");
  w.Num(vh * paper);
  w.Raw("mm\" viewBox=\"");
  w.Num(vx), w.Raw(" "), w.Num(vy), w.Raw(" "), w.Num(vw), w.Raw(" "), w.Num(vh);
  w.Raw("\">\n<style>\nline,path,ellipse{fill:none;stroke-linecap:round;stroke-linejoin:round}\n.hidden{display:none}\n");
  for (size_t i = 0; i < s.Pens.size(); ++i) {
    const TPen& p = s.Pens[i];
    w.Raw(".s" + std::to_string(i) + "{stroke:");
    w.Color(p.Rgb);
    w.Raw(";stroke-width:");
    w.Num(p.Width);
    if (!p.Dashes.empty()) {
      w.Raw(";stroke-dasharray:");
      for (size_t k = 0; k < p.Dashes.size(); ++k) {
        if (k) w.Raw(" ");
        w.Num(p.Dashes[k]);
      }
      if (p.DashOffset != 0) {
        w.Raw(";stroke-dashoffset:");
        w.Num(p.DashOffset);
      }
    }
    w.Raw("}\n.f" + std::to_string(i) + "{fill:");
    w.Color(p.Rgb);
    w.Raw("}\n");
  }
  w.Raw("</style>\n<rect class=\"background\"");
  w.Attr("x", vx), w.Attr("y", vy), w.Attr("width", vw), w.Attr("height", vh);
  w.Raw(" fill=\"#ffffff\"/>\n<defs>\n");
  for (size_t i = 0; i < s.Images.size(); ++i) {
    w.Raw("<image id=\"i" + std::to_string(i) +
          "\" width=\"1\" height=\"1\" preserveAspectRatio=\"none\" transform=\"matrix(1 0 0 -1 0 1)\" "
          "xlink:href=\"data:");
    w.Raw(s.Images[i].Mime);
    w.Raw(";base64,");
    Base64(w.Out(), s.Images[i].Bytes);
    w.Raw("\"/>\n");
  }
  for (size_t i = 1; i < s.Groups.size(); ++i) {
    w.Raw("<g id=\"g" + std::to_string(i) + "\" class=\"blockdef\" data-name=\"");
    w.Escaped(s.Groups[i].Name, true);
    w.Raw("\">\n");
    w.Figures(s.Groups[i]);
    w.Raw("</g>\n");
  }
  w.Raw("</defs>\n<g transform=\"matrix(1 0 0 -1 0 0)\">\n");
  if (!s.Groups.empty()) w.Figures(s.Groups[0]);
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
  return std::move(w.Out());
}

}  // namespace quorvex
