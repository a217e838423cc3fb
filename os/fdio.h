// Small helpers over file descriptors and paths: a descriptor that closes
// itself, writing and reading all of a buffer, opening a regular file for
// reading, making a new file, and removing a name by identity or a
// folder's whole contents (those two safe in a signal handler).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct stat;

namespace quorvex {

// A descriptor, closed when the object goes.
class TFd {
 public:
  TFd() = default;
  explicit TFd(int fd) : fd_(fd) {}
  ~TFd() { Close(); }
  TFd(TFd&& other) noexcept : fd_(other.Release()) {}
  TFd& operator=(TFd&& other) noexcept {
    if (this != &other) {
      Close();
      fd_ = other.Release();
    }
    return *this;
  }

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Hands the descriptor over: the object no longer closes it.
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Close();

 private:
  int fd_ = -1;
};

// Closes the descriptor, if any, and sets it to -1.
void CloseFd(int& fd);

// Writes all `size` bytes to the descriptor, again after an interruption.
// 0, or the system error number (EIO when the system takes nothing and
// names no error).
[[nodiscard]] int WriteAll(int fd, const void* data, size_t size);

// Reads up to `size` bytes from the descriptor's position, again after an
// interruption; how many came goes to `got` (0 at the end of the file).
// 0, or the system error number.
[[nodiscard]] int ReadSome(int fd, void* data, size_t size, size_t& got);

// Opens a regular file for reading (a symbolic link is followed only with
// followLinks) and gives its size. Anything else (a pipe, a device, a
// socket) is refused by its type before it is opened, and the opening never
// waits. 0, or the system error number: EISDIR for a folder, ELOOP for a
// link not followed, EINVAL for anything else that is not a regular file.
[[nodiscard]] int OpenRegularFile(const std::string& path, bool followLinks, TFd& fd, uint64_t& size);

// Reads a whole regular file (a link is not followed) into `out`. 0, or the
// system error number (OpenRegularFile's for what is no regular file,
// EFBIG for one larger than memory can hold).
[[nodiscard]] int ReadRegularFile(const std::string& path, std::vector<uint8_t>& out);

// Makes a new file for writing (mode 0644 less the umask); an old file or
// link of that name is removed first, never followed. 0, or the system
// error number.
[[nodiscard]] int CreateNewFile(const std::string& path, TFd& fd);

// Closes a file that was written; 0, or the error the closing reports.
[[nodiscard]] int CloseWritten(TFd& fd);

// Removes a file's name (nothing when there is none).
void RemoveFile(const std::string& path);

// Whether nothing stands at the path (a link is not followed): false too
// when it cannot be looked at (a failing disk), which is no proof of that.
bool PathMissing(const std::string& path);

// Looks at a name in a folder (a link is not followed), or at an open file,
// again after a failure that may pass (a disk or memory that failed for a
// moment). 0, or the system error number (ENOENT or ENOTDIR: nothing
// stands there). Safe in a signal handler.
[[nodiscard]] int LookAt(int parentFd, const char* name, struct stat& st);
[[nodiscard]] int LookAt(int fd, struct stat& st);

// Whether two paths lead to one file (links followed): false when either
// leads nowhere.
bool SameFile(const std::string& a, const std::string& b);

// What tells one file from another: its device and inode.
struct TFileId {
  uint64_t Dev = 0, Ino = 0;
  bool operator==(const TFileId&) const = default;
};
// The file that stands at a path (a link followed only when `followLinks`),
// or nothing.
std::optional<TFileId> FileAt(const std::string& path, bool followLinks);

// The size of the regular file a path leads to (links followed), or nothing
// when it leads to no regular file.
std::optional<uint64_t> RegularFileSize(const std::string& path);

// Whether a path leads to a folder (links followed): 0, ENOTDIR when
// something else stands there, or the system error number (ENOENT: nothing
// stands there).
[[nodiscard]] int FolderAt(const std::string& path);

// Looks at the regular file a path leads to (links followed). 0 and its
// size, or the system error number: ENOENT or ENOTDIR when nothing stands
// there, EISDIR for a folder, EINVAL for anything else that is no regular
// file, or why it could not be looked at (EIO, EACCES, ...).
[[nodiscard]] int RegularFileAt(const std::string& path, uint64_t& size);
// Whether such an error number says that the path names no regular file,
// rather than that it could not be looked at.
bool NamesNoRegularFile(int err);

// Removes a name in a folder only while it still leads to this file.
void RemoveIfSame(int parentFd, const char* name, uint64_t dev, uint64_t ino);
// Removes a name in a folder, whatever it leads to (a name this process
// made itself), again after a failure that may pass.
void RemoveName(int parentFd, const char* name);

// Unlinks every entry of an open folder; safe in a signal handler. The
// folder is read again from its start while a pass still removes something
// (removing while reading may skip entries).
void EmptyFolder(int fd);

}  // namespace quorvex
