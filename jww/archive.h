// Archive primitives shared by the reader and the writer: archive strings
// (narrow and wide), object counts, class tags and the class numbering that
// runs across every list of one file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bytes/writer.h"
#include "jww/cursor.h"
#include "text/jwwstring.h"

namespace quorvex {

// Class numbers 1..7 are the entity kinds; 8 is the block definition.
constexpr int kBlockDefClass = 8;
constexpr size_t kMaxClassNameLength = 2048;
// The 16-bit length after 0xFF that announces a wide (UTF-16LE) string.
constexpr uint16_t kWideStringMarker = 0xFFFE;

// The stored class name of each kind (index = kind code; 8 = block definition).
std::string_view ClassName(int kind);
// The kind whose class name this is, or 0 for a name of none of the seven
// entity kinds.
int KindOfClassName(std::string_view name);

// ---- reading ----

// Reads an archive string in either form; a short read fails the cursor.
JwwString ReadArchiveString(ByteCursor& c);
// The same, passed through CleanArchiveText.
JwwString ReadCleanString(ByteCursor& c);
// Steps over an archive string in either form.
void SkipArchiveString(ByteCursor& c);
// A 16-bit count, or 0xFFFF followed by a 32-bit count.
uint32_t ReadObjectCount(ByteCursor& c);

// The numbering state of one file: the next object number and the class
// number given to each kind, shared by all lists of the file.
struct TArchiveNumbering {
  uint32_t NextObject = 1;
  std::array<uint32_t, 9> ClassOf{};  // index: kind 1..7, 8 = block definition

  void Reset() { *this = TArchiveNumbering(); }
};

// Reads an object's class tag and returns the entity kind (1..7) it names.
// A newly named class takes the next object number. Returns 0, with the
// cursor failed, for an unknown class, a tag that names no known class, a
// class name longer than kMaxClassNameLength, or a short read.
int ReadEntityClassTag(ByteCursor& c, TArchiveNumbering& n);
// Reads the class tag in front of a block definition. The class name is not
// looked at; a new class still takes an object number.
void ReadBlockDefClassTag(ByteCursor& c, TArchiveNumbering& n);

// ---- writing ----

// Writes an archive string in the form it holds; a string too long for its
// form fails the writer (EINVAL): 65,534 narrow bytes would read back as a
// wide string, and no form holds more than 65,535 units.
void WriteArchiveString(TArchiveWriter& w, const JwwString& s);
void WriteObjectCount(TArchiveWriter& w, uint32_t count);
void WriteClassReference(TArchiveWriter& w, uint32_t index);
void WriteNewClass(TArchiveWriter& w, uint16_t schema, std::string_view name);
// Writes the class tag of an object of this kind (1..7, or kBlockDefClass):
// the first object of a kind in the file names its class, which takes the
// next object number; later ones refer to it.
void WriteClassTag(TArchiveWriter& w, TArchiveNumbering& n, int kind, uint16_t schema);

}  // namespace quorvex
