// The image files a DXF refers to. DXF readers take raster images from
// files, so each image a drawing carries is written beside the DXF as the
// image file itself: gzip-packed data unpacked, the bytes exactly as they
// were before packing, never re-encoded; with the size in pixels the IMAGE
// entity needs.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvex {

struct TDxfImageFile {
  std::vector<uint8_t> Bytes;  // the image file
  const char* Extension = "";  // ".png", ".jpg" or ".bmp"
  uint32_t Width = 0, Height = 0;
};

// The image file of an image entry's data. False for data that is no PNG,
// JPEG or BMP image whose size in pixels can be read, or that unpacks to
// more than `limit` bytes.
bool PrepareImageFile(const std::vector<uint8_t>& stored, uint64_t limit, TDxfImageFile& out);

// The size in pixels of a PNG, JPEG or BMP file; false when it cannot be
// read from the file's header.
bool ImagePixelSize(const std::vector<uint8_t>& image, uint32_t& width, uint32_t& height);

}  // namespace quorvex
