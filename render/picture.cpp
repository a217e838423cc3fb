#include "render/picture.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#include "jww/images.h"
#include "render/svg.h"

namespace quorvex {
namespace {

// The extension of a path's file name, dot included, lower-cased a to z.
std::string LowerExtensionOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext;
}

std::string MakePrivateFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvex-picture-XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  return pattern + "/";
}

bool ReadSmallFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

}  // namespace

bool ReadDrawingWithImages(const std::string& path, TJwwData& d, std::vector<TStoredImage>& images,
                           TReadError& error) {
  images.clear();
  const std::string folder = MakePrivateFolder();
  if (folder.empty()) return d.Read(path, nullptr, &error);  // the drawing without its images
  TImageStore store;
  store.TempDir = folder;
  const bool ok = d.Read(path, &store, &error);
  if (ok) {
    for (const TBindImageType& e : store.BoundImages) {
      TStoredImage image;
      image.FileName = e.FileName;
      if (!e.ScratchName.empty() && ReadSmallFile(store.ScratchPath(e), image.Data)) images.push_back(std::move(image));
    }
  }
  store.DeleteScratchFiles();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return ok;
}

uint64_t ImageBudgetFor(uint64_t drawingBytes) { return (16u << 20) + 4 * drawingBytes; }

std::string PreviewCaption(const TExplodeSummary& done, int64_t markedLines, int64_t markedPoints) {
  std::string caption = std::to_string(done.DimensionsExploded) + " dimensions exploded: " +
                        std::to_string(done.LinesAdded) + " lines and " + std::to_string(done.PointsAdded) +
                        " points added";
  const int64_t hidden = done.LinesAdded + done.PointsAdded - markedLines - markedPoints;
  if (hidden > 0)
    caption += " (" + std::to_string(hidden) + " of them in block definitions that nothing places, not drawn)";
  return caption;
}

TPictureResult MakePicture(const std::string& input, const std::string& output, TPictureMode mode) {
  TPictureResult result;
  struct stat st{};
  if (input.empty() || LowerExtensionOf(input) != ".jww" || ::stat(input.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    result.Code = TPictureCode::kBadInput;
    return result;
  }
  if (output.empty() || LowerExtensionOf(output) != ".svg") {
    result.Code = TPictureCode::kBadOutput;
    return result;
  }
  TJwwData d;
  std::vector<TStoredImage> images;
  if (!ReadDrawingWithImages(input, d, images, result.ReadError)) {
    result.Code = TPictureCode::kReadFailed;
    return result;
  }
  try {
    TgraAttribute attributes;
    attributes.SetColorScheme(0);
    attributes.FillColors();
    TRenderOptions options;
    options.Attributes = &attributes;
    options.Images = &images;
    options.ImageBudget = ImageBudgetFor(static_cast<uint64_t>(st.st_size));
    TExplodeStart start;
    TSvgOptions svg;
    if (mode == TPictureMode::kPreview) {
      start = ExplodeStart(d);
      result.Exploded = ExplodeDimensions(d);
      options.Exploded = &start;
    }
    const TScene scene = BuildScene(d, options);
    d.Reset();
    if (mode == TPictureMode::kPreview) {
      result.MarkedLines = scene.ExplodedLines;
      result.MarkedPoints = scene.ExplodedPoints;
      svg.Caption = result.Caption = PreviewCaption(result.Exploded, scene.ExplodedLines, scene.ExplodedPoints);
    }
    result.ErrorNumber = WriteFileDurably(output, SceneToSvg(scene, svg));
  } catch (const std::bad_alloc&) {
    result.ErrorNumber = ENOMEM;
  }
  result.Code = result.ErrorNumber == 0 ? TPictureCode::kDone : TPictureCode::kWriteFailed;
  return result;
}

}  // namespace quorvex
