#include "testutil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace qtest {

std::string RealDir() {
  const std::string dir = QUORVEX_REAL_DIR;
  struct stat st{};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? dir + "/" : std::string();
}

std::vector<std::string> RealDrawings() {
  std::vector<std::string> out;
  const std::string dir = RealDir();
  if (dir.empty()) return out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".jww") == 0) out.push_back(dir + n);
    }
    ::closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string ScratchFile(const TKeptImages& kept, const JwwString& name) {
  for (const TBindImageType& e : kept.Store.BoundImages)
    if (e.FileName == name) return e.ScratchNumber == 0 ? std::string() : kept.Files.PathOf(e.ScratchNumber);
  return {};
}

std::vector<uint8_t> ScratchBytes(const TImageStore& store, const JwwString& name) {
  std::vector<uint8_t> bytes;
  for (const TBindImageType& e : store.BoundImages) {
    if (e.FileName != name) continue;
    if (store.KeptBytes(e, bytes) != 0) bytes.clear();
    break;
  }
  return bytes;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0;
}

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.insert(e.path().filename().string());
  return names;
}

std::set<std::string> Tree(const std::string& root) {
  std::set<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root))
    out.insert(e.path().lexically_relative(root));
  return out;
}

namespace {

// Whether the system's locales, as `locale -a` lists them, hold this one
// ("ja_JP.utf8").
bool SystemHasLocale(const std::string& name) {
  FILE* f = ::popen("locale -a 2>/dev/null", "r");
  if (!f) return false;
  std::string all;
  for (int c; (c = std::fgetc(f)) != EOF;) all += char(c);
  ::pclose(f);
  return ("\n" + all).find("\n" + name + "\n") != std::string::npos;
}

// The locales made for the tests, or nothing: in a folder of the build tree,
// each made under a name of this process's own and then moved into place,
// so that tests running at once share them.
std::optional<std::string> MadeLocales() {
  const std::string folder = QUORVEX_TEST_LOCALES_DIR;
  std::filesystem::create_directories(folder);
  for (const char* name : {"ja_JP", "de_DE"}) {
    const std::string target = folder + "/" + name + ".UTF-8";
    if (FileExists(target + "/LC_CTYPE")) continue;
    const std::string made = target + ".made-" + std::to_string(::getpid());
    const std::string command =
        "localedef -i " + std::string(name) + " -f UTF-8 '" + made + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
      // Warnings end it with 1, yet it made the locale: its files tell.
    }
    std::error_code e;
    if (FileExists(made + "/LC_CTYPE")) std::filesystem::rename(made, target, e);
    std::filesystem::remove_all(made, e);
    if (!FileExists(target + "/LC_CTYPE")) return std::nullopt;
  }
  return folder;
}

}  // namespace

std::optional<std::string> TestLocaleFolder() {
  static const std::optional<std::string> folder =
      SystemHasLocale("ja_JP.utf8") && SystemHasLocale("de_DE.utf8") ? std::optional<std::string>("")
                                                                     : MadeLocales();
  return folder;
}

std::optional<std::string> TestLocales() {
  const std::optional<std::string> folder = TestLocaleFolder();
  if (!folder) return std::nullopt;
  return folder->empty() ? std::string() : "LOCPATH='" + *folder + "' ";
}

std::string MemoryBase() {
  struct stat st{};
  return ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm"
                                                                                                       : "";
}

TempFolder::TempFolder(const std::string& folder) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = !folder.empty() ? folder : tmp && *tmp ? tmp : "/tmp";
  std::string pattern = base + "/quorvex-test-XXXXXX";
  if (::mkdtemp(pattern.data())) path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> Serialize(TJwwData& d, int32_t version, TImageStore* images) {
  std::vector<uint8_t> bytes = builder::Serialize(d, version, images);
  EXPECT_FALSE(bytes.empty());
  return bytes;
}

TJwwData Parse(const std::vector<uint8_t>& bytes, bool* ok, TImageStore* images) {
  TJwwData d;
  const bool r = d.ReadBytes(bytes.data(), bytes.size(), images);
  if (ok) *ok = r;
  return d;
}

}  // namespace qtest
