// Images carried inside a drawing of version 700 or later.
//
// The reader hands each carried image's bytes, exactly as stored, to a
// keeper; the writer takes back those still placed by a text; the shell
// drops them when a conversion ends. Where the keeper keeps them is none of
// the format's business: the conversion's keeper (convert/scratchimages)
// gives each a file of the session's scratch folder.
//
// An image is kept under a number the store counts up (1, 2, ...), never
// under anything from the drawing: an image's name is data only, kept in
// its entry and written back unchanged, and never becomes a path. So a name
// that would reach outside a folder, one longer than a file system allows,
// or two entries of one name, are all carried like any other, each with
// its own bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jww/archive.h"
#include "jww/cursor.h"
#include "jww/jwwtype.h"

namespace quorvex {

class TJwwData;

// An entry of the image section. Entries cost no more room than this (32
// bytes), whatever the section announces: a file of empty entries needs
// 5 bytes for each.
struct TBindImageType {
  JwwString FileName;          // the entry's name as read: data, never a path
  int32_t DataSize = 0;        // the size as read
  uint32_t ScratchNumber = 0;  // the number its bytes are kept under; 0: none
  bool InUse = false;          // set by the writer while it picks what to write
};

// Where the bytes of carried images are kept between the reading of a
// drawing and the writing of its copy. Each call returns 0 or the system's
// error number.
class TImageKeeper {
 public:
  virtual ~TImageKeeper() = default;
  // Starts keeping image `number` (one kept before under that number is
  // replaced); its bytes come with Append.
  virtual int Start(uint32_t number) = 0;
  virtual int Append(const uint8_t* data, size_t size) = 0;
  // Ends the image started last, dropping it again unless `keep` (its
  // bytes could not all be had); dropped too when the ending fails.
  virtual int Finish(uint32_t number, bool keep) = 0;
  // Whether image `number` is gone (dropped by someone else meanwhile; the
  // writer leaves it out). An image that cannot be looked at is not gone.
  virtual bool Gone(uint32_t number) = 0;
  // Opens image `number` for its bytes, and gives its size.
  virtual int Open(uint32_t number, uint64_t& size) = 0;
  // Reads up to `size` bytes of the image opened last into `data`; how
  // many came goes to `got` (0 at its end).
  virtual int Read(uint8_t* data, size_t size, size_t& got) = 0;
  virtual void Drop(uint32_t number) = 0;
};

class TImageStore {
 public:
  TImageKeeper* Keeper = nullptr;  // where the images' bytes are kept; none: they are skipped
  std::vector<TBindImageType> BoundImages;
  uint32_t LastScratchNumber = 0;  // the number given last

  int32_t BoundImageCount() const { return static_cast<int32_t>(BoundImages.size()); }

  // Reads the image section at the cursor into BoundImages, the bytes of
  // each image to the keeper. With copyData false (or no keeper) the data
  // are skipped and nothing is kept. False, with the cursor failed and
  // holding the reason, when the section cannot be read whole or an image
  // cannot be kept (kScratchWrite with the system's error number; what was
  // kept of it is dropped).
  bool ReadSection(ByteCursor& c, bool copyData);

  // Writes the image section for the drawing: the entries still placed by
  // an image text of the drawing or of a block definition, whose bytes are
  // kept. Fails the writer when kept bytes cannot be read.
  void WriteSection(TArchiveWriter& w, const TJwwData& d);

  // Adds an entry with these bytes, kept as the reader keeps them (for
  // drawings made in code). 0, or the system error number.
  [[nodiscard]] int Add(const JwwString& name, const void* data, size_t size);

  // The kept bytes of an entry, whole. 0, or the system error number
  // (ENOENT for an entry with no bytes kept).
  [[nodiscard]] int KeptBytes(const TBindImageType& e, std::vector<uint8_t>& out) const;

  // Drops the entries' kept bytes, then empties the list.
  void DropImages();
  void Clear() { BoundImages.clear(); }

 private:
  // Gives an entry the next number.
  uint32_t NextNumber(TBindImageType& e);
  // Keeps the next `size` bytes of the cursor under the entry's new number.
  int Keep(TBindImageType& e, ByteCursor& c, size_t size);
};

// For a text that places a carried image ("^@BM%temp%" + name + "," ...),
// the image name; false for any other text.
bool ImageNameOfText(const JwwString& text, JwwString& name);

// True when the entry's name, upper-cased a to z, begins with the image
// name upper-cased; the two are compared unit by unit whatever their forms.
bool ImageEntryBelongsTo(const JwwString& fileName, const JwwString& imageName);

}  // namespace quorvex
