// Data packed with gzip, as drawings carry their images (no check here:
// empty on failure).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace qtest {

inline std::vector<uint8_t> Gzip(const std::vector<uint8_t>& data) {
  z_stream z{};
  if (deflateInit2(&z, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::vector<uint8_t> out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data()), z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data(), z.avail_out = static_cast<uInt>(out.size());
  const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
  out.resize(done ? z.total_out : 0);
  deflateEnd(&z);
  return out;
}

}  // namespace qtest
