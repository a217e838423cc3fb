// The DXF writer: the file's structure, real size and the sheet, layers,
// colours and line types, each kind of entity against the drawing it comes
// from, what cannot be carried, and the image files beside the DXF.
#include <charconv>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <set>

#include "convert/dxffiles.h"
#include "convert/session.h"
#include "dxf/colors.h"
#include "dxf/dxf.h"
#include "dxf/fonts.h"
#include "dxf/names.h"
#include "dxf/out.h"
#include "dxf_cases.h"
#include "dxf_util.h"
#include "explode/explode.h"
#include "jww/shapes.h"
#include "render/image.h"
#include "render/primitives.h"
#include "render/svg.h"
#include "render/textlayout.h"
#include "text/utf8.h"
#include "writer_util.h"

namespace qtest {
namespace {

constexpr double kPi = std::numbers::pi;

// The drawings every check runs on: the cases of each version, the
// sample, and the real drawings when they are there.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Drawings() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> all;
  for (int32_t v : kDxfCaseVersions) all.push_back({"case " + std::to_string(v), DxfCaseFile(v)});
  all.push_back({"sample", ReadFile(std::string(QUORVEX_SOURCE_DIR) + "/samples/sample.jww")});
  for (const std::string& path : RealDrawings()) all.push_back({path, ReadFile(path)});
  return all;
}

std::vector<TDxfImage> CaseImages() {
  return {{0, "case-images/image-1.bmp", 8, 6}, {1, "case-images/image-2.png", 3, 2}};
}
std::vector<JwwString> CaseEntries() {
  std::vector<JwwString> names;
  for (const auto& [name, data] : DxfCaseImages()) names.push_back(name);
  return names;
}

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// The subclass markers each kind of object carries, in order.
const std::map<std::string, std::vector<std::string>>& Markers() {
  static const std::map<std::string, std::vector<std::string>> m = {
      {"LINE", {"AcDbEntity", "AcDbLine"}},
      {"CIRCLE", {"AcDbEntity", "AcDbCircle"}},
      {"ARC", {"AcDbEntity", "AcDbCircle", "AcDbArc"}},
      {"ELLIPSE", {"AcDbEntity", "AcDbEllipse"}},
      {"POINT", {"AcDbEntity", "AcDbPoint"}},
      {"TEXT", {"AcDbEntity", "AcDbText", "AcDbText"}},
      {"SOLID", {"AcDbEntity", "AcDbTrace"}},
      {"HATCH", {"AcDbEntity", "AcDbHatch"}},
      {"INSERT", {"AcDbEntity", "AcDbBlockReference"}},
      {"DIMENSION", {"AcDbEntity", "AcDbDimension", "AcDbAlignedDimension", "AcDbRotatedDimension"}},
      {"IMAGE", {"AcDbEntity", "AcDbRasterImage"}},
      {"BLOCK", {"AcDbEntity", "AcDbBlockBegin"}},
      {"ENDBLK", {"AcDbEntity", "AcDbBlockEnd"}},
      {"LAYER", {"AcDbSymbolTableRecord", "AcDbLayerTableRecord"}},
      {"LTYPE", {"AcDbSymbolTableRecord", "AcDbLinetypeTableRecord"}},
      {"STYLE", {"AcDbSymbolTableRecord", "AcDbTextStyleTableRecord"}},
      {"BLOCK_RECORD", {"AcDbSymbolTableRecord", "AcDbBlockTableRecord"}},
      {"DIMSTYLE", {"AcDbSymbolTableRecord", "AcDbDimStyleTableRecord"}},
      {"IMAGEDEF", {"AcDbRasterImageDef"}},
      {"IMAGEDEF_REACTOR", {"AcDbRasterImageDefReactor"}},
      {"LAYOUT", {"AcDbPlotSettings", "AcDbLayout"}},
  };
  return m;
}

// Every handle unique and below $HANDSEED, every owner and reference
// there, every object with its subclass markers, every name used defined
// in its table, the whole file UTF-8.
void ExpectWellFormed(const TWritten& w) {
  const TDxf& f = w.File;
  EXPECT_TRUE(ValidUtf8(w.Text));
  EXPECT_EQ(f.Var("$ACADVER"), "AC1021");
  EXPECT_EQ(f.Var("$INSUNITS"), "4");
  // $HANDSEED is the handle after the last one the file gives.
  const uint64_t seed = std::stoull(f.Var("$HANDSEED"), nullptr, 16);
  std::set<std::string> handles = {"0"};
  uint64_t highest = 0;
  for (const TDxfObject& o : f.Objects) {
    if (o.Section == "CLASSES") continue;
    const std::string h = o.Handle();
    EXPECT_TRUE(handles.insert(h).second) << "handle " << h << " twice";
    highest = std::max<uint64_t>(highest, std::stoull(h, nullptr, 16));
  }
  EXPECT_EQ(seed, highest + 1);
  // Each table counts its records.
  for (size_t i = 0; i < f.Objects.size(); ++i) {
    if (f.Objects[i].Kind != "TABLE") continue;
    long records = 0;
    for (size_t k = i + 1; k < f.Objects.size() && f.Objects[k].Kind != "TABLE" && f.Objects[k].Section == "TABLES"; ++k)
      records += f.Objects[k].Kind == f.Objects[i].Str(2);
    EXPECT_EQ(f.Objects[i].Int(70), records) << f.Objects[i].Str(2);
  }
  // A real shows it is one; no entity ends on a value line "0", which a
  // reader stepping over a kind it does not know takes for the next one.
  auto real = [](int c) {
    return (c >= 10 && c <= 59) || (c >= 110 && c <= 149) || (c >= 210 && c <= 239) || (c >= 1010 && c <= 1059);
  };
  for (const TDxfObject& o : f.Objects) {
    for (const TDxfGroup& g : o.Groups) {
      EXPECT_TRUE(!real(g.Code) || g.Value.find_first_of(".eE") != std::string::npos) << o.Kind << " " << g.Code;
    }
    if ((o.Section == "ENTITIES" || o.Section == "BLOCKS") && !o.Groups.empty()) {
      EXPECT_NE(o.Groups.back().Value, "0") << o.Kind << " ends on " << o.Groups.back().Code;
    }
  }
  std::map<std::string, std::set<std::string>> tables;  // kind -> lower-cased names
  for (const TDxfObject& o : f.Objects)
    if (o.Section == "TABLES" && o.Kind != "TABLE") tables[o.Kind].insert(NameKey(o.Str(2)));
  for (const TDxfObject& o : f.Objects) {
    if (o.Section == "CLASSES") continue;
    for (const std::string& ref : o.All(330)) EXPECT_TRUE(handles.count(ref)) << o.Kind << " owner " << ref;
    for (int code : {340, 350, 360}) {
      for (const std::string& ref : o.All(code)) {
        EXPECT_TRUE(ref == "0" || handles.count(ref)) << o.Kind << " " << code;
      }
    }
    const auto markers = Markers().find(o.Kind);
    if (markers != Markers().end()) {
      EXPECT_EQ(o.All(100), markers->second) << o.Kind;
    }
    if (o.Section == "ENTITIES" || (o.Section == "BLOCKS" && o.Kind != "BLOCK" && o.Kind != "ENDBLK")) {
      EXPECT_TRUE(tables["LAYER"].count(NameKey(o.Str(8)))) << o.Kind << " on " << o.Str(8);
      EXPECT_TRUE(!o.Has(6) || tables["LTYPE"].count(NameKey(o.Str(6)))) << o.Str(6);
      EXPECT_TRUE(o.Kind != "TEXT" || tables["STYLE"].count(NameKey(o.Str(7)))) << o.Str(7);
      EXPECT_TRUE((o.Kind != "INSERT" && o.Kind != "DIMENSION") || tables["BLOCK_RECORD"].count(NameKey(o.Str(2))));
      EXPECT_TRUE(!o.Has(62) || (o.Int(62) >= 1 && o.Int(62) <= 255)) << o.Kind;
    }
  }
  EXPECT_TRUE(tables["LAYER"].count(NameKey(f.Var("$CLAYER"))));
}

double Extent(const TDxf& f) {
  const double x0 = std::stod(f.Var("$EXTMIN")), y0 = std::stod(f.Var("$EXTMIN", 1));
  const double x1 = std::stod(f.Var("$EXTMAX")), y1 = std::stod(f.Var("$EXTMAX", 1));
  return std::max({std::abs(x0), std::abs(y0), std::abs(x1), std::abs(y1), 1.0});
}

// A primitive as the pictures draw an arc or a round solid.
TPrimitive ArcAsDrawn(double cx, double cy, double r, double flat, double tilt, double start, double sweep, bool full) {
  TPrimitive p;
  p.P[0] = {cx, cy};
  p.RadiusX = std::abs(r), p.RadiusY = std::abs(r * flat), p.Tilt = tilt;
  p.Full = full || std::abs(sweep) >= 2 * kPi - 1e-9;
  p.Start = start, p.Sweep = sweep;
  return p;
}

// The point of a DXF circle, arc or ellipse at parameter t (an angle in
// degrees for an arc).
TPt DxfArcPoint(const TDxfObject& o, double t) {
  const double cx = o.Real(10), cy = o.Real(20);
  if (o.Kind != "ELLIPSE") {
    const double a = t * kPi / 180;
    return {cx + o.Real(40) * std::cos(a), cy + o.Real(40) * std::sin(a)};
  }
  const double mx = o.Real(11), my = o.Real(21), ratio = o.Real(40);
  return {cx + mx * std::cos(t) - my * ratio * std::sin(t), cy + my * std::cos(t) + mx * ratio * std::sin(t)};
}

// Checks the DXF entities of one container against its entities, in order,
// at scale s (for the drawing's list, each group's); what the DXF does not
// write (losses) is skipped. The DIMENSIONs' blocks are checked for what
// the drawing draws of them.
class TModelWalk {
 public:
  TModelWalk(const TJwwData& d, const TDxf& f, bool paper) : d_(d), f_(f), paper_(paper), tol_(1e-9 * Extent(f)) {
    for (const TDxfObject& o : f.Objects)
      if (o.Kind == "LAYER" && o.Int(62) < 0) off_.insert(o.Str(2));
  }

  double ScaleOf(const TEntJwwCommon& c, bool model) const {
    if (!model || paper_) return 1;
    const double s = d_.LayerGroups[c.LayerGroup > 15 ? 0 : c.LayerGroup].Scale;
    return std::isfinite(s) && s > 0 ? s : 1;
  }

  void Near(double got, double want, const char* what) {
    EXPECT_NEAR(got, want, tol_) << what;
  }

  // Walks `items` entities of a store against `objects`.
  void Store(const TEntJwwStore& s, size_t items, const std::vector<const TDxfObject*>& objects, bool model) {
    size_t next = 0;
    auto take = [&](const char* kind) -> const TDxfObject* {
      if (next >= objects.size()) {
        ADD_FAILURE() << "no DXF entity left for a " << kind;
        return nullptr;
      }
      return objects[next++];
    };
    for (size_t i = 0; i < items; ++i) {
      const TEntJwwListItem item = s.EntityOrder[i];
      WithListedRecord(s, item, [&](const auto& r) {
        using R = std::remove_cvref_t<decltype(r)>;
        const double sc = ScaleOf(r, model);
        if constexpr (std::is_same_v<R, TEntJwwLine>) {
          if (const TDxfObject* o = take("line")) Line(*o, r, sc);
        } else if constexpr (std::is_same_v<R, TEntJwwArc>) {
          if (const TDxfObject* o = take("arc"))
            Arc(*o, ArcAsDrawn(r.CenterX, r.CenterY, r.Radius, r.Flatness, r.TiltAngle, r.StartAngle, r.ArcAngle,
                               r.FullCircle != 0), sc);
        } else if constexpr (std::is_same_v<R, TEntJwwPoint>) {
          if (const TDxfObject* o = take("point")) Point(*o, r, sc, r.Temporary != 0);
        } else if constexpr (std::is_same_v<R, TEntJwwText>) {
          if (StartsWithImageMark(r.Text)) {
            // An image the DXF does not carry (none was given) is left out.
            if (next < objects.size() && objects[next]->Kind == "IMAGE") Image(*objects[next++], r, sc);
          } else if (r.SizeY > 0) {
            if (const TDxfObject* o = take("text")) Text(*o, r, sc);
          }
        } else if constexpr (std::is_same_v<R, TEntJwwDimension>) {
          if (const TDxfObject* o = take("dimension")) Dimension(*o, r, sc);
        } else if constexpr (std::is_same_v<R, TEntJwwSolid>) {
          if (const TDxfObject* o = take("solid")) Solid(*o, r, sc);
        } else if constexpr (std::is_same_v<R, TEntJwwBlockRef>) {
          if (TBlockIndex(d_.Definitions()).Find(r.BlockNumber) < 0) return;  // not carried
          if (const TDxfObject* o = take("insertion")) Insert(*o, r, sc);
        }
      });
      if (testing::Test::HasFailure()) return;
    }
    EXPECT_EQ(next, objects.size()) << "DXF entities without an entity of the drawing";
  }

  void Line(const TDxfObject& o, const TEntJwwLine& l, double s) {
    ASSERT_EQ(o.Kind, "LINE");
    // Exactly the drawing's numbers times the scale: shortest round-trip.
    EXPECT_EQ(o.Real(10), l.StartX * s);
    EXPECT_EQ(o.Real(20), l.StartY * s);
    EXPECT_EQ(o.Real(11), l.EndX * s);
    EXPECT_EQ(o.Real(21), l.EndY * s);
  }

  // An arc against the picture's: the centre, the radii, and the points at
  // its start, middle and end.
  void Arc(const TDxfObject& o, const TPrimitive& p, double s) {
    ASSERT_TRUE(o.Kind == "CIRCLE" || o.Kind == "ARC" || o.Kind == "ELLIPSE") << o.Kind;
    Near(o.Real(10), p.P[0].X * s, "centre x");
    Near(o.Real(20), p.P[0].Y * s, "centre y");
    const double major = o.Kind == "ELLIPSE" ? std::hypot(o.Real(11), o.Real(21)) : o.Real(40);
    const double minor = o.Kind == "ELLIPSE" ? major * o.Real(40) : major;
    Near(major, std::max(p.RadiusX, p.RadiusY) * s, "major radius");
    if (p.RadiusX * p.RadiusY != 0) Near(minor, std::min(p.RadiusX, p.RadiusY) * s, "minor radius");
    EXPECT_EQ(o.Kind == "CIRCLE" || (o.Kind == "ELLIPSE" && std::abs(o.Real(42) - o.Real(41) - 2 * kPi) < 1e-12), p.Full)
        << o.Kind;
    if (p.Full || p.RadiusX * p.RadiusY == 0) return;
    const int from = o.Kind == "ARC" ? 50 : 41, to = o.Kind == "ARC" ? 51 : 42;
    double a = o.Real(from), b = o.Real(to);
    const double turn = o.Kind == "ARC" ? 360 : 2 * kPi;
    if (b < a) b += turn;
    // The DXF runs counter-clockwise: a clockwise sweep has its ends swapped.
    const double t0 = p.Sweep >= 0 ? p.Start : p.Start + p.Sweep, sweep = std::abs(p.Sweep);
    const double share[] = {0, 0.5, 1};
    for (double k : share) {
      const TPt want = ArcPoint(p, t0 + sweep * k);
      const TPt got = DxfArcPoint(o, a + (b - a) * k);
      Near(got.X, want.X * s, "arc point x");
      Near(got.Y, want.Y * s, "arc point y");
    }
  }

  void Point(const TDxfObject& o, const TEntJwwPoint& p, double s, bool temporary) {
    ASSERT_EQ(o.Kind, "POINT");
    EXPECT_EQ(o.Real(10), p.X * s);
    EXPECT_EQ(o.Real(20), p.Y * s);
    EXPECT_EQ(o.Str(8) == "仮点", temporary) << o.Str(8);
  }

  // A text: its base line where the drawing's capitals stand, above the
  // bottom of its characters' box by the box's descent; fitted from there
  // to the end of the base line the drawing gives it, when it gives one.
  void Text(const TDxfObject& o, const TEntJwwText& t, double s) {
    ASSERT_EQ(o.Kind, "TEXT");
    EXPECT_EQ(CaretDecoded(o.Str(1)), ToUtf8(t.Text));
    const double a = t.Angle * kPi / 180, lift = 0.12 * t.SizeY;
    const double x = t.StartX - std::sin(a) * lift, y = t.StartY + std::cos(a) * lift;
    Near(o.Real(10), x * s, "text x");
    Near(o.Real(20), y * s, "text y");
    // The width the drawing lays its characters out in, or its base line
    // where that is shorter.
    const double laidOut = LaidOutWidth(ToUtf8(t.Text), t.SizeX > 0 ? t.SizeX : t.SizeY, t.Spacing);
    const double base = std::hypot(t.EndX - t.StartX, t.EndY - t.StartY);
    const double length = base > 0 && base < laidOut ? base : laidOut;
    EXPECT_EQ(o.Int(72), length > 0 && !IsBlankText(ToUtf8(t.Text)) ? 5 : 0);
    EXPECT_EQ(o.Int(73), 0);
    if (o.Int(72) == 5) {
      Near(o.Real(11), (x + std::cos(a) * length) * s, "text end x");
      Near(o.Real(21), (y + std::sin(a) * length) * s, "text end y");
    }
    // The height of the capitals: three quarters of the character box.
    EXPECT_EQ(o.Real(40), t.SizeY * 0.75 * s);
    EXPECT_NEAR(o.Has(41) ? o.Real(41) : 1, t.SizeX > 0 ? t.SizeX / t.SizeY : 1, 1e-12);
    EXPECT_NEAR(std::remainder(o.Real(50) - t.Angle, 360), 0, 1e-9);
    // The style names the text's font for every reader (dxf/fonts.h).
    const TDxfObject* style = f_.Named("STYLE", o.Str(7));
    ASSERT_NE(style, nullptr);
    if (IsBlank(t.FontName)) {
      EXPECT_EQ(std::tuple(style->Str(2), style->Str(3)), std::tuple(std::string("Standard"), std::string("txt")));
    } else {
      const TDxfFont font = DxfFontOf(ToUtf8(t.FontName));
      EXPECT_EQ(std::tuple(CaretDecoded(style->Str(2)).substr(0, 7), style->Str(3), style->Str(1000)),
                std::tuple(std::string("kst32b#"), font.File, ToUtf8(t.FontName)));
    }
  }

  void Image(const TDxfObject& o, const TEntJwwText& t, double s) {
    ASSERT_EQ(o.Kind, "IMAGE");
    const std::vector<double> size = ImageTextNumbers(t.Text);
    Near(o.Real(10), t.StartX * s, "image x");
    Near(o.Real(20), t.StartY * s, "image y");
    Near(std::hypot(o.Real(11), o.Real(21)) * o.Real(13), size[0] * s, "image width");
    Near(std::hypot(o.Real(12), o.Real(22)) * o.Real(23), size[1] * s, "image height");
    Near(std::atan2(o.Real(21), o.Real(11)), std::remainder(t.Angle * kPi / 180, 2 * kPi), "image angle");
  }

  void Solid(const TDxfObject& o, const TEntJwwSolid& so, double s) {
    if (!IsRoundSolid(so)) {
      ASSERT_EQ(o.Kind, "SOLID");
      const double want[] = {so.X1, so.Y1, so.X2, so.Y2, so.X4, so.Y4, so.X3, so.Y3};  // crossed
      for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(o.Real(10 + c), want[2 * c] * s);
        EXPECT_EQ(o.Real(20 + c), want[2 * c + 1] * s);
      }
      return;
    }
    const TRoundSolid r = RoundSolidOf(so);
    const TPrimitive p = ArcAsDrawn(r.CenterX, r.CenterY, r.Radius, r.Flatness, r.Tilt, r.Start, r.Sweep, false);
    if (r.Shape != kFilledRoundShape) return Arc(o, p, s);
    ASSERT_EQ(o.Kind, "HATCH");
    EXPECT_EQ(o.Str(2), "SOLID");
    EXPECT_EQ(o.Int(70), 1);
    // One boundary: the ellipse alone, or a radius, the arc and a radius.
    EXPECT_EQ(o.Int(93), p.Full ? 1 : 3);
    const std::vector<std::string> edges = o.All(72);
    const std::vector<std::string> want = p.Full ? std::vector<std::string>{"3"} : std::vector<std::string>{"1", "3", "1"};
    EXPECT_EQ(edges, want);
    if (!p.Full) {
      // The radii run from the centre to the arc's ends.
      const double t0 = p.Sweep >= 0 ? p.Start : p.Start + p.Sweep;
      const TPt a = ArcPoint(p, t0), b = ArcPoint(p, t0 + std::abs(p.Sweep));
      Near(o.Real(11), a.X * s, "sector start x");
      Near(o.Real(21), a.Y * s, "sector start y");
      Near(o.Real(10, 3), b.X * s, "sector end x");
      Near(o.Real(20, 3), b.Y * s, "sector end y");
    }
  }

  void Insert(const TDxfObject& o, const TEntJwwBlockRef& r, double s) {
    ASSERT_EQ(o.Kind, "INSERT");
    EXPECT_EQ(o.Real(10), r.RefX * s);
    EXPECT_EQ(o.Real(20), r.RefY * s);
    EXPECT_EQ(o.Real(41), r.ScaleX * s);
    EXPECT_EQ(o.Real(42), r.ScaleY * s);
    EXPECT_NEAR(std::remainder(o.Real(50) * kPi / 180 - r.Angle, 2 * kPi), 0, 1e-12);
  }

  // A DIMENSION: its text exactly the value text; its block holds what the
  // drawing draws of it, at its scale.
  void Dimension(const TDxfObject& o, const TEntJwwDimension& dim, double s) {
    ASSERT_EQ(o.Kind, "DIMENSION");
    EXPECT_EQ(CaretDecoded(o.Str(1)), ToUtf8(dim.ValueText.Text));
    EXPECT_EQ(o.Int(70) & 0x1F, 0);  // rotated (linear)
    const std::string block = o.Str(2);
    EXPECT_EQ(block.rfind("*D", 0), 0u) << block;
    const bool parts = d_.Header.Version >= kVersionExtended && dim.PartsFlag != 0;
    std::vector<const TDxfObject*> inside = f_.In("BLOCKS", block);
    std::vector<std::string> kinds;
    for (const TDxfObject* e : inside) kinds.push_back(e->Kind);
    std::vector<std::string> want = {"LINE", "TEXT"};
    if (parts) {
      for (const TEntJwwLine* l : {&dim.AuxLine1, &dim.AuxLine2})
        if (AuxLineHasLength(*l)) want.push_back("LINE");
      want.insert(want.end(), 4, "POINT");
    }
    ASSERT_EQ(kinds, want);
    Line(*inside[0], dim.DimLine, s);
    Text(*inside[1], dim.ValueText, s);
  }

  const TJwwData& d_;
  const TDxf& f_;
  bool paper_;
  double tol_;
  std::set<std::string> off_;
};

void ExpectMatchesModel(const TJwwData& d, const TDxf& f, bool paper) {
  TModelWalk walk(d, f, paper);
  walk.Store(d, std::min<size_t>(d.EntityOrder.size(), d.Header.EntityCount), f.In("ENTITIES"), true);
  // Each definition in use is a block of its own units.
  size_t blocks = 0;
  for (const TEntJwwBlockDef& def : d.Definitions()) {
    if (!def.Used) continue;
    ++blocks;
    const TDxfObject* begin = nullptr;
    for (const TDxfObject& o : f.Objects)
      if (o.Kind == "BLOCK" && CaretDecoded(o.Str(2)) == ToUtf8(def.Name)) begin = &o;
    if (!begin) {
      ADD_FAILURE() << "no block " << ToUtf8(def.Name);
      continue;
    }
    walk.Store(def, std::min<size_t>(def.EntityOrder.size(), def.EntityCount), f.In("BLOCKS", begin->Str(2)), false);
  }
  size_t written = 0;
  for (const TDxfObject& o : f.Objects)
    if (o.Kind == "BLOCK" && o.Str(2)[0] != '*') ++written;
  EXPECT_EQ(written, blocks) << "blocks of definitions in use";
}

}  // namespace

TEST(Dxf, EveryFileIsWellFormedAndHoldsEveryEntityWhereTheDrawingHasIt) {
  for (const auto& [name, bytes] : Drawings()) {
    for (const bool paper : {false, true}) {
      SCOPED_TRACE(name + (paper ? ", the sheet" : ", real size"));
      TJwwData d = Read(bytes);
      const bool images = name == "case 700";
      const TWritten w = Dxf(d, paper, images ? CaseImages() : std::vector<TDxfImage>{},
                             images ? CaseEntries() : std::vector<JwwString>{});
      ExpectWellFormed(w);
      ExpectMatchesModel(d, w.File, paper);
      if (testing::Test::HasFailure()) return;
    }
  }
}

TEST(Dxf, RealSizeScalesByEachGroupAndBlocksCarryItInTheirInsertions) {
  for (const bool paper : {false, true}) {
    TJwwData d = Read(DxfCaseFile(700));
    const TWritten w = Dxf(d, paper);
    const double s0 = paper ? 1 : 100, s1 = paper ? 1 : 50;
    const std::vector<const TDxfObject*> model = w.File.In("ENTITIES");
    // The first line is in group 0 (1/100), the second in group 1 (1/50).
    EXPECT_EQ(model[0]->Real(11), 100 * s0);
    EXPECT_EQ(model[1]->Real(21), 30 * s1);
    // A span the dimension calls 1900, 19 on the sheet, measures 1900.
    const TDxfObject* dim = nullptr;
    for (const TDxfObject* o : model)
      if (o->Kind == "DIMENSION" && o->Str(1) == "1900") dim = o;
    ASSERT_NE(dim, nullptr);
    EXPECT_NEAR(dim->Real(42), 19 * s0, 1e-9);
    EXPECT_NEAR(std::hypot(dim->Real(14) - dim->Real(13), dim->Real(24) - dim->Real(23)), 19 * s0, 1e-9);
    // A reader that draws a dimension from its style (scale times text
    // height, in the header and in the style) writes its text as large as
    // the dimension's block does, and adds no arrowheads.
    const TDxfObject* text = nullptr;
    for (const TDxfObject* o : w.File.In("BLOCKS", dim->Str(2)))
      if (o->Kind == "TEXT") text = o;
    ASSERT_NE(text, nullptr);
    const TDxfObject* style = w.File.Named("DIMSTYLE", "Standard");
    ASSERT_NE(style, nullptr);
    EXPECT_NEAR(std::stod(w.File.Var("$DIMSCALE")) * std::stod(w.File.Var("$DIMTXT")), text->Real(40), 1e-9);
    EXPECT_NEAR(style->Real(40) * style->Real(140), text->Real(40), 1e-9);
    EXPECT_EQ(w.File.Var("$DIMASZ"), "0.0");
    EXPECT_EQ(style->Real(41), 0);
    // The insertion (group 1) carries the scale; its block keeps its units.
    const TDxfObject* insert = nullptr;
    for (const TDxfObject* o : model)
      if (o->Kind == "INSERT") insert = o;
    ASSERT_NE(insert, nullptr);
    EXPECT_EQ(insert->Real(41), 1.5 * s1);
    EXPECT_EQ(insert->Real(10), 30 * s1);
    EXPECT_EQ(w.File.In("BLOCKS", insert->Str(2))[0]->Real(11), 10);
    EXPECT_EQ(w.File.Var("$INSUNITS"), "4");
  }
}

TEST(Dxf, LayersAreNamedFromGroupAndLayerHiddenOnesAreOffAndFrozenAndTheWritingLayerIsCurrent) {
  TJwwData d = Read(DxfCaseFile(600));
  const TWritten w = Dxf(d, false);
  std::map<std::string, std::pair<long, long>> colourAndFlags;
  for (const TDxfObject& o : w.File.Objects)
    if (o.Kind == "LAYER") colourAndFlags[o.Str(2)] = {o.Int(62), o.Int(70)};
  // "0", the layers that hold anything, the writing layer, the temporary
  // points' layer; hidden ones (group 2, layer 0-5, temporary points) off
  // (a negative colour) and frozen (flag 1): a reader that knows only one
  // of the two (LibreCAD hides only frozen layers) still hides them.
  const std::map<std::string, std::pair<long, long>> want = {
      {"0", {7, 0}},   {"0-0 [１階]", {7, 0}}, {"0-3 [１階] 壁", {7, 0}}, {"0-4 [１階]", {7, 0}},
      {"0-5 [１階]", {-7, 1}}, {"1-0", {7, 0}}, {"1-1", {7, 0}}, {"1-2", {7, 0}},
      {"2-0", {-7, 1}}, {"仮点", {-7, 1}}};
  EXPECT_EQ(colourAndFlags, want);
  EXPECT_EQ(w.File.Var("$CLAYER"), "0-3 [１階] 壁");
  // Inside blocks entities show on their insertion's layer ("0"), but
  // temporary points stay on theirs.
  for (const TDxfObject& o : w.File.Objects) {
    if (o.Section != "BLOCKS" || o.Kind == "BLOCK" || o.Kind == "ENDBLK") continue;
    EXPECT_TRUE(o.Str(8) == "0" || (o.Kind == "POINT" && o.Str(8) == "仮点")) << o.Kind << " in " << o.Block;
  }
}

TEST(Dxf, ColoursAreThePrintedPicturesWithTheNearestIndexLineTypesInMillimetresAndWidths) {
  TJwwData d = Read(DxfCaseFile(600));
  TRenderOptions print;
  print.Colors = TColorSet::kPrinter;
  const std::string svg = DrawingToSvg(d, print);
  const TWritten w = Dxf(d, false);
  // Every colour the DXF gives is one the printed picture shows, and the
  // other way round for strokes and fills of entities.
  std::set<std::string> dxf, picture;
  char hex[8];
  for (const TDxfObject& o : w.File.Objects)
    if (o.Has(420)) std::snprintf(hex, sizeof hex, "#%06lx", o.Int(420)), dxf.insert(hex);
  for (size_t at = svg.find("{stroke:#"); at != std::string::npos; at = svg.find("{stroke:#", at + 1))
    picture.insert(svg.substr(at + 8, 7));
  for (size_t at = svg.find("{fill:#"); at != std::string::npos; at = svg.find("{fill:#", at + 1))
    picture.insert(svg.substr(at + 6, 7));
  EXPECT_EQ(dxf, picture);
  const TDxfObject* first = w.File.In("ENTITIES")[0];
  EXPECT_EQ(first->Int(420), 0xFF0000);  // printer colour 2: red (stored 0x0000FF)
  EXPECT_EQ(first->Int(62), 1);
  EXPECT_EQ(first->Has(6), false);       // solid: the layer's Continuous
  // The dashed line: its pattern (4 bits on, 4 off, four times over, at
  // 0.36 mm a bit), its width, and at real size its dashes scaled with it.
  const TDxfObject* dashed = w.File.In("ENTITIES")[1];
  const TDxfObject* type = w.File.Named("LTYPE", dashed->Str(6));
  ASSERT_NE(type, nullptr);
  EXPECT_EQ(type->Str(2), "DASHED");
  ASSERT_EQ(type->All(49).size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(type->Real(49, i), i % 2 ? -1.44 : 1.44, 1e-12);
  EXPECT_NEAR(type->Real(40), 8 * 1.44, 1e-12);
  EXPECT_EQ(std::stod(w.File.Var("$LTSCALE")) * (dashed->Has(48) ? dashed->Real(48) : 1), 50);
  EXPECT_EQ(dashed->Int(370), 35);
  EXPECT_EQ(first->Int(370), 15);  // no width of its own: the pen size of colour 2, 0.15 mm
  // The nearest index colours of a few true colours.
  EXPECT_EQ(NearestAci(0xFF0000), 1);
  EXPECT_EQ(NearestAci(0x0000FF), 5);
  EXPECT_EQ(NearestAci(0x000000), 7);
  EXPECT_EQ(NearestAci(0xFF8000), 30);
  EXPECT_EQ(NearestLineweight(0.33), 35);
  EXPECT_EQ(NearestLineweight(5), 211);
}

TEST(Dxf, WhatCannotBeCarriedIsCountedAndNamesAreMadeValid) {
  TJwwData d = Read(DxfCaseFile(700));
  // Two definitions whose names clash or hold what no DXF name may.
  AddBlockDef(d, 7, N("a/b"));
  AddBlockDef(d, 8, N("A/B"));
  Add(d.BlockDefs[d.BlockDefCount - 1], d.BlockDefs[d.BlockDefCount - 1].EntityCount, MakeLine(0, 0, 1, 0));
  AddToDrawing(d, MakeBlockRef(7)), AddToDrawing(d, MakeBlockRef(8));
  AddToDrawing(d, MakeLine(0, 0, std::nan(""), 1));
  TEntJwwPoint mark = MakePoint(1, 1);
  mark.PenStyle = 100, mark.Code = 3;
  AddToDrawing(d, mark);
  ASSERT_TRUE(d.PostRead());
  // The PNG is carried, the BMP is not (as when it cannot be read).
  const TWritten w = Dxf(d, false, {{1, "x/image-1.png", 3, 2}}, CaseEntries());
  const TDxfLosses& l = w.Losses;
  EXPECT_EQ(l.RoundShapes, 1);
  EXPECT_EQ(l.Insertions, 1);   // number 99
  EXPECT_EQ(l.NotFinite, 1);
  EXPECT_EQ(l.PointMarks, 1);
  EXPECT_EQ(l.Images, 1);
  EXPECT_EQ(l.Names, 2);
  EXPECT_TRUE(w.File.Named("BLOCK", "a_b") && w.File.Named("BLOCK", "A_B~2"));
  size_t images = 0;
  for (const TDxfObject& o : w.File.Objects) images += o.Kind == "IMAGE";
  EXPECT_EQ(images, 1u);
}

TEST(Dxf, RealsAreWrittenInTheShortestFormThatReadsBack) {
  // Whole numbers take a quicker way: it must give what std::to_chars gives
  // (digits, or the exponent form where that is shorter).
  std::vector<double> values = {0.5, 1e-7, 1.0 / 3, 1e20, -1e15, 9.999999999999999e14, 123456.75, 0.0, -0.0};
  for (double v = 1; v < 1e15; v *= 10)
    for (double k : {1.0, 2.0, 12.0, 120.0, 1200.0, 123456.0, 99999.0})
      for (double w : {v * k, -v * k, v * k + 1, v * k - 1}) values.push_back(w);
  for (double v : values) {
    TArchiveWriter w;
    TDxfOut(w).Real(10, v);
    const std::vector<uint8_t> bytes = w.Data();
    char want[64] = " 10\n";
    char* end = std::to_chars(want + 4, want + 60, v == 0 ? 0.0 : v).ptr;  // no "-0"
    // A whole number's digits have ".0" after them: no real is written "0".
    if (std::string_view(want + 4, end).find_first_of(".e") == std::string_view::npos) *end++ = '.', *end++ = '0';
    *end = '\n';
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(want)) << v;
  }
}

TEST(Dxf, NumbersAreWrittenWithAPointWhateverTheLocale) {
  const char* locales[] = {"de_DE.UTF-8", "fr_FR.UTF-8", "C.UTF-8"};
  for (const char* name : locales) {
    if (!std::setlocale(LC_ALL, name)) continue;
    TJwwData d = NewDrawing(600);
    AddToDrawing(d, MakeLine(0.5, 1.25, 1e-7, 123456.75));
    const TWritten w = Dxf(d, true);
    std::setlocale(LC_ALL, "C");
    const TDxfObject* line = w.File.In("ENTITIES")[0];
    EXPECT_EQ(std::vector<std::string>({line->Str(10), line->Str(20), line->Str(11), line->Str(21), line->Str(31)}),
              std::vector<std::string>({"0.5", "1.25", "1e-07", "123456.75", "0.0"})) << name;
  }
  std::setlocale(LC_ALL, "C");
}

// Through the conversion: the images written beside the DXF as the image
// files themselves, a folder of them replaced whole, one holding anything
// else left alone.
TEST(Dxf, ImagesAreWrittenBesideTheDxfUnpackedAndReferredToByRelativePaths) {
  TempFolder tmp;
  const std::string in = tmp.File("plan.jww"), out = tmp.File("plan.dxf"), folder = tmp.File("plan-images");
  WriteFile(in, DxfCaseFile(700));
  TConversionSession session;
  session.StartUp({tmp.Path()});
  TConvertResult r = session.ConvertDrawing(in, out, {true, false});
  ASSERT_EQ(r.Code, crDone);
  EXPECT_EQ(Names(folder), (std::set<std::string>{"image-1.bmp", "image-2.png"}));
  const auto images = DxfCaseImages();
  TSceneImage bmp;
  ASSERT_TRUE(DecodeStoredImage(images[0].second, 1 << 20, bmp));
  EXPECT_EQ(ReadFile(folder + "/image-1.bmp"), bmp.Bytes);
  EXPECT_EQ(ReadFile(folder + "/image-2.png"), images[1].second);
  const std::vector<uint8_t> bytes = ReadFile(out);
  const TDxf f = ParseDxf(std::string(bytes.begin(), bytes.end()));
  std::vector<std::string> files;
  for (const TDxfObject& o : f.Objects)
    if (o.Kind == "IMAGEDEF") files.push_back(o.Str(1) + " " + o.Str(10) + "x" + o.Str(20));
  EXPECT_EQ(files, (std::vector<std::string>{"plan-images/image-1.bmp 8.0x6.0", "plan-images/image-2.png 3.0x2.0"}));
  // Converted again: the folder of the last run is replaced whole.
  WriteFile(folder + "/image-7.png", {1, 2, 3});
  ASSERT_EQ(session.ConvertDrawing(in, out, {true, false}).Code, crDone);
  EXPECT_EQ(Names(folder), (std::set<std::string>{"image-1.bmp", "image-2.png"}));
  // A folder of that name that holds a file of the user's is not this
  // program's to replace: nothing is written, nothing changes.
  WriteFile(folder + "/notes.txt", {'n'});
  WriteFile(out, {'o', 'l', 'd'});
  r = session.ConvertDrawing(in, out, {true, false});
  EXPECT_EQ(std::tuple(r.Code, r.ErrorNumber), std::tuple(crWriteFailed, ENOTEMPTY));
  EXPECT_EQ(Names(folder), (std::set<std::string>{"image-1.bmp", "image-2.png", "notes.txt"}));
  EXPECT_EQ(ReadFile(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
  std::set<std::string> left;
  for (const std::string& name : Names(tmp.Path()))
    if (name.rfind("quorvex-scratch-", 0) != 0) left.insert(name);
  EXPECT_EQ(left, (std::set<std::string>{"plan.jww", "plan.dxf", "plan-images"}));
  EXPECT_EQ(Names(tmp.Path()).size(), 4u);  // and the session's own scratch folder
  // The window's way (no DXF allowed) refuses a .dxf name.
  EXPECT_EQ(session.ConvertDrawing(in, out).Code, crBadOutput);
}

}  // namespace qtest
