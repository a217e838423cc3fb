// Helpers shared by the tests: drawings built in memory, files and folders.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "jww/archive.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"

namespace qtest {

using namespace quorvex;

// True in the sanitizer build, whose own memory and address space would be
// measured by tests of the program's.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The folder of the real drawings saved by the CAD program, or "" when it is
// not there.
std::string RealDir();
// All real drawings (full paths), sorted; empty when the folder is absent.
std::vector<std::string> RealDrawings();
#define QUORVEX_REQUIRE_REAL()                                                              \
  do {                                                                                      \
    if (qtest::RealDir().empty()) GTEST_SKIP() << "real drawings folder ../shared/real is absent"; \
  } while (0)

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

// The bytes of the scratch file of the first entry of this name in the
// store; empty when there is none.
std::vector<uint8_t> ScratchBytes(const TImageStore& store, const JwwString& name);

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder's path with a trailing '/'.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// A new empty drawing of this version with its settings tables sized.
TJwwData NewDrawing(int32_t version);

// The bytes of the drawing written as a file of the given version
// (fallbacks 1 and 1).
std::vector<uint8_t> Serialize(TJwwData& d, int32_t version, TImageStore* images = nullptr);
// Reads bytes into a fresh drawing; the result of the read goes to *ok.
TJwwData Parse(const std::vector<uint8_t>& bytes, bool* ok, TImageStore* images = nullptr);

// Record makers with plausible attributes (colour 1, line type 1, layer 0).
TEntJwwLine MakeLine(double x1, double y1, double x2, double y2);
TEntJwwArc MakeArc(double cx, double cy, double r);
TEntJwwPoint MakePoint(double x, double y);
TEntJwwText MakeText(const JwwString& text);
TEntJwwSolid MakeSolid();
TEntJwwBlockRef MakeBlockRef(int32_t number, double x = 0, double y = 0);
// A dimension with this value text; with parts, two auxiliary lines of
// length 5 and four points.
TEntJwwDimension MakeDimension(const JwwString& value, bool withParts);

// Appends a record to a store (the drawing or a block definition) and its
// item to the order list, keeping counts and entityCount in step.
template <class R>
void Add(TEntJwwStore& s, int32_t& entityCount, const R& r) {
  AppendEntity(s, entityCount, r);
}
template <class R>
void AddToDrawing(TJwwData& d, const R& r) {
  Add(d, d.Header.EntityCount, r);
}
// Appends an empty block definition with this number and name; returns it.
TEntJwwBlockDef& AddBlockDef(TJwwData& d, int32_t number, const JwwString& name);

JwwString N(const std::string& bytes);      // narrow
JwwString W(const std::u16string& units);   // wide

}  // namespace qtest
