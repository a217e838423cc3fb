// Helpers shared by the tests: files and folders, drawings written and
// read in memory; drawings are built with jww/builder.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "convert/scratchimages.h"
#include "jww/archive.h"
#include "jww/builder.h"
#include "jww/images.h"
#include "jww/jwwunit.h"
#include "jww/kinds.h"

namespace qtest {

using namespace quorvex;
using namespace quorvex::builder;

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
// The names in a folder.
std::set<std::string> Names(const std::string& folder);
// Every path below `root` (relative, folders included).
std::set<std::string> Tree(const std::string& root);

// An image store whose images are kept as a conversion keeps them: a file
// each in a folder (given with its trailing '/').
struct TKeptImages {
  explicit TKeptImages(const std::string& folder) : Files(folder) { Store.Keeper = &Files; }
  TKeptImages(const TKeptImages&) = delete;
  TKeptImages& operator=(const TKeptImages&) = delete;
  TScratchImages Files;
  TImageStore Store;
};

// The path of the scratch file of the first entry of this name in the
// store; "" when there is none.
std::string ScratchFile(const TKeptImages& kept, const JwwString& name);
// The kept bytes of that entry; empty when there are none.
std::vector<uint8_t> ScratchBytes(const TImageStore& store, const JwwString& name);

// The environment settings (NAME=value, space-separated, ending in a space)
// under which a program finds the locales ja_JP.UTF-8 and de_DE.UTF-8: ""
// where the system has them, else LOCPATH for a folder of the build tree
// where localedef (Debian's locales) made them once; nothing when they
// cannot be had.
std::optional<std::string> TestLocales();
// The folder of those made by localedef, for LOCPATH; "" when the system's
// own are used; nothing when they cannot be had.
std::optional<std::string> TestLocaleFolder();

// A folder in memory (/dev/shm) where there is a writable one, else "":
// for tests that sync hundreds of files, which no disk need see.
std::string MemoryBase();

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
class TempFolder {
 public:
  TempFolder() : TempFolder(std::string()) {}
  // The same under `base` (empty: the system's temporary directory).
  explicit TempFolder(const std::string& base);
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder's path with a trailing '/'.
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// The bytes of the drawing written as a file of the given version
// (builder::Serialize), the write expected to succeed.
std::vector<uint8_t> Serialize(TJwwData& d, int32_t version, TImageStore* images = nullptr);
// Reads bytes into a fresh drawing; the result of the read goes to *ok.
TJwwData Parse(const std::vector<uint8_t>& bytes, bool* ok, TImageStore* images = nullptr);

}  // namespace qtest
