#include "os/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace quorvex {
namespace {

constexpr int kModuleLoadAttempts = 3;

}  // namespace

std::string ProgramFolder() {
  std::vector<char> path(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      const std::string file(path.data(), static_cast<size_t>(n));
      const size_t slash = file.rfind('/');
      return slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
    }
    if (path.size() >= (1u << 20)) return {};
    path.resize(path.size() * 2);
  }
}

void* ModuleSymbol(const std::string& path, const char* symbol, std::string& error) {
  // The loader's error text belongs to the thread; loads are one at a time.
  static std::mutex loading;
  std::lock_guard<std::mutex> lock(loading);
  // Loaded once and never unloaded: a library's threads and its handlers of
  // the process's end stay valid.
  // A load that failed is tried again: the loader gives up on the first
  // failed call of its own (an interrupted close, a read the disk failed
  // once), and it undoes a failed load whole. Its reason is the last try's.
  void* library = nullptr;
  for (int attempt = 0; attempt < kModuleLoadAttempts && !library; ++attempt) {
    library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = ::dlerror();
      error = why ? why : path + ": cannot be loaded";
    }
  }
  if (!library) return nullptr;
  ::dlerror();
  void* found = ::dlsym(library, symbol);
  if (!found) {
    const char* why = ::dlerror();
    error = why ? why : path + ": no " + symbol;
  }
  return found;
}

}  // namespace quorvex
