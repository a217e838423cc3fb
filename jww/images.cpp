#include "jww/images.h"

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "jww/jwwunit.h"
#include "text/sjis.h"

namespace quorvex {
namespace {

constexpr std::u16string_view kImagePrefix = u"^@BM%temp%";
constexpr size_t kCopyBlock = 2048;

// A string's units one after the other, with the single-byte letters a..z
// upper-cased; the bytes of a narrow string's double-byte characters stay
// as they are. Nothing is copied: an image name is looked for among every
// entry, and both may be long.
class TUpperUnits {
 public:
  explicit TUpperUnits(const JwwString& s) : s_(s) {}
  char16_t Next() {
    const char16_t u = s_.Unit(i_++);
    if (trail_) {
      trail_ = false;
      return u;
    }
    if (!s_.IsWide() && IsLeadByte(static_cast<uint8_t>(u)) && i_ < s_.Length()) {
      trail_ = true;
      return u;
    }
    return u >= u'a' && u <= u'z' ? static_cast<char16_t>(u - 0x20) : u;
  }

 private:
  const JwwString& s_;
  size_t i_ = 0;
  bool trail_ = false;  // the next unit is the second byte of a double-byte character
};

// Appends a kept image's bytes, preceded by its size, to the output.
void CopyKept(TArchiveWriter& w, TImageKeeper& keeper, uint32_t number) {
  uint64_t keptSize = 0;
  int err = keeper.Open(number, keptSize);
  if (err == 0 && keptSize > INT32_MAX) err = EFBIG;  // the section stores sizes in 32 bits
  if (err != 0) {
    w.Fail(err);
    return;
  }
  const size_t size = static_cast<size_t>(keptSize);
  w.I32(static_cast<int32_t>(size));
  uint8_t block[kCopyBlock];
  size_t done = 0;
  while (w.Ok() && done < size) {
    size_t got = 0;
    if (const int readError = keeper.Read(block, std::min(size - done, kCopyBlock), got); readError != 0 || got == 0) {
      w.Fail(readError != 0 ? readError : EIO);  // the image shrank: the size written would be wrong
      break;
    }
    w.Bytes(block, got);
    done += got;
  }
}

void MarkImagesPlacedBy(const TEntJwwStore& s, int32_t entityCount, std::vector<TBindImageType>& images) {
  const size_t n = std::min(s.EntityOrder.size(), static_cast<size_t>(entityCount < 0 ? 0 : entityCount));
  for (size_t i = 0; i < n; ++i) {
    const TEntJwwListItem& item = s.EntityOrder[i];
    if (item.Kind != kText || item.Index < 0 || item.Index >= static_cast<int32_t>(s.Texts.size())) continue;
    JwwString name;
    if (!ImageNameOfText(s.Texts[item.Index].Text, name)) continue;
    for (TBindImageType& e : images) {
      if (ImageEntryBelongsTo(e.FileName, name)) {
        e.InUse = true;
        break;
      }
    }
  }
}

}  // namespace

uint32_t TImageStore::NextNumber(TBindImageType& e) {
  e.ScratchNumber = ++LastScratchNumber;
  if (e.ScratchNumber == 0) e.ScratchNumber = ++LastScratchNumber;  // after four thousand million, once round
  return e.ScratchNumber;
}

// Returns 0, or the system's error number of the first failure, with what
// was kept dropped; the cursor has then not read past the failing piece.
// When the input itself cannot be read the cursor fails, and what was kept
// is dropped too.
int TImageStore::Keep(TBindImageType& e, ByteCursor& c, size_t size) {
  const uint32_t number = NextNumber(e);
  if (const int err = Keeper->Start(number)) return err;
  int err = 0;
  const bool copied = c.Consume(size, [&](const uint8_t* data, size_t n) {
    err = Keeper->Append(data, n);
    return err == 0;
  });
  if (const int finishing = Keeper->Finish(number, err == 0 && copied); finishing != 0 && err == 0) err = finishing;
  return err;
}

int TImageStore::Add(const JwwString& name, const void* data, size_t size) {
  if (!Keeper) return EINVAL;
  TBindImageType e;
  e.FileName = name;
  e.DataSize = static_cast<int32_t>(std::min<size_t>(size, INT32_MAX));
  ByteCursor bytes(static_cast<const uint8_t*>(data), size);
  if (const int err = Keep(e, bytes, size); err != 0) return err;
  BoundImages.push_back(std::move(e));
  return 0;
}

int TImageStore::KeptBytes(const TBindImageType& e, std::vector<uint8_t>& out) const {
  out.clear();
  if (!Keeper || e.ScratchNumber == 0) return ENOENT;
  uint64_t size = 0;
  if (const int err = Keeper->Open(e.ScratchNumber, size)) return err;
  if (size > SIZE_MAX / 2) return EFBIG;
  out.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < out.size()) {
    size_t got = 0;
    if (const int err = Keeper->Read(out.data() + done, out.size() - done, got)) return err;
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return 0;
}

bool ImageNameOfText(const JwwString& text, JwwString& name) {
  const size_t n = text.Length();
  if (n <= kImagePrefix.size()) return false;
  for (size_t i = 0; i < kImagePrefix.size(); ++i)
    if (text.Unit(i) != kImagePrefix[i]) return false;
  for (size_t i = 0; i < n; ++i) {
    if (text.Unit(i) != u',') continue;
    if (i < kImagePrefix.size()) return false;
    if (text.IsWide()) {
      name = JwwString::Wide(text.Units().substr(kImagePrefix.size(), i - kImagePrefix.size()));
    } else {
      name = JwwString::Narrow(text.Bytes().substr(kImagePrefix.size(), i - kImagePrefix.size()));
    }
    return true;
  }
  return false;
}

bool ImageEntryBelongsTo(const JwwString& fileName, const JwwString& imageName) {
  if (fileName.Length() < imageName.Length()) return false;
  TUpperUnits f(fileName), i(imageName);
  for (size_t k = 0; k < imageName.Length(); ++k)
    if (f.Next() != i.Next()) return false;
  return true;
}

bool TImageStore::ReadSection(ByteCursor& c, bool copyData) {
  BoundImages.clear();
  const size_t countAt = c.Offset();
  const int32_t count = c.I32();
  if (!c.Ok()) return false;
  if (count <= 0) return true;
  // Each entry takes at least a one-byte name and a 4-byte size.
  if (static_cast<uint64_t>(count) > c.Remaining() / 5) {
    c.FailAt(countAt, TReadProblem::kImpossibleCount, count);
    return false;
  }
  BoundImages.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    TBindImageType e;
    e.FileName = ReadCleanString(c);
    e.DataSize = c.I32();
    if (!c.Ok()) return false;
    const bool hasData = !e.FileName.Empty() && e.DataSize != 0;
    const size_t size = e.DataSize > 0 ? static_cast<size_t>(e.DataSize) : 0;
    BoundImages.push_back(std::move(e));
    TBindImageType& entry = BoundImages.back();
    if (!hasData) continue;
    const size_t dataAt = c.Offset();
    if (size > c.Remaining()) {
      c.Fail();  // the file ends inside the image's data
      return false;
    }
    if (!copyData || !Keeper) {
      c.Skip(size);
      continue;
    }
    if (const int err = Keep(entry, c, size); err != 0) {
      std::string name;
      if (!entry.FileName.ToFileName(name)) name.assign(1, '?');  // "?" assigned trips a false GCC 12 warning
      entry.ScratchNumber = 0;
      c.FailAt(dataAt, TReadProblem::kScratchWrite, 0, name, err);
      return false;
    }
    if (!c.Ok()) {
      entry.ScratchNumber = 0;  // the input could not be read: what was kept is dropped
      return false;
    }
  }
  return true;
}

void TImageStore::WriteSection(TArchiveWriter& w, const TJwwData& d) {
  for (TBindImageType& e : BoundImages) e.InUse = false;
  MarkImagesPlacedBy(d, d.Header.EntityCount, BoundImages);
  for (const TEntJwwBlockDef& def : d.Definitions()) MarkImagesPlacedBy(def, def.EntityCount, BoundImages);

  int32_t count = 0;
  for (TBindImageType& e : BoundImages) {
    if (!e.InUse) continue;
    // Gone, not merely unseen: kept bytes that cannot be looked at are
    // copied, and fail the write if they cannot be read either.
    if (e.ScratchNumber == 0 || !Keeper || Keeper->Gone(e.ScratchNumber)) {
      e.InUse = false;
    } else {
      ++count;
    }
  }
  w.I32(count);
  for (const TBindImageType& e : BoundImages) {
    if (!e.InUse) continue;
    WriteArchiveString(w, e.FileName);
    CopyKept(w, *Keeper, e.ScratchNumber);
  }
}

void TImageStore::DropImages() {
  for (const TBindImageType& e : BoundImages)
    if (e.ScratchNumber != 0 && Keeper) Keeper->Drop(e.ScratchNumber);
  BoundImages.clear();
}

}  // namespace quorvex
