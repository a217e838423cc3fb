// Names of DXF table entries (layers, line types, text styles, blocks):
// UTF-8 without the characters DXF forbids in them, unique without regard
// to the case of letters, as readers compare them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace quorvex {

// The characters no table name may hold: < > / \ " : ; ? * | = ` and the
// control characters. Each of them becomes '_'.
std::string AllowedTableName(std::string_view name);

// The key two names share when readers take them for the same name: the
// letters of the alphabets a drawing's strings can hold (Latin, full-width
// Latin, Greek, Cyrillic) lower-cased.
std::string NameKey(std::string_view name);

// The names of one table, handed out once each. Only a 64-bit hash of
// each name's key is kept (a drawing may have a million definitions): two
// names whose keys hash alike, which no drawing of this world holds, would
// give the second a changed name.
class TTableNames {
 public:
  // Room for this many names.
  void SizeFor(size_t names) { taken_.reserve(names); }
  // Keeps a name for an entry this program makes itself.
  void Reserve(std::string_view name) { taken_.insert(Hash(name)); }
  // The name an entry gets for the name it asks for: that name, or, when
  // it holds a character no name may hold, is empty or is taken, a name
  // changed as little as will do ("name~2", "name~3", ...; an empty one
  // becomes `fallback`); `changed` then says so.
  std::string Take(std::string_view wanted, std::string_view fallback, bool& changed);

 private:
  static uint64_t Hash(std::string_view name);

  std::unordered_set<uint64_t> taken_;
};

}  // namespace quorvex
