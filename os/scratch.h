// The private scratch folder of a session, "quorvex-scratch-" and the rest
// of this program's form (os/leftovers.h), mode 0700, locked by its owner
// for its whole life, listed for removal by an interrupt, and removed with
// whatever is in it when the session ends. Those that ended processes left
// are swept away first.
#pragma once

#include <string>
#include <vector>

namespace quorvex {

// Folders a session's scratch folder may be made in, in the order tried:
// $XDG_RUNTIME_DIR, then $TMPDIR, then /tmp (unset or empty ones skipped).
std::vector<std::string> ScratchBases();

// Makes a folder of the scratch folders' form in the open folder baseFd
// with this mode (less the umask), locked by its descriptor and listed for
// removal by an interrupt: its name, descriptor and entry go to name, fd
// and slot. 0, or the system error number (nothing made then).
int MakeOwnFolder(int baseFd, unsigned mode, std::string& name, int& fd, int& slot);

class TScratchFolder {
 public:
  TScratchFolder() = default;
  ~TScratchFolder() { Remove(); }
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  // Sweeps away the scratch folders that ended processes left in base
  // (once per base and process), then makes a new one there. 0, or the system error number.
  [[nodiscard]] int Create(const std::string& base);
  // The same in the first of `bases` where a folder can be made. 0, or the
  // error of the last one tried.
  [[nodiscard]] int CreateInFirst(const std::vector<std::string>& bases);
  // Removes the folder with everything in it (nothing when there is none).
  void Remove();

  bool Exists() const { return fd_ >= 0; }
  // The folder's path with a trailing '/' (empty when there is none).
  const std::string& Path() const { return path_; }

 private:
  int baseFd_ = -1;
  int fd_ = -1;  // the folder itself: holds its lock
  int slot_ = -1;
  std::string name_;
  std::string path_;
};

}  // namespace quorvex
