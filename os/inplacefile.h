// Writing into the file a caller made for the output. A program that runs
// a thumbnailer (a file manager's thumbnail service) makes the output file
// itself, keeps it open and reads the picture back through its own
// descriptor: the bytes must go into that very file, not into a new one
// that takes its name.
#pragma once

#include <cstddef>
#include <string>

namespace quorvex {

// Writes `size` bytes as the whole content of the file at `path`. When a
// regular file with no other name stands there (a link is not followed), it
// stays the same file: emptied, then written, its mode and owner kept, not
// synced. Anything else at the path (nothing, a symbolic link, a pipe, a
// device, a file with other names too) gets the bytes through
// WriteFileDurably instead, as a new file that takes the name. 0, or the
// system error number; a file written into is left empty after a failure,
// never half written.
[[nodiscard]] int WriteFileInPlace(const std::string& path, const void* data, size_t size);

}  // namespace quorvex
