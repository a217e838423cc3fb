// Names of DXF table entries (layers, line types, text styles, blocks):
// UTF-8 without the characters DXF forbids in them, unique without regard
// to the case of letters, as readers compare them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// The characters no table name may hold: < > / \ " : ; ? * | = ` and the
// control characters. Each of them becomes '_'.
std::string AllowedTableName(std::string_view name);

// The key two names share when readers take them for the same name: the
// letters of the alphabets a drawing's strings can hold (Latin, full-width
// Latin, Greek, Cyrillic) lower-cased.
std::string NameKey(std::string_view name);

// The names of one table, handed out once each. Only a 64-bit hash of
// each name's key is kept, in a table of its own (a drawing may have a
// million definitions): two names whose keys hash alike, which no drawing
// of this world holds, would give the second a changed name.
class TTableNames {
 public:
  // Room for this many names.
  void SizeFor(size_t names);
  // Keeps a name for an entry this program makes itself.
  void Reserve(std::string_view name) { Insert(Hash(name)); }
  // The name an entry gets for the name it asks for: that name, or, when
  // it holds a character no name may hold, is empty or is taken, a name
  // changed as little as will do ("name~2", "name~3", ...; an empty one
  // becomes `fallback`); `changed` then says so.
  std::string Take(std::string_view wanted, std::string_view fallback, bool& changed);

 private:
  static uint64_t Hash(std::string_view name);
  // Adds a hash; false when it is there already.
  bool Insert(uint64_t hash);

  std::vector<uint64_t> slots_;  // open addressing; 0 is an empty slot
  size_t count_ = 0;
};

}  // namespace quorvex
