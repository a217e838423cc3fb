// The text of a DXF file as it is written: each group is two lines, the
// group code right-aligned in three columns and its value. Reals are
// written in the shortest form that reads back to the same double (as
// std::to_chars writes them), with '.' whatever the locale; handles in
// upper-case hexadecimal. Everything goes straight into the writer's room,
// so no file is ever held whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "bytes/writer.h"
#include "text/jwwstring.h"

namespace quorvex {

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
  // Groups already written out, for the fixed parts of the file.
  void Raw(std::string_view groups) { w_.Bytes(groups.data(), groups.size()); }

  TArchiveWriter& Writer() { return w_; }

 private:
  // Takes what was written in the writer's room from start to end.
  void End(char* start, char* end) { w_.Used(static_cast<size_t>(end - start)); }

  TArchiveWriter& w_;
  std::string text_;  // the last text value, reused
  int64_t undecoded_ = 0;
};

// The characters of a string as UTF-8, with '^' and control characters
// in caret notation (appended to `out`). False when characters were lost:
// the Shift-JIS converter could not be loaded.
bool AppendCaretText(const JwwString& text, std::string& out);

}  // namespace quorvex
