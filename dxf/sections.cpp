// The sections of a DXF file in order, as current readers expect a file
// of version R2007: every object with its handle, its owner and its
// subclass markers, the tables and the objects they all look for. What
// they hold comes from the plan; the entities from the entity writer.
#include <algorithm>
#include <cmath>

#include "dxf/document.h"
#include "jww/kinds.h"

namespace quorvex {
namespace {

void SectionBegin(TDxfOut& out, const char* name) {
  out.Str(0, "SECTION");
  out.Str(2, name);
}

void SectionEnd(TDxfOut& out) { out.Str(0, "ENDSEC"); }

// A header variable whose value is one group.
void Var(TDxfOut& out, const char* name, int code, const char* value) {
  out.Str(9, name);
  out.Str(code, value);
}
void Var(TDxfOut& out, const char* name, int code, int value) {
  out.Str(9, name);
  out.Int(code, value);
}
void RealVar(TDxfOut& out, const char* name, double value) {
  out.Str(9, name);
  out.Real(40, value);
}

void TableBegin(TDxfOut& out, const char* name, uint64_t handle, size_t entries) {
  out.Str(0, "TABLE");
  out.Str(2, name);
  out.Handle(5, handle);
  out.Handle(330, 0);
  out.Str(100, "AcDbSymbolTable");
  out.Int(70, static_cast<int64_t>(entries));
}

void TableEnd(TDxfOut& out) { out.Str(0, "ENDTAB"); }

// A table entry's first groups.
void Record(TDxfOut& out, const char* kind, uint64_t handle, uint64_t table, const char* subclass) {
  out.Str(0, kind);
  out.Handle(5, handle);
  out.Handle(330, table);
  out.Str(100, "AcDbSymbolTableRecord");
  out.Str(100, subclass);
}

}  // namespace

void WriteHeader(TDxfOut& out, const TDxfPlan& plan) {
  const TBox& e = plan.Extents;
  SectionBegin(out, "HEADER");
  Var(out, "$ACADVER", 1, "AC1021");
  Var(out, "$ACADMAINTVER", 70, 105);
  Var(out, "$DWGCODEPAGE", 3, "ANSI_932");
  out.Str(9, "$INSBASE");
  out.Point(10, 0, 0);
  out.Str(9, "$EXTMIN");
  out.Point(10, e.MinX, e.MinY);
  out.Str(9, "$EXTMAX");
  out.Point(10, e.MaxX, e.MaxY);
  out.Str(9, "$LIMMIN");
  out.Point2(10, e.MinX, e.MinY);
  out.Str(9, "$LIMMAX");
  out.Point2(10, e.MaxX, e.MaxY);
  RealVar(out, "$LTSCALE", plan.LineTypeScale);
  Var(out, "$TEXTSTYLE", 7, "Standard");
  out.Str(9, "$CLAYER");
  out.Str(8, plan.Layers[static_cast<size_t>(plan.CurrentLayer)].Name);
  Var(out, "$CELTYPE", 6, "ByLayer");
  Var(out, "$CECOLOR", 62, 256);
  RealVar(out, "$CELTSCALE", 1);
  Var(out, "$DIMSTYLE", 2, "Standard");
  RealVar(out, "$DIMSCALE", plan.DimensionScale);
  RealVar(out, "$DIMTXT", plan.DimensionText);
  RealVar(out, "$DIMASZ", 0);
  RealVar(out, "$DIMEXO", 0);
  RealVar(out, "$DIMEXE", 0);
  Var(out, "$LUNITS", 70, 2);
  Var(out, "$LUPREC", 70, 4);
  Var(out, "$AUNITS", 70, 0);
  Var(out, "$PDMODE", 70, 0);
  RealVar(out, "$PDSIZE", 0);
  out.Str(9, "$HANDSEED");
  out.Handle(5, plan.HandleSeed);
  Var(out, "$CELWEIGHT", 370, -1);
  Var(out, "$LWDISPLAY", 290, 1);
  Var(out, "$INSUNITS", 70, 4);
  Var(out, "$MEASUREMENT", 70, 1);
  Var(out, "$PSLTSCALE", 70, 1);
  Var(out, "$TILEMODE", 70, 1);
  SectionEnd(out);
}

void WriteClasses(TDxfOut& out, bool images) {
  struct TClass {
    const char* Name;
    const char* CppName;
    const char* App;
    int Flags;
    bool Entity;
  };
  static constexpr TClass kAlways[] = {
      {"ACDBDICTIONARYWDFLT", "AcDbDictionaryWithDefault", "ObjectDBX Classes", 0, false},
      {"ACDBPLACEHOLDER", "AcDbPlaceHolder", "ObjectDBX Classes", 0, false},
      {"LAYOUT", "AcDbLayout", "ObjectDBX Classes", 0, false},
  };
  static constexpr TClass kImages[] = {
      {"IMAGE", "AcDbRasterImage", "ISM", 2175, true},
      {"IMAGEDEF", "AcDbRasterImageDef", "ISM", 0, false},
      {"IMAGEDEF_REACTOR", "AcDbRasterImageDefReactor", "ISM", 1, false},
      {"RASTERVARIABLES", "AcDbRasterVariables", "ISM", 0, false},
  };
  SectionBegin(out, "CLASSES");
  auto write = [&](const TClass& c) {
    out.Str(0, "CLASS");
    out.Str(1, c.Name);
    out.Str(2, c.CppName);
    out.Str(3, c.App);
    out.Int(90, c.Flags);
    out.Int(91, 0);
    out.Int(280, 0);
    out.Int(281, c.Entity ? 1 : 0);
  };
  for (const TClass& c : kAlways) write(c);
  if (images)
    for (const TClass& c : kImages) write(c);
  SectionEnd(out);
}

void WriteTables(TDxfOut& out, const TDxfPlan& plan) {
  SectionBegin(out, "TABLES");

  // The view the file opens with: the whole drawing.
  const TBox& e = plan.Extents;
  TableBegin(out, "VPORT", kViewportTable, 1);
  Record(out, "VPORT", kActiveViewport, kViewportTable, "AcDbViewportTableRecord");
  const double width = std::max(e.Width(), 1e-9), height = std::max(e.Height(), 1e-9);
  out.Str(2, "*Active");
  out.Int(70, 0);
  out.Point2(10, 0, 0);    // the viewport's corners on the screen
  out.Point2(11, 1, 1);
  out.Point2(12, (e.MinX + e.MaxX) / 2, (e.MinY + e.MaxY) / 2);  // the view's centre
  out.Point2(13, 0, 0);    // snap base
  out.Point2(14, 1, 1);    // snap spacing
  out.Point2(15, 1, 1);    // grid spacing
  out.Real(16, 0);         // view direction: from above
  out.Real(26, 0);
  out.Real(36, 1);
  out.Point(17, 0, 0);     // view target
  out.Real(40, height * 1.1);  // the view's height, a margin around the drawing
  out.Real(41, std::clamp(width / height, 0.1, 10.0));
  out.Real(42, 50);        // lens length
  out.Real(43, 0);         // clipping planes
  out.Real(44, 0);
  out.Real(50, 0);         // snap rotation
  out.Real(51, 0);         // view twist
  out.Int(71, 0);
  out.Int(72, 1000);       // circle zoom percent
  out.Int(73, 1);
  out.Int(74, 3);
  out.Int(75, 0);
  out.Int(76, 0);
  out.Int(77, 0);
  out.Int(78, 0);
  out.Int(281, 0);
  out.Int(65, 0);
  TableEnd(out);

  // Line types: the three every file has and the drawing's dashed ones,
  // their dashes in millimetres of the sheet.
  TableBegin(out, "LTYPE", kLineTypeTable, 3 + plan.LineTypes.size());
  const std::pair<const char*, uint64_t> fixed[] = {{"ByBlock", kByBlock}, {"ByLayer", kByLayer}, {"Continuous", kContinuous}};
  for (const auto& [name, handle] : fixed) {
    Record(out, "LTYPE", handle, kLineTypeTable, "AcDbLinetypeTableRecord");
    out.Str(2, name);
    out.Int(70, 0);
    out.Str(3, "");
    out.Int(72, 65);
    out.Int(73, 0);
    out.Real(40, 0);
  }
  for (const TDxfLineType& t : plan.LineTypes) {
    Record(out, "LTYPE", t.Handle, kLineTypeTable, "AcDbLinetypeTableRecord");
    out.Str(2, t.Name);
    out.Int(70, 0);
    out.Str(3, t.Description);
    out.Int(72, 65);
    out.Int(73, static_cast<int64_t>(t.Elements.size()));
    double total = 0;
    for (double v : t.Elements) total += std::abs(v);
    out.Real(40, total);
    for (double v : t.Elements) {
      out.Real(49, v);
      out.Int(74, 0);
    }
  }
  TableEnd(out);

  // Layers: "0", the drawing's layers that hold anything (and the writing
  // layer), and the temporary points' and settings texts' layers. A hidden
  // one is off and frozen as well: off is what DXF says of a layer that is
  // neither shown nor printed, but some readers (LibreCAD) hide only
  // frozen layers, and frozen hides an insertion's whole block, as the
  // drawing does. The writing layer, the current one, which a program may
  // not have frozen, is never hidden: the states count only when the
  // writing group's and each group's writing layer's are not 0
  // (jww/layers.h).
  TableBegin(out, "LAYER", kLayerTable, plan.Layers.size());
  for (const TDxfLayer& l : plan.Layers) {
    Record(out, "LAYER", l.Handle, kLayerTable, "AcDbLayerTableRecord");
    out.Str(2, l.Name);
    out.Int(70, l.Off ? 1 : 0);
    out.Int(62, l.Off ? -7 : 7);
    out.Str(6, "Continuous");
    out.Int(370, -3);
    out.Handle(390, kPlotStyleNormal);
  }
  TableEnd(out);

  // Text styles: "Standard" and one for each font the texts name, named so
  // that LibreCAD draws them with a font of its own that has Japanese
  // characters; the font's file and its family for the other readers
  // (dxf/fonts.h).
  const std::vector<TDxfTextStyle>& styles = plan.TextStyles.All();
  TableBegin(out, "STYLE", kStyleTable, styles.size());
  for (const TDxfTextStyle& s : styles) {
    Record(out, "STYLE", s.Handle, kStyleTable, "AcDbTextStyleTableRecord");
    out.Str(2, s.Font.StyleName);
    out.Int(70, 0);
    out.Real(40, 0);  // no fixed height
    out.Real(41, 1);
    out.Real(50, 0);
    out.Int(71, 0);
    out.Real(42, 2.5);  // the height last used
    if (s.Font.Family.empty()) {
      out.Str(3, "txt");
      out.Str(4, "");
    } else {
      out.Str(3, s.Font.File);
      out.Str(4, "");
      out.Str(1001, "ACAD");
      out.Str(1000, s.Font.Family);
      out.Int(1071, 34);
    }
  }
  TableEnd(out);

  TableBegin(out, "VIEW", kViewTable, 0);
  TableEnd(out);
  TableBegin(out, "UCS", kUcsTable, 0);
  TableEnd(out);
  TableBegin(out, "APPID", kAppIdTable, 1);
  Record(out, "APPID", kAcadAppId, kAppIdTable, "AcDbRegAppTableRecord");
  out.Str(2, "ACAD");
  out.Int(70, 0);
  TableEnd(out);

  // The dimension style: the look most of the drawing's dimensions have,
  // no arrowheads, extension lines from the measured points to the
  // dimension line, as the drawing draws them.
  TableBegin(out, "DIMSTYLE", kDimStyleTable, 1);
  out.Str(100, "AcDbDimStyleTable");
  out.Str(0, "DIMSTYLE");
  out.Handle(105, kStandardDimStyle);
  out.Handle(330, kDimStyleTable);
  out.Str(100, "AcDbSymbolTableRecord");
  out.Str(100, "AcDbDimStyleTableRecord");
  out.Str(2, "Standard");
  out.Int(70, 0);
  out.Real(40, plan.DimensionScale);  // DIMSCALE
  out.Real(41, 0);                    // DIMASZ: no arrowheads
  out.Real(42, 0);                    // DIMEXO
  out.Real(43, 3.75);                 // DIMDLI
  out.Real(44, 0);                    // DIMEXE
  out.Int(73, 0);
  out.Int(74, 0);
  out.Int(77, 1);
  out.Int(78, 8);
  out.Real(140, plan.DimensionText);  // DIMTXT
  out.Real(141, 2.5);
  out.Real(147, 0.625);
  out.Int(171, 3);
  out.Int(172, 1);
  out.Int(271, 2);
  out.Int(272, 2);
  out.Int(274, 3);
  out.Int(278, 44);
  out.Int(283, 0);
  out.Int(284, 8);
  out.Handle(340, styles[0].Handle);
  TableEnd(out);

  // Block records: model space, paper space, the definitions in use and
  // the dimensions' blocks.
  TableBegin(out, "BLOCK_RECORD", kBlockRecordTable,
             2 + plan.DefinitionsInUse() + static_cast<size_t>(plan.DimensionBlocks));
  auto blockRecord = [&](uint64_t handle, const std::string& name, uint64_t layout) {
    Record(out, "BLOCK_RECORD", handle, kBlockRecordTable, "AcDbBlockTableRecord");
    out.Str(2, name);
    out.Handle(340, layout);
    out.Int(70, 0);
    out.Int(280, 1);
    out.Int(281, 0);
  };
  blockRecord(kModelRecord, "*Model_Space", kModelLayout);
  blockRecord(kPaperRecord, "*Paper_Space", kPaperLayout);
  for (size_t def = 0; def < plan.Definitions(); ++def) {
    const TDxfBlock& b = plan.DefinitionBlock(def);
    if (!b.Name.empty()) blockRecord(b.Record, b.Name, 0);
  }
  for (int32_t n = 1; n <= plan.DimensionBlocks; ++n) {
    const TDxfBlock b = plan.DimensionBlock(n);
    blockRecord(b.Record, b.Name, 0);
  }
  TableEnd(out);
  SectionEnd(out);
}

void WriteBlocks(TDxfOut& out, const TJwwData& d, const TDxfPlan& plan, TDxfEntities& entities) {
  SectionBegin(out, "BLOCKS");
  const TDxfBlock model{"*Model_Space", kModelRecord, kModelBegin, kModelEnd};
  const TDxfBlock paper{"*Paper_Space", kPaperRecord, kPaperBegin, kPaperEnd};
  entities.BlockBegin(model, false);
  entities.BlockEnd(model);
  entities.BlockBegin(paper, false);
  entities.BlockEnd(paper);
  // The definitions in their own units. Their dimensions' blocks are
  // numbered after those of the drawing's own list, definition by
  // definition.
  int32_t dimension = plan.ModelDimensions + 1;
  for (size_t def = 0; def < plan.Definitions(); ++def) {
    const TDxfBlock& b = plan.DefinitionBlock(def);
    if (b.Name.empty()) continue;
    const TEntJwwBlockDef& store = d.BlockDefs[def];
    entities.BlockBegin(b, false);
    TDxfEntities::TSpace space;
    space.Owner = b.Record;
    entities.Store(store, ItemsOf(store, store.EntityCount), space, dimension);
    entities.BlockEnd(b);
  }
  // The dimensions' blocks: those of the drawing's own dimensions where
  // the dimensions stand (at their scale), then those of the definitions.
  TDxfEntities::TSpace modelSpace;
  modelSpace.GroupScales = true;
  dimension = 1;
  entities.DimensionBlocks(d, ItemsOf(d, d.Header.EntityCount), modelSpace, dimension);
  for (size_t def = 0; def < plan.Definitions(); ++def) {
    if (plan.DefinitionBlock(def).Name.empty()) continue;
    const TEntJwwBlockDef& store = d.BlockDefs[def];
    entities.DimensionBlocks(store, ItemsOf(store, store.EntityCount), TDxfEntities::TSpace(), dimension);
  }
  SectionEnd(out);
}

void WriteEntities(TDxfOut& out, const TJwwData& d, TDxfEntities& entities) {
  SectionBegin(out, "ENTITIES");
  TDxfEntities::TSpace space;
  space.Owner = kModelRecord;
  space.Model = true;
  space.GroupScales = true;
  int32_t dimension = 1;
  entities.Store(d, ItemsOf(d, d.Header.EntityCount), space, dimension);
  SectionEnd(out);
}

void WriteObjects(TDxfOut& out, const TDxfPlan& plan, const TDxfOptions& o, const TDxfEntities& entities) {
  SectionBegin(out, "OBJECTS");
  auto dictionary = [&](uint64_t handle, uint64_t owner) {
    out.Str(0, "DICTIONARY");
    out.Handle(5, handle);
    out.Handle(330, owner);
    out.Str(100, "AcDbDictionary");
    out.Int(281, 1);
  };
  auto entry = [&](std::string_view name, uint64_t handle) {
    out.Str(3, name);
    out.Handle(350, handle);
  };
  const bool images = !o.Images.empty();
  dictionary(kRootDictionary, 0);
  entry("ACAD_GROUP", kGroupDictionary);
  if (images) entry("ACAD_IMAGE_DICT", kImageDictionary);
  if (images) entry("ACAD_IMAGE_VARS", kImageVariables);
  entry("ACAD_LAYOUT", kLayoutDictionary);
  entry("ACAD_PLOTSTYLENAME", kPlotStyleDictionary);
  dictionary(kGroupDictionary, kRootDictionary);
  dictionary(kLayoutDictionary, kRootDictionary);
  entry("Layout1", kPaperLayout);
  entry("Model", kModelLayout);

  out.Str(0, "ACDBDICTIONARYWDFLT");
  out.Handle(5, kPlotStyleDictionary);
  out.Handle(330, kRootDictionary);
  out.Str(100, "AcDbDictionary");
  out.Int(281, 1);
  entry("Normal", kPlotStyleNormal);
  out.Str(100, "AcDbDictionaryWithDefault");
  out.Handle(340, kPlotStyleNormal);
  out.Str(0, "ACDBPLACEHOLDER");
  out.Handle(5, kPlotStyleNormal);
  out.Handle(330, kPlotStyleDictionary);

  // The two layouts, the sheet's size that of the drawing's extents.
  const TBox& e = plan.Extents;
  auto layout = [&](uint64_t handle, const char* name, int tab, uint64_t record, int flags) {
    out.Str(0, "LAYOUT");
    out.Handle(5, handle);
    out.Handle(330, kLayoutDictionary);
    out.Str(100, "AcDbPlotSettings");
    out.Str(1, "");
    out.Str(2, "none_device");
    out.Str(4, "");
    out.Str(6, "");
    for (int code : {40, 41, 42, 43}) out.Real(code, 0);  // margins
    out.Real(44, 420);  // paper size
    out.Real(45, 297);
    for (int code : {46, 47, 48, 49, 140, 141}) out.Real(code, 0);
    out.Real(142, 1);  // scale 1:1
    out.Real(143, 1);
    out.Int(70, flags);
    out.Int(72, 1);  // millimetres
    out.Int(73, 0);
    out.Int(74, 5);
    out.Str(7, "");
    out.Int(75, 16);
    out.Int(76, 0);
    out.Int(77, 2);
    out.Int(78, 300);
    out.Real(147, 1);
    out.Real(148, 0);
    out.Real(149, 0);
    out.Str(100, "AcDbLayout");
    out.Str(1, name);
    out.Int(70, 1);
    out.Int(71, tab);
    out.Point2(10, 0, 0);  // limits
    out.Point2(11, 420, 297);
    out.Point(12, 0, 0);   // insertion base
    out.Point(14, e.MinX, e.MinY);
    out.Point(15, e.MaxX, e.MaxY);
    out.Real(146, 0);
    out.Point(13, 0, 0);   // UCS origin
    out.Point(16, 1, 0);   // UCS x axis
    out.Point(17, 0, 1);   // UCS y axis
    out.Int(76, 0);
    out.Handle(330, record);
  };
  layout(kModelLayout, "Model", 0, kModelRecord, 1024);
  layout(kPaperLayout, "Layout1", 1, kPaperRecord, 0);

  if (images) {
    const auto& reactors = entities.ImageReactors();
    dictionary(kImageDictionary, kRootDictionary);
    for (size_t i = 0; i < o.Images.size(); ++i) {
      std::string name = o.Images[i].File.substr(o.Images[i].File.rfind('/') + 1);
      entry(name.substr(0, name.rfind('.')), plan.ImageDefinitions[i]);
    }
    out.Str(0, "RASTERVARIABLES");
    out.Handle(5, kImageVariables);
    out.Handle(330, kRootDictionary);
    out.Str(100, "AcDbRasterVariables");
    out.Int(90, 0);
    out.Int(70, 0);
    out.Int(71, 1);
    out.Int(72, 4);
    for (size_t i = 0; i < o.Images.size(); ++i) {
      const TDxfImage& image = o.Images[i];
      out.Str(0, "IMAGEDEF");
      out.Handle(5, plan.ImageDefinitions[i]);
      out.Str(102, "{ACAD_REACTORS");
      out.Handle(330, kImageDictionary);
      for (const auto& shown : reactors[i]) out.Handle(330, shown.second);
      out.Str(102, "}");
      out.Handle(330, kImageDictionary);
      out.Str(100, "AcDbRasterImageDef");
      out.Int(90, 0);
      out.Str(1, image.File);
      out.Point2(10, image.Width, image.Height);
      // The default size of a pixel, one unit, and no resolution units:
      // the IMAGE entities give the size.
      out.Point2(11, 1, 1);
      out.Int(280, 1);
      out.Int(281, 0);
    }
    // Each IMAGE's reactor, owned by the IMAGE.
    for (const auto& shown : reactors) {
      for (const auto& [image, reactor] : shown) {
        out.Str(0, "IMAGEDEF_REACTOR");
        out.Handle(5, reactor);
        out.Handle(330, image);
        out.Str(100, "AcDbRasterImageDefReactor");
        out.Int(90, 2);
        out.Handle(330, image);
      }
    }
  }
  SectionEnd(out);
}

}  // namespace quorvex
