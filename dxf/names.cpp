#include "dxf/names.h"

#include <cstdint>
#include <string_view>

#include "text/utf8.h"

namespace quorvex {
namespace {

constexpr std::string_view kForbidden = "<>/\\\":;?*|=`";

char32_t Lower(char32_t c) {
  if (c >= U'A' && c <= U'Z') return c + 0x20;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;                // full-width Latin
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;     // Latin-1
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;    // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                  // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

}  // namespace

std::string AllowedTableName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || kForbidden.find(c) != std::string_view::npos) c = '_';
  return out;
}

std::string NameKey(std::string_view name) {
  std::string key;
  key.reserve(name.size());
  for (size_t i = 0; i < name.size();) AppendUtf8(key, Lower(NextUtf8(name, i)));
  return key;
}

uint64_t TTableNames::Hash(std::string_view name) {
  uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : NameKey(name)) h = (h ^ c) * 1099511628211ull;
  return h != 0 ? h : 1;  // 0 marks an empty slot
}

void TTableNames::SizeFor(size_t names) {
  if (slots_.size() >= 2 * names) return;
  std::vector<uint64_t> old;
  old.swap(slots_);
  size_t size = 16;
  while (size < 2 * names) size *= 2;
  slots_.assign(size, 0);
  count_ = 0;
  for (uint64_t h : old)
    if (h != 0) Insert(h);
}

bool TTableNames::Insert(uint64_t hash) {
  if (2 * (count_ + 1) > slots_.size()) SizeFor(count_ + 1);
  const size_t mask = slots_.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    if (slots_[at] == hash) return false;
    if (slots_[at] == 0) {
      slots_[at] = hash;
      ++count_;
      return true;
    }
  }
}

std::string TTableNames::Take(std::string_view wanted, std::string_view fallback, bool& changed) {
  std::string name = AllowedTableName(wanted);
  changed = name != wanted || name.empty();
  if (name.empty()) name = fallback;
  std::string chosen = name;
  for (int n = 2; !Insert(Hash(chosen)); ++n) {
    chosen = name + "~" + std::to_string(n);
    changed = true;
  }
  return chosen;
}

}  // namespace quorvex
