// A DXF file written in three jobs: the first pass plans the tables and
// the handles (plan.cpp), then the sections are written in order
// (sections.cpp) with the entities (entities.cpp).
#include <algorithm>
#include <cerrno>

#include "dxf/document.h"
#include "jww/images.h"
#include "jww/kinds.h"

namespace quorvex {

std::vector<int32_t> PlacedImageEntries(const TJwwData& d, const std::vector<JwwString>& entries) {
  std::vector<bool> placed(entries.size(), false);
  auto mark = [&](const TEntJwwStore& s, size_t items) {
    for (size_t i = 0; i < items; ++i) {
      const TEntJwwListItem item = s.EntityOrder[i];
      if (item.Kind != kText || item.Index < 0 || static_cast<size_t>(item.Index) >= s.Texts.size()) continue;
      JwwString name;
      if (!ImageNameOfText(s.Texts[static_cast<size_t>(item.Index)].Text, name)) continue;
      for (size_t e = 0; e < entries.size(); ++e) {
        if (ImageEntryBelongsTo(entries[e], name)) {
          placed[e] = true;
          break;
        }
      }
    }
  };
  mark(d, ItemsOf(d, d.Header.EntityCount));
  for (const TEntJwwBlockDef& def : d.Definitions())
    if (def.Used) mark(def, ItemsOf(def, def.EntityCount));
  std::vector<int32_t> out;
  for (size_t e = 0; e < placed.size(); ++e)
    if (placed[e]) out.push_back(static_cast<int32_t>(e));
  return out;
}

TDxfLosses WriteDxf(const TJwwData& d, const TDxfOptions& options, TArchiveWriter& w) {
  std::vector<TPen> pens;
  TStyles styles(d, options.Attributes, TColorSet::kPrinter, 0, pens);
  TDxfPlan plan(d, options, styles, pens);
  TDxfOut out(w);
  TDxfEntities entities(d, options, plan, styles, pens, out);
  WriteHeader(out, plan);
  WriteClasses(out, !options.Images.empty());
  WriteTables(out, plan);
  WriteBlocks(out, d, plan, entities);
  WriteEntities(out, d, entities);
  WriteObjects(out, plan, options, entities);
  out.Str(0, "EOF");
  // The plan counted every handle the entities were given: were it not
  // so, $HANDSEED would lie, and the file is not written (a fault of this
  // program the tests hold it to).
  if (entities.NextHandle() != plan.HandleSeed && w.Ok()) w.Fail(EPROTO);
  TDxfLosses losses = entities.Losses();
  losses.Names += plan.Losses.Names;
  losses.Undecoded = plan.Undecoded + entities.Undecoded() + out.Undecoded();
  return losses;
}

}  // namespace quorvex
