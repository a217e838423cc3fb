// Images carried inside a drawing of version 700 or later.
//
// The reader copies each carried image file byte for byte into the scratch
// folder; the writer copies back those still placed by a text; the shell
// deletes the scratch files when a conversion ends.
//
// A scratch file is named by the store, by a number it counts up
// ("image-1", "image-2", ...), never by the drawing: an image's name is
// data only, kept in its entry and written back unchanged, and never
// becomes a path. So a name that would reach outside the folder, one longer
// than the file system allows, or two entries of one name, are all carried
// like any other, each with its own bytes.
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
  uint32_t ScratchNumber = 0;  // its scratch file "image-N" in TempDir; 0: none
  bool InUse = false;          // set by the writer while it picks what to write
};

class TImageStore {
 public:
  std::string TempDir;  // with its trailing '/'
  std::vector<TBindImageType> BoundImages;
  uint32_t LastScratchNumber = 0;  // the number of the scratch file made last

  int32_t BoundImageCount() const { return static_cast<int32_t>(BoundImages.size()); }

  // Reads the image section at the cursor into BoundImages and TempDir.
  // With copyData false the data are skipped and no scratch file is made.
  // False, with the cursor failed and holding the reason, when the section
  // cannot be read whole or a scratch file cannot be written (kScratchWrite
  // with the system's error number; the partial file is deleted).
  bool ReadSection(ByteCursor& c, bool copyData);

  // Writes the image section for the drawing: the entries still placed by
  // an image text of the drawing or of a block definition, whose scratch
  // files exist. Fails the writer when a scratch file cannot be read.
  void WriteSection(TArchiveWriter& w, const TJwwData& d);

  // Adds an entry with these bytes in a new scratch file, as the reader
  // does (for drawings made in code). 0, or the system error number.
  [[nodiscard]] int Add(const JwwString& name, const void* data, size_t size);

  // Deletes the entries' scratch files, then empties the list.
  void DeleteScratchFiles();
  void Clear() { BoundImages.clear(); }

  // The scratch path of an entry; empty when it has no scratch file.
  std::string ScratchPath(const TBindImageType& e) const;

 private:
  // Gives an entry the next scratch number; its file is TempDir + that name.
  std::string NextScratchPath(TBindImageType& e);
};

// For a text that places a carried image ("^@BM%temp%" + name + "," ...),
// the image name; false for any other text.
bool ImageNameOfText(const JwwString& text, JwwString& name);

// True when the entry's name, upper-cased a to z, begins with the image
// name upper-cased; the two are compared unit by unit whatever their forms.
bool ImageEntryBelongsTo(const JwwString& fileName, const JwwString& imageName);

}  // namespace quorvex
