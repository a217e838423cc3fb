// JwwString: a drawing's string in the form it was stored in.
//
// Older drawings store strings as narrow Shift-JIS bytes; newer ones store
// every string as UTF-16LE code units (the "wide" form). A string keeps its
// form from reading to writing, and the text helpers act on both forms
// alike, so no other code needs to care which form a string has.
//
// A drawing holds millions of strings, most of them short, so a string
// takes 16 bytes: up to 15 narrow bytes or 7 wide units are kept inside it,
// longer ones in a block of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quorvex {

class JwwString {
 public:
  JwwString() noexcept { Reset(); }
  JwwString(const JwwString& other) { CopyFrom(other); }
  JwwString(JwwString&& other) noexcept { Take(other); }
  JwwString& operator=(const JwwString& other) {
    if (this != &other) {
      Free();
      CopyFrom(other);
    }
    return *this;
  }
  JwwString& operator=(JwwString&& other) noexcept {
    if (this != &other) {
      Free();
      Take(other);
    }
    return *this;
  }
  ~JwwString() {
    if (Tag() & kHeap) FreeBlock();
  }

  static JwwString Narrow(std::string_view bytes) {
    JwwString s;
    s.Assign(bytes.data(), bytes.size(), false);
    return s;
  }
  static JwwString Wide(std::u16string_view units) {
    JwwString s;
    s.Assign(units.data(), units.size(), true);
    return s;
  }
  // A wide string of n units stored as little-endian byte pairs.
  static JwwString WideFromBytes(const uint8_t* pairs, size_t n);

  bool IsWide() const { return (Tag() & kWide) != 0; }
  bool Empty() const { return Length() == 0; }
  // Length in the string's own units: bytes when narrow, code units when wide.
  size_t Length() const {
    if (Tag() & kHeap) {
      uint32_t n;
      std::memcpy(&n, store_ + 4, sizeof n);
      return n;
    }
    return Tag() & kInlineLength;
  }
  // The unit at position i (a byte value when narrow).
  char16_t Unit(size_t i) const { return IsWide() ? Units()[i] : static_cast<uint8_t>(Bytes()[i]); }

  // The bytes of a narrow string, the units of a wide one; the other form
  // gives an empty view. A view lasts as long as the string is unchanged.
  std::string_view Bytes() const {
    return IsWide() ? std::string_view() : std::string_view(static_cast<const char*>(Data()), Length());
  }
  std::u16string_view Units() const {
    return IsWide() ? std::u16string_view(static_cast<const char16_t*>(Data()), Length()) : std::u16string_view();
  }

  // An ASCII text in the same form as this string.
  JwwString SameForm(std::string_view ascii) const;

  // The name as a file name: narrow bytes as they are, wide units as UTF-8.
  // False when a wide string holds an unpaired surrogate (no UTF-8 form).
  bool ToFileName(std::string& out) const;

  friend bool operator==(const JwwString& a, const JwwString& b) {
    return a.IsWide() == b.IsWide() && (a.IsWide() ? a.Units() == b.Units() : a.Bytes() == b.Bytes());
  }

 private:
  // store_ holds the units of a short string; for a long one, a pointer to
  // its block (bytes 0..7) and its length (bytes 8..11). Its last byte is
  // the tag: the form, where the units are, and a short string's length.
  static constexpr uint8_t kWide = 0x80;
  static constexpr uint8_t kHeap = 0x40;
  static constexpr uint8_t kInlineLength = 0x0F;
  static constexpr size_t kInlineBytes = 15;
  static constexpr size_t kInlineUnits = 7;

  uint8_t Tag() const { return reinterpret_cast<const uint8_t*>(store_)[15]; }
  void SetTag(uint8_t tag) { reinterpret_cast<uint8_t*>(store_)[15] = tag; }
  const void* Data() const {
    if (!(Tag() & kHeap)) return store_;
    const void* p;
    std::memcpy(&p, store_, sizeof p);
    return p;
  }
  void Reset() { std::memset(store_, 0, sizeof store_); }
  // Sets the units (n of them, narrow bytes or wide units) of an empty string.
  void Assign(const void* units, size_t n, bool wide);
  void CopyFrom(const JwwString& other) {
    if (other.Tag() & kHeap) {
      Reset();
      Assign(other.Data(), other.Length(), other.IsWide());
    } else {
      std::memcpy(store_, other.store_, sizeof store_);
    }
  }
  void Take(JwwString& other) noexcept {
    std::memcpy(store_, other.store_, sizeof store_);
    other.Reset();
  }
  void Free() noexcept {
    if (Tag() & kHeap) FreeBlock();
    Reset();
  }
  void FreeBlock() noexcept;

  alignas(8) char16_t store_[8];
};
static_assert(sizeof(JwwString) == 16);

// True when StripCaretM may change the string: it holds a '^' or a control
// character (most strings hold neither, and are written as they stand).
bool MayHoldCaretM(const JwwString& s);
// True when RemoveBlanks would leave nothing: the string holds only blanks
// and control characters (or nothing). Builds no string.
bool IsBlank(const JwwString& s);

// The text helpers, on either form.
JwwString RemoveBlanks(const JwwString& s);
JwwString StripCaretM(const JwwString& s);
JwwString CleanArchiveText(const JwwString& s);

}  // namespace quorvex
