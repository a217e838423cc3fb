// Images carried inside a drawing of version 700 or later.
//
// The reader copies each carried image file byte for byte into the scratch
// folder; the writer copies back those still placed by a text; the shell
// deletes the scratch files when a conversion ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jww/archive.h"
#include "jww/cursor.h"
#include "jww/jwwtype.h"

namespace quorvex {

class TJwwData;

// An entry of the image section. Entries cost no more room than this (48
// bytes), whatever the section announces: a file of empty entries needs
// 5 bytes for each.
struct TBindImageType {
  JwwString FileName;     // the entry's name as read
  int32_t DataSize = 0;   // the size as read
  bool InUse = false;     // set by the writer while it picks what to write
  bool Refused = false;   // the name could reach outside TempDir

  // The scratch file's name inside TempDir (the name, wide names in UTF-8);
  // empty when the entry has none (an empty name, or one that could reach
  // outside TempDir).
  std::string ScratchName() const;
};

class TImageStore {
 public:
  std::string TempDir;  // with its trailing '/'
  std::vector<TBindImageType> BoundImages;

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

  // Deletes the compressed scratch files, then the uncompressed ones, then
  // empties the list. Refused entries have no scratch file and are never
  // touched.
  void DeleteScratchFiles();
  void Clear() { BoundImages.clear(); }

  // The scratch path of an entry (TempDir + name).
  std::string ScratchPath(const TBindImageType& e) const { return TempDir + e.ScratchName(); }
};

// True when an image name may be used as a file name inside the scratch
// folder: no '/', no zero byte, no '\' or ':' character of its own (trail
// bytes of double-byte characters do not count), and neither "." nor "..".
bool IsSafeImageName(const JwwString& name);

// For a text that places a carried image ("^@BM%temp%" + name + "," ...),
// the image name; false for any other text.
bool ImageNameOfText(const JwwString& text, JwwString& name);

// True when the entry's name, upper-cased a to z, begins with the image
// name upper-cased; the two are compared unit by unit whatever their forms.
bool ImageEntryBelongsTo(const JwwString& fileName, const JwwString& imageName);

}  // namespace quorvex
