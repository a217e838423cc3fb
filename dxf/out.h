// The text of a DXF file as it is written: each group is two lines, the
// group code right-aligned in three columns and its value. Reals are
// written in the shortest form that reads back to the same double (as
// std::to_chars writes them), with '.' whatever the locale, and a whole
// number with ".0" after its digits, so that no value line of a real is
// "0"; handles in upper-case hexadecimal. Everything goes straight into the
// writer's room, so no file is ever held whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/writer.h"
#include "text/jwwstring.h"

namespace quorvex {

// The line of a group code: right-aligned in three columns (wider codes as
// they are), then a line feed. Returns where it ends.
constexpr char* PutGroupCode(int code, char* at) {
  if (code >= 0 && code < 1000) {
    at[0] = code < 100 ? ' ' : static_cast<char>('0' + code / 100);
    at[1] = code < 10 ? ' ' : static_cast<char>('0' + code / 10 % 10);
    at[2] = static_cast<char>('0' + code % 10);
    at[3] = '\n';
    return at + 4;
  }
  char digits[12] = {};
  int n = 0;
  for (unsigned v = static_cast<unsigned>(code < 0 ? -code : code); v != 0 || n == 0; v /= 10)
    digits[n++] = static_cast<char>('0' + v % 10);
  if (code < 0) *at++ = '-';
  while (n > 0) *at++ = digits[--n];
  *at++ = '\n';
  return at;
}

// A group as its bytes, made once: a code and value fixed when the program
// is built (subclass markers, layer "0": Fixed), or the owner all of a
// run of entities share (OwnerGroup).
struct TDxfGroupBytes {
  char Bytes[48] = {};
  size_t Size = 0;
  std::string_view View() const { return {Bytes, Size}; }
};

// A group of a short value, formatted as TDxfOut::Str formats it.
consteval TDxfGroupBytes Fixed(int code, std::string_view value) {
  TDxfGroupBytes g;
  char* at = PutGroupCode(code, g.Bytes);
  for (char c : value) *at++ = c;
  *at++ = '\n';
  g.Size = static_cast<size_t>(at - g.Bytes);
  return g;
}

// A handle's group, formatted as TDxfOut::Handle formats it.
TDxfGroupBytes HandleGroup(int code, uint64_t handle);

class TDxfOut {
 public:
  explicit TDxfOut(TArchiveWriter& w) : w_(w) {}

  // A value written as it stands: the caller gives no line break in it.
  void Str(int code, std::string_view value);
  void Int(int code, int64_t value);
  // A real; one that is no number is written 0 (callers leave such
  // entities out before they get here).
  void Real(int code, double value);
  void Handle(int code, uint64_t handle);
  // A point: x under `code`, y under code + 10 and z = 0 under code + 20.
  void Point(int code, double x, double y);
  // The same without z (hatch boundaries, a few header variables).
  void Point2(int code, double x, double y);
  // A text value of an entity: the drawing's string as UTF-8, with the
  // characters DXF gives a meaning of their own in caret notation ("^ "
  // for '^', "^J" for a line feed and so on), so that every reader decodes
  // the same string the drawing holds.
  void Text(int code, const JwwString& text);
  // Texts whose characters were lost: the Shift-JIS converter could not
  // be loaded (text/utf8.h).
  int64_t Undecoded() const { return undecoded_; }
  // Groups written before by a writer of this kind (Gathered), as they are.
  void Raw(std::string_view groups) { w_.Bytes(groups.data(), groups.size()); }
  void Group(const TDxfGroupBytes& g) { w_.Bytes(g.Bytes, g.Size); }

  TArchiveWriter& Writer() { return w_; }

 private:
  // Takes what was written in the writer's room from start to end.
  void End(char* start, char* end) { w_.Used(static_cast<size_t>(end - start)); }

  TArchiveWriter& w_;
  std::string text_;  // the last text value, reused
  int64_t undecoded_ = 0;
};

// The groups that `write` writes into a TDxfOut, as text: for groups
// written many times over, kept once and written out with Raw.
template <class F>
std::string Gathered(F&& write) {
  TArchiveWriter w;
  TDxfOut out(w);
  write(out);
  const std::vector<uint8_t> bytes = w.Data();
  return std::string(bytes.begin(), bytes.end());
}

// The characters of a string as UTF-8, with '^' and control characters
// in caret notation (appended to `out`). False when characters were lost:
// the Shift-JIS converter could not be loaded.
bool AppendCaretText(const JwwString& text, std::string& out);

}  // namespace quorvex
