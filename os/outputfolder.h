// A folder of files that belongs to an output file (the images beside a
// DXF), written whole or not at all like the output itself. Its files are
// made in a folder of the scratch folders' form beside it (os/scratch.h:
// locked, listed for removal by an interrupt, swept away at a later run
// when a killed process left it), each one complete and synced; the folder
// takes its name only when the output is about to take its own. A folder
// that stood at the name changes places with the new one and is removed
// once the output has its name, or takes its name back when the output
// fails. Unless placed, the new folder goes with the object.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvex {

class TOutputFolder {
 public:
  TOutputFolder() = default;
  ~TOutputFolder();
  TOutputFolder(const TOutputFolder&) = delete;
  TOutputFolder& operator=(const TOutputFolder&) = delete;

  // Makes the folder to fill beside `path`, the folder to be. Whatever
  // stands at the path must be nothing, or a folder that holds nothing but
  // regular files whose names `replaceable` accepts (the files a run of
  // this program put there): anything else is the user's and is never
  // replaced (ENOTDIR for something that is no folder, ENOTEMPTY for a
  // folder that holds anything else). 0, or the system error number.
  [[nodiscard]] int Open(const std::string& path, bool (*replaceable)(std::string_view name));
  // Writes a file into the folder, complete and synced. 0, or the system
  // error number.
  [[nodiscard]] int Add(const std::string& name, const void* data, size_t size);
  // Gives the folder its name: syncs it, then swaps it with the folder that
  // stands there (kept under the new folder's old name) or renames it. 0,
  // or the system error number (nothing changed then).
  [[nodiscard]] int Place();
  // Undoes Place: the folder that stood there takes its name back (or the
  // name goes again), the new one its hidden name, to go with the object.
  // Where the disk refuses that (three times), the new folder stays and the
  // one that stood there is kept, never removed.
  void Unplace();

 private:
  void RemoveNew();
  void RemoveOld();

  int parentFd_ = -1;
  std::string leaf_;      // the folder's name in its parent
  std::string newName_;   // the new folder's name while it is not placed
  int newFd_ = -1;        // holds its lock
  int newSlot_ = -1;      // its entry in the removal on interrupt
  bool replacing_ = false;  // a folder stands at the name
  bool lendsMode_ = false;  // it is this user's: its permission bits go to the new one
  unsigned oldMode_ = 0;
  std::string oldName_;   // once placed: the name the replaced folder has now
  int oldFd_ = -1;        // the replaced folder, locked while it is kept
  int oldSlot_ = -1;      // its entry in the removal on interrupt
  bool placed_ = false;
  bool keepOld_ = false;  // the name could not be given back: the replaced folder stays
};

}  // namespace quorvex
