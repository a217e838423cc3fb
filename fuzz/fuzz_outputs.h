// The check of the outputs beside the JWW (fuzz_check.h has the read, the
// explode and the JWW write): any bytes that read as a drawing, with their
// images through a scratch folder, are drawn as stored as an SVG picture,
// exploded, drawn as the preview and written as DXF at real size and as the
// sheet, all into memory, as the conversion writes them. Each picture must
// be whole and no bigger than a small multiple of the bytes read (the
// images it embeds aside), each DXF complete and no bigger than a larger
// multiple; the scratch folder is empty again afterwards. Bytes that do not
// read pass: their reasons are fuzz_check.h's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "attrib/UnitGraAtt.h"
#include "bytes/writer.h"
#include "convert/picture.h"
#include "convert/scratchimages.h"
#include "dxf/dxf.h"
#include "dxf/images.h"
#include "explode/explode.h"
#include "fuzz/fuzz_scratch.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "render/scene.h"
#include "render/svg.h"

namespace quorvex {

// Bytes of one image file a DXF's folder may get here (the converter
// allows more; an image beyond it is left out as one of no known format).
constexpr uint64_t kFuzzDxfImageLimit = 16u << 20;

// Writes the walk's picture into memory; empty when it is whole and no
// bigger than `limit` plus the images it embeds (as base64), else why not.
inline std::string CheckSvg(TSceneWalk& walk, const TSvgOptions& svg, uint64_t limit, const char* which) {
  uint64_t images = 0;
  for (const TSceneImage& i : walk.Scene().Images) images += i.Bytes.size() * 4 / 3 + 4;
  TArchiveWriter out;
  WriteSvg(walk, out, svg);
  const std::vector<uint8_t> bytes = out.Data();
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!out.Ok()) return std::string("the ") + which + " picture failed in memory";
  if (!text.ends_with("</svg>\n")) return std::string("the ") + which + " picture ends unfinished";
  if (bytes.size() > limit + images) return std::string("the ") + which + " picture grows faster than the drawing";
  return "";
}

// Writes the drawing as a DXF into memory as the conversion does
// (convert/dxffiles), the image files it refers to only prepared; empty
// when it is complete and no bigger than `limit`, else why not.
inline std::string CheckDxf(const TJwwData& d, const TImageStore& store, bool paper, uint64_t limit) {
  const char* which = paper ? "the sheet's DXF" : "the real size DXF";
  TDxfOptions options;
  options.Paper = paper;
  for (const TBindImageType& e : store.BoundImages) options.ImageEntries.push_back(e.FileName);
  for (int32_t entry : PlacedImageEntries(d, options.ImageEntries)) {
    const TBindImageType& e = store.BoundImages[static_cast<size_t>(entry)];
    if (e.ScratchNumber == 0) continue;
    std::vector<uint8_t> stored;
    if (store.KeptBytes(e, stored) != 0) return std::string(which) + ": an image cannot be read back";
    TDxfImageFile file;
    if (!PrepareImageFile(stored, kFuzzDxfImageLimit, file)) continue;
    options.Images.push_back({entry, "drawing-images/image-" + std::to_string(options.Images.size() + 1) + file.Extension,
                              file.Width, file.Height});
  }
  TArchiveWriter out;
  WriteDxf(d, options, out);
  const std::vector<uint8_t> bytes = out.Data();
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!out.Ok()) return std::string(which) + " failed in memory";
  if (!text.ends_with("\nEOF\n")) return std::string(which) + " ends unfinished";
  if (bytes.size() > limit) return std::string(which) + " grows faster than the drawing";
  return "";
}

// Empty when the input passes, else what went wrong. The images pass
// through the keeper's folder.
inline std::string CheckOutputs(const uint8_t* data, size_t size, TScratchImages& kept) {
  return CheckReadDrawing(data, size, kept,
                          [&](TJwwData& d, const TImageStore& store, const std::vector<TStoredImage>& images,
                              std::string& problem) {
    const uint64_t pictureLimit = 64 * uint64_t(size) + (64u << 10);
    TgraAttribute attributes;
    attributes.SetColorScheme(0);
    attributes.FillColors();
    TRenderOptions render;
    render.Attributes = &attributes;
    render.Images = &images;
    render.ImageBudget = ImageBudgetFor(size);
    if (problem.empty()) {
      // As stored (--svg), in the printer's colours for inputs of odd size.
      render.Colors = size % 2 ? TColorSet::kPrinter : TColorSet::kScreen;
      TSceneWalk walk(d, render);
      problem = CheckSvg(walk, {}, pictureLimit, "stored");
    }
    const TAppendStarts start = ExplodeStart(d);
    const TExplodeSummary done = ExplodeDimensions(d);
    if (problem.empty()) {
      // The preview (--preview), with its caption.
      render.Colors = TColorSet::kScreen;
      render.Exploded = &start;
      TSceneWalk walk(d, render);
      TSvgOptions svg;
      svg.Caption = PreviewCaption(done, walk.Scene().ExplodedLines, walk.Scene().ExplodedPoints);
      problem = CheckSvg(walk, svg, pictureLimit, "preview");
    }
    // The conversion's DXF of the exploded drawing, both ways.
    const uint64_t dxfLimit = 1024 * uint64_t(size) + (256u << 10);
    if (problem.empty()) problem = CheckDxf(d, store, false, dxfLimit);
    if (problem.empty()) problem = CheckDxf(d, store, true, dxfLimit);
  });
}

}  // namespace quorvex
