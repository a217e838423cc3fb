#include "convert/dxffiles.h"

#include <cerrno>
#include <new>

#include "convert/outcome.h"
#include "dxf/images.h"
#include "os/fdio.h"
#include "os/interrupts.h"
#include "os/outputfile.h"
#include "os/outputfolder.h"
#include "text/messages.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

// An image may unpack to this much before it is left out of the DXF.
constexpr uint64_t kMaxImageFile = uint64_t(256) << 20;

}  // namespace

std::string ImageFolderOf(const std::string& dxfPath) {
  const size_t slash = dxfPath.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = dxfPath.rfind('.');
  return (dot == std::string::npos || dot < start ? dxfPath : dxfPath.substr(0, dot)) + "-images";
}

bool IsImageFileName(std::string_view name) {
  if (!name.starts_with("image-")) return false;
  name.remove_prefix(6);
  size_t digits = 0;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  if (digits == 0) return false;
  name.remove_prefix(digits);
  return name == ".png" || name == ".jpg" || name == ".bmp";
}

std::string DescribeLosses(const TDxfLosses& l) {
  std::string text;
  auto add = [&](int64_t n, const char* format) {
    if (n == 0) return;
    if (!text.empty()) text += Tr(", ");
    text += Format(format, static_cast<long long>(n));
  };
  // The character spacing of texts is not counted: DXF texts have none, and
  // each is fitted to the width the drawing gives it instead.
  add(l.NoHeight, TrCount("%lld text of no height", "%lld texts of no height", l.NoHeight));
  add(l.NotFinite, TrCount("%lld entity with a number that is not finite",
                           "%lld entities with numbers that are not finite", l.NotFinite));
  add(l.PointMarks, TrCount("the mark of %lld point", "the marks of %lld points", l.PointMarks));
  add(l.RoundShapes, TrCount("the shape of %lld round solid (drawn as its outline)",
                             "the shapes of %lld round solids (drawn as their outlines)", l.RoundShapes));
  add(l.Images, TrCount("%lld image", "%lld images", l.Images));
  add(l.Insertions, TrCount("%lld insertion of no block definition", "%lld insertions of no block definition",
                            l.Insertions));
  add(l.Names, TrCount("%lld name as it stands (changed to a valid, unique DXF name)",
                       "%lld names as they stand (changed to valid, unique DXF names)", l.Names));
  return text;
}

int WriteDxfFiles(const TJwwData& d, const TImageStore& images, TDxfOptions options, const std::string& path,
                  TDxfLosses& losses, bool* placed) {
  if (placed) *placed = false;
  options.ImageEntries.clear();
  options.Images.clear();
  for (const TBindImageType& e : images.BoundImages) options.ImageEntries.push_back(e.FileName);

  // The images the DXF shows, one after the other into the folder's
  // scratch place: an image that cannot be read from its scratch file or
  // is of no format a DXF reader takes is left out (the DXF counts it).
  TOutputFolder folder;
  const std::string folderPath = ImageFolderOf(path);
  const std::string folderName = folderPath.substr(folderPath.rfind('/') + 1);
  for (int32_t entry : PlacedImageEntries(d, options.ImageEntries)) {
    const TBindImageType& e = images.BoundImages[static_cast<size_t>(entry)];
    if (e.ScratchNumber == 0) continue;
    std::vector<uint8_t> stored;
    if (const int err = images.KeptBytes(e, stored); err != 0) {
      if (err == ENOENT) continue;  // gone, as the JWW writer leaves such an image out
      return err;
    }
    TDxfImageFile file;
    if (!PrepareImageFile(stored, kMaxImageFile, file)) continue;
    if (options.Images.empty()) {
      if (const int err = folder.Open(folderPath, IsImageFileName)) return err;
    }
    const std::string name = "image-" + std::to_string(options.Images.size() + 1) + file.Extension;
    if (const int err = folder.Add(name, file.Bytes.data(), file.Bytes.size())) return err;
    options.Images.push_back({entry, folderName + "/" + name, file.Width, file.Height});
  }

  TOutputFile out;  // removed again unless committed, however the writing ends
  if (const int err = out.Open(path)) return err;
  TArchiveWriter w(out);  // fills the file's own blocks
  try {
    losses = WriteDxf(d, options, w);
  } catch (const std::bad_alloc&) {
    w.Fail(ENOMEM);
  }
  if (!w.Flush()) return w.Error();
  // Texts whose characters were lost take no DXF's name.
  if (losses.Undecoded > 0) return Cp932ConverterError() != 0 ? Cp932ConverterError() : EILSEQ;
  // The folder takes its name, then the DXF; an interrupt waits until both
  // have (or neither has).
  TPlacing placing;
  if (TPlacing::Ending()) return EINTR;
  if (!options.Images.empty()) {
    if (const int err = folder.Place()) return err;
  }
  if (const int err = out.Commit()) {
    if (out.Placed()) {
      if (placed) *placed = true;  // the new DXF stands: its images stay with it
    } else {
      folder.Unplace();
    }
    return err;
  }
  return 0;
}

}  // namespace quorvex
