#include "os/language.h"

#include <libintl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <string>

namespace quorvex {
namespace {

// The folder of the message catalogs: share/locale as installed beside the
// program's own folder (so in a build tree and under any prefix), else the
// one of the prefix the programs were built for.
std::string CatalogFolder() {
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    std::string folder(exe, static_cast<size_t>(n));
    folder = folder.substr(0, folder.rfind('/') + 1) + QUORVEX_LOCALE_FROM_PROGRAM;
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return folder;
  }
  return QUORVEX_LOCALE_DIR;
}

}  // namespace

void UseUsersLanguage() {
  std::setlocale(LC_ALL, "C");
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  static const std::string folder = CatalogFolder();
  ::bindtextdomain(QUORVEX_TEXT_DOMAIN, folder.c_str());
}

}  // namespace quorvex
