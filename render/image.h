// The images a drawing carries, as a picture shows them: which image a text
// places and in what size, the image file decompressed (never beyond a
// limit) and its format recognised by its first bytes, each entry decoded
// once within a budget for the whole picture.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jww/jwwunit.h"
#include "render/primitives.h"

namespace quorvex {

// An image entry of the drawing's image section, as stored (maybe gzip).
struct TStoredImage {
  JwwString FileName;
  std::vector<uint8_t> Data;
};

// True for a text that places an image ("^@BM...").
bool StartsWithImageMark(const JwwString& text);

// The numbers after the first comma of an image text: "name,width,height,...".
// A field that is no number gives NaN.
std::vector<double> ImageTextNumbers(const JwwString& text);

// The image of an image entry: gzip data decompressed (never beyond
// `limit` bytes) and the format recognised by its first bytes. False for
// data of another format, broken or too large.
bool DecodeStoredImage(const std::vector<uint8_t>& data, uint64_t limit, TSceneImage& out);

// The scene images of one picture: each entry decoded the first time a text
// places it, into `images`, while the bytes of all of them stay within
// `budget`.
class TImageCache {
 public:
  TImageCache(const std::vector<TStoredImage>* stored, uint64_t budget, std::vector<TSceneImage>& images);

  // The scene image an image text places; -1 when the drawing does not
  // carry it or it cannot be shown.
  int32_t ImageFor(const JwwString& text);
  // The entries a text placed that cannot be shown: of no known format,
  // broken, or beyond the budget (each entry once).
  int64_t Unshown() const { return unshown_; }

 private:
  const std::vector<TStoredImage>* stored_;
  uint64_t budget_;
  std::vector<TSceneImage>& images_;
  std::vector<int32_t> imageOfEntry_;  // -2 not decoded yet, -1 none, else scene image
  int64_t unshown_ = 0;
};

}  // namespace quorvex
