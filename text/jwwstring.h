// JwwString: a drawing's string in the form it was stored in.
//
// Older drawings store strings as narrow Shift-JIS bytes; newer ones store
// every string as UTF-16LE code units (the "wide" form). A string keeps its
// form from reading to writing, and the text helpers act on both forms
// alike, so no other code needs to care which form a string has.
#pragma once

#include <string>
#include <string_view>

namespace quorvex {

class JwwString {
 public:
  JwwString() = default;
  static JwwString Narrow(std::string bytes) {
    JwwString s;
    s.narrow_ = std::move(bytes);
    return s;
  }
  static JwwString Wide(std::u16string units) {
    JwwString s;
    s.wide_ = true;
    s.units_ = std::move(units);
    return s;
  }

  bool IsWide() const { return wide_; }
  bool Empty() const { return wide_ ? units_.empty() : narrow_.empty(); }
  // Length in the string's own units: bytes when narrow, code units when wide.
  size_t Length() const { return wide_ ? units_.size() : narrow_.size(); }
  // The unit at position i (a byte value when narrow).
  char16_t Unit(size_t i) const { return wide_ ? units_[i] : static_cast<uint8_t>(narrow_[i]); }

  const std::string& Bytes() const { return narrow_; }      // narrow form only
  const std::u16string& Units() const { return units_; }    // wide form only

  // An ASCII text in the same form as this string.
  JwwString SameForm(std::string_view ascii) const;
  // Keeps the first n units.
  void Truncate(size_t n);

  // The name as a file name: narrow bytes as they are, wide units as UTF-8.
  // False when a wide string holds an unpaired surrogate (no UTF-8 form).
  bool ToFileName(std::string& out) const;

  friend bool operator==(const JwwString& a, const JwwString& b) {
    return a.wide_ == b.wide_ && a.narrow_ == b.narrow_ && a.units_ == b.units_;
  }

 private:
  bool wide_ = false;
  std::string narrow_;
  std::u16string units_;
};

// The text helpers, on either form.
JwwString RemoveBlanks(const JwwString& s);
JwwString StripCaretM(const JwwString& s);
JwwString CleanArchiveText(const JwwString& s);

}  // namespace quorvex
