// A library the tests preload into a program (LD_PRELOAD) to make it meet
// failures that come from outside its own code, as QUORVEX_LOAD_FAULT says:
//   exit    while the libraries start, "Out of memory" and exit(1), as
//           libgomp does when its first allocation fails
//   throw   while the libraries start, a std::bad_alloc that nothing
//           catches, as Qt's start-up code throws one
//   iconv   the C library's converters cannot be loaded (iconv_open fails
//           with EINVAL, as when their modules are not installed)
//   iconv-once  the first iconv_open fails (EINVAL, as when a read of a
//           module file failed once), later ones load
//   iconv-nomem  iconv_open fails with ENOMEM, as without memory for the
//           converter
//   zlib    zlib has no memory for inflating (inflateInit2_ gives
//           Z_MEM_ERROR)
#include <dlfcn.h>
#include <iconv.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

bool Fault(const char* name) {
  const char* fault = std::getenv("QUORVEX_LOAD_FAULT");
  return fault && std::strcmp(fault, name) == 0;
}

__attribute__((constructor)) void AtLoad() {
  if (Fault("exit")) {
    std::fputs("library: Out of memory allocating 8 bytes\n", stderr);
    std::exit(1);
  }
  if (Fault("throw")) throw std::bad_alloc();
}

}  // namespace

extern "C" iconv_t iconv_open(const char* to, const char* from) {
  static bool failedOnce = false;
  if (Fault("iconv") || (Fault("iconv-once") && !failedOnce) || Fault("iconv-nomem")) {
    failedOnce = true;
    errno = Fault("iconv-nomem") ? ENOMEM : EINVAL;
    return reinterpret_cast<iconv_t>(-1);
  }
  using TOpen = iconv_t (*)(const char*, const char*);
  return reinterpret_cast<TOpen>(::dlsym(RTLD_NEXT, "iconv_open"))(to, from);
}

extern "C" int inflateInit2_(z_streamp strm, int windowBits, const char* version, int streamSize) {
  if (Fault("zlib")) return Z_MEM_ERROR;
  using TInit = int (*)(z_streamp, int, const char*, int);
  return reinterpret_cast<TInit>(::dlsym(RTLD_NEXT, "inflateInit2_"))(strm, windowBits, version, streamSize);
}
