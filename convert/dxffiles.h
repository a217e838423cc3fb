// The DXF output of a conversion: the DXF file and, beside it, the folder
// of the image files it refers to ("plan-images/" beside "plan.dxf"), each
// written whole or not at all, the folder first and the DXF taking its
// name last. An image file is named by the program ("image-1.bmp", ...),
// never by the drawing, and referred to by a path relative to the DXF.
#pragma once

#include <string>
#include <string_view>

#include "dxf/dxf.h"
#include "jww/images.h"
#include "jww/jwwunit.h"

namespace quorvex {

// The folder of the images beside a DXF: its path without its extension,
// followed by "-images".
std::string ImageFolderOf(const std::string& dxfPath);

// Whether a file name is one this program gives an image file ("image-"
// and a number, then ".png", ".jpg" or ".bmp"): a folder of images that
// holds nothing else is one it may replace.
bool IsImageFileName(std::string_view name);

// What a DXF could not carry, as the line of its conversion says it after
// "not carried: " ("1 image, 2 insertions of no block definition"), in
// the user's language; empty when it carried everything.
std::string DescribeLosses(const TDxfLosses& losses);

// Writes the drawing, as the conversion left it, as a DXF file at `path`,
// with the images it shows taken from the store's scratch files; what the
// DXF cannot carry goes to `losses`. A DXF whose texts would lose their
// characters (losses.Undecoded: no Shift-JIS converter) is not written: the
// converter's error number. 0, or the system error number (a DXF
// and a folder of images that stood there before are then untouched, unless
// *placed is set: the new DXF took its name all the same,
// TOutputFile::Placed, and its folder of images stays with it).
[[nodiscard]] int WriteDxfFiles(const TJwwData& d, const TImageStore& images, TDxfOptions options,
                                const std::string& path, TDxfLosses& losses, bool* placed = nullptr);

}  // namespace quorvex
