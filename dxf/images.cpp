#include "dxf/images.h"

#include <cstdlib>

#include "render/image.h"

namespace quorvex {
namespace {

uint32_t Big16(const std::vector<uint8_t>& b, size_t at) { return uint32_t(b[at]) << 8 | b[at + 1]; }
uint32_t Big32(const std::vector<uint8_t>& b, size_t at) { return Big16(b, at) << 16 | Big16(b, at + 2); }
uint32_t Little16(const std::vector<uint8_t>& b, size_t at) { return b[at] | uint32_t(b[at + 1]) << 8; }
uint32_t Little32(const std::vector<uint8_t>& b, size_t at) { return Little16(b, at) | Little16(b, at + 2) << 16; }

// A JPEG's size is in its frame header (a SOF marker): the markers before
// it are stepped over by their lengths.
bool JpegSize(const std::vector<uint8_t>& b, uint32_t& width, uint32_t& height) {
  size_t at = 2;
  while (at + 4 <= b.size()) {
    if (b[at] != 0xFF) return false;
    const uint8_t marker = b[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a length
      at += 2;
      continue;
    }
    const size_t length = Big16(b, at + 2);
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (length < 7 || at + 9 > b.size()) return false;
      height = Big16(b, at + 5);
      width = Big16(b, at + 7);
      return true;
    }
    if (length < 2) return false;
    at += 2 + length;
  }
  return false;
}

}  // namespace

bool ImagePixelSize(const std::vector<uint8_t>& b, uint32_t& width, uint32_t& height) {
  width = height = 0;
  static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() >= 24 && std::equal(kPng, kPng + 8, b.begin())) {
    width = Big32(b, 16), height = Big32(b, 20);
  } else if (b.size() >= 4 && b[0] == 0xFF && b[1] == 0xD8) {
    if (!JpegSize(b, width, height)) return false;
  } else if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M') {
    const uint32_t header = Little32(b, 14);
    if (header == 12) {
      width = Little16(b, 18), height = Little16(b, 20);
    } else if (header >= 40) {
      // The height is negative for rows stored top down.
      width = Little32(b, 18);
      height = static_cast<uint32_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(Little32(b, 22)))));
      if (static_cast<int32_t>(width) < 0) return false;
    }
  }
  return width > 0 && height > 0;
}

bool PrepareImageFile(const std::vector<uint8_t>& stored, uint64_t limit, TDxfImageFile& out) {
  TSceneImage image;
  if (!DecodeStoredImage(stored, limit, image) || !ImagePixelSize(image.Bytes, out.Width, out.Height)) return false;
  out.Extension = image.Mime == "image/png" ? ".png" : image.Mime == "image/jpeg" ? ".jpg" : ".bmp";
  out.Bytes = std::move(image.Bytes);
  return true;
}

}  // namespace quorvex
