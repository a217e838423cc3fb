// JwwString: a drawing's string in the form it was stored in.
//
// Older drawings store strings as narrow Shift-JIS bytes; newer ones store
// every string as UTF-16LE code units (the "wide" form). A string keeps its
// form from reading to writing, and the text helpers act on both forms
// alike, so no other code needs to care which form a string has.
#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace quorvex {

class JwwString {
 public:
  JwwString() = default;
  static JwwString Narrow(std::string bytes) {
    JwwString s;
    s.v_.emplace<0>(std::move(bytes));
    return s;
  }
  static JwwString Wide(std::u16string units) {
    JwwString s;
    s.v_.emplace<1>(std::move(units));
    return s;
  }

  bool IsWide() const { return v_.index() == 1; }
  bool Empty() const { return Length() == 0; }
  // Length in the string's own units: bytes when narrow, code units when wide.
  size_t Length() const { return IsWide() ? Units().size() : Bytes().size(); }
  // The unit at position i (a byte value when narrow).
  char16_t Unit(size_t i) const { return IsWide() ? Units()[i] : static_cast<uint8_t>(Bytes()[i]); }

  // The bytes of a narrow string, the units of a wide one; the other form
  // gives an empty string.
  const std::string& Bytes() const {
    const std::string* p = std::get_if<0>(&v_);
    return p ? *p : EmptyBytes();
  }
  const std::u16string& Units() const {
    const std::u16string* p = std::get_if<1>(&v_);
    return p ? *p : EmptyUnits();
  }

  // An ASCII text in the same form as this string.
  JwwString SameForm(std::string_view ascii) const;
  // Keeps the first n units.
  void Truncate(size_t n);

  // The name as a file name: narrow bytes as they are, wide units as UTF-8.
  // False when a wide string holds an unpaired surrogate (no UTF-8 form).
  bool ToFileName(std::string& out) const;

  friend bool operator==(const JwwString& a, const JwwString& b) { return a.v_ == b.v_; }

 private:
  static const std::string& EmptyBytes();
  static const std::u16string& EmptyUnits();

  // One form at a time: a string of a drawing costs one string's room.
  std::variant<std::string, std::u16string> v_;
};

// The text helpers, on either form.
JwwString RemoveBlanks(const JwwString& s);
JwwString StripCaretM(const JwwString& s);
JwwString CleanArchiveText(const JwwString& s);

}  // namespace quorvex
