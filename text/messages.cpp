#include "text/messages.h"

#include <libintl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace quorvex {

const char* Tr(const char* english) { return ::dgettext(QUORVEX_TEXT_DOMAIN, english); }

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = nullptr;
  const int n = ::vasprintf(&text, format, args);
  va_end(args);
  std::string out = n >= 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
  std::free(text);
  return out;
}

const char* TrCount(const char* one, const char* many, int64_t count) {
  return ::dngettext(QUORVEX_TEXT_DOMAIN, one, many, count < 0 ? 2ul : static_cast<unsigned long>(count));
}

}  // namespace quorvex
