#include "render/image.h"

#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <new>

#include "jww/images.h"

namespace quorvex {
namespace {

// One image may not decompress beyond this.
constexpr uint64_t kMaxImageBytes = 32u << 20;

// False for data that are broken or would grow beyond `limit`: the
// drawing's own state. Memory that zlib cannot get is ours to lack, and
// thrown as such.
bool Inflate(const std::vector<uint8_t>& in, uint64_t limit, std::vector<uint8_t>& out) {
  z_stream z{};
  if (const int r = inflateInit2(&z, 15 + 32); r != Z_OK) {  // gzip or zlib header
    if (r == Z_MEM_ERROR) throw std::bad_alloc();
    return false;
  }
  out.clear();
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(std::min<size_t>(in.size(), UINT32_MAX));
  uint8_t chunk[16384];
  int r = Z_OK;
  while (r == Z_OK) {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    r = inflate(&z, Z_NO_FLUSH);
    if (r == Z_MEM_ERROR) {
      inflateEnd(&z);
      throw std::bad_alloc();
    }
    if (r != Z_OK && r != Z_STREAM_END) break;
    const size_t n = sizeof chunk - z.avail_out;
    if (out.size() + n > limit) {
      r = Z_DATA_ERROR;  // larger than allowed: refused, however well it compresses
      break;
    }
    try {
      out.insert(out.end(), chunk, chunk + n);
    } catch (...) {
      inflateEnd(&z);
      throw;
    }
    if (r == Z_OK && n == 0 && z.avail_in == 0) r = Z_BUF_ERROR;  // cut short
  }
  inflateEnd(&z);
  return r == Z_STREAM_END;
}

}  // namespace

bool StartsWithImageMark(const JwwString& text) {
  static constexpr char16_t kMark[] = u"^@BM";
  if (text.Length() < 4) return false;
  for (size_t i = 0; i < 4; ++i)
    if (text.Unit(i) != kMark[i]) return false;
  return true;
}

std::vector<double> ImageTextNumbers(const JwwString& text) {
  std::vector<double> out;
  std::string field;
  bool afterName = false;
  auto flush = [&] {
    // from_chars: the same "." whatever the process's locale says.
    size_t start = 0;
    while (start < field.size() && (field[start] == ' ' || field[start] == '+')) ++start;
    double v = std::nan("");
    const auto r = std::from_chars(field.data() + start, field.data() + field.size(), v);
    out.push_back(r.ec == std::errc() && Finite(v) ? v : std::nan(""));
    field.clear();
  };
  for (size_t i = 0; i < text.Length() && out.size() < 4; ++i) {
    const char16_t u = text.Unit(i);
    if (u == u',') {
      if (afterName) flush();
      afterName = true;
    } else if (afterName && u < 0x80) {
      field.push_back(static_cast<char>(u));
    }
  }
  if (afterName && !field.empty()) flush();
  return out;
}

bool DecodeStoredImage(const std::vector<uint8_t>& data, uint64_t limit, TSceneImage& out) {
  out = TSceneImage();
  if (data.size() >= 2 && data[0] == 0x1F && data[1] == 0x8B) {
    if (!Inflate(data, limit, out.Bytes)) return false;
  } else {
    if (data.size() > limit) return false;
    out.Bytes = data;
  }
  const std::vector<uint8_t>& b = out.Bytes;
  static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (b.size() >= 8 && std::equal(kPng, kPng + 8, b.begin())) {
    out.Mime = "image/png";
  } else if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
    out.Mime = "image/jpeg";
  } else if (b.size() >= 14 && b[0] == 'B' && b[1] == 'M') {
    out.Mime = "image/bmp";
  } else {
    out.Bytes.clear();
    return false;
  }
  return true;
}

TImageCache::TImageCache(const std::vector<TStoredImage>* stored, uint64_t budget, std::vector<TSceneImage>& images)
    : stored_(stored), budget_(budget), images_(images) {
  if (stored_) imageOfEntry_.assign(stored_->size(), -2);
}

int32_t TImageCache::ImageFor(const JwwString& text) {
  JwwString name;
  if (!stored_ || !ImageNameOfText(text, name)) return -1;
  const std::vector<TStoredImage>& stored = *stored_;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (!ImageEntryBelongsTo(stored[i].FileName, name)) continue;
    if (imageOfEntry_[i] == -2) {
      imageOfEntry_[i] = -1;
      TSceneImage image;
      if (DecodeStoredImage(stored[i].Data, std::min(kMaxImageBytes, budget_), image)) {
        budget_ -= image.Bytes.size();
        imageOfEntry_[i] = static_cast<int32_t>(images_.size());
        images_.push_back(std::move(image));
      } else {
        ++unshown_;
      }
    }
    return imageOfEntry_[i];
  }
  return -1;
}

}  // namespace quorvex
