#include "text/messages.h"

#include <libintl.h>

namespace quorvex {

const char* Tr(const char* english) { return ::dgettext(QUORVEX_TEXT_DOMAIN, english); }

const char* TrCount(const char* one, const char* many, int64_t count) {
  return ::dngettext(QUORVEX_TEXT_DOMAIN, one, many, count < 0 ? 2ul : static_cast<unsigned long>(count));
}

}  // namespace quorvex
