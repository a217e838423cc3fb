// The desktop's trash, as file managers keep it and restore from it: a
// trash folder holds each file under files/NAME and what it was under
// info/NAME.trashinfo (its original path and when it was put there). A
// file goes into the trash of the user's home ($XDG_DATA_HOME/Trash, by
// default ~/.local/share/Trash) when it lies on that file system, else into
// the trash at the top of its own file system: $topdir/.Trash/UID when an
// administrator made $topdir/.Trash (a folder with the sticky bit), else
// $topdir/.Trash-UID, made when first needed; but none on a file system
// that file managers keep no trash on (one of the system's own, such as
// tmpfs, or one mounted at a system folder such as / or /tmp). A file never
// crosses file systems on its way into the trash.
#pragma once

#include <cstdint>
#include <string>

namespace quorvex {

// A file in a trash.
struct TTrashEntry {
  std::string Trash;  // the trash folder (its files/ and info/ inside)
  std::string Name;   // the file's name in files/ (and NAME.trashinfo in info/)
  uint64_t Dev = 0, Ino = 0;
  // The file's path in the trash.
  std::string File() const { return Trash + "/files/" + Name; }
  std::string Info() const { return Trash + "/info/" + Name + ".trashinfo"; }
};

// Puts the regular file at `path` into the trash that file managers list
// it in and restore it to `path` from. With `keepName` the file keeps its
// own name too (its name in the trash is a second name of it, a hard link):
// it stays where it is until it is replaced. Otherwise it is moved. 0 and
// the entry, or the system error number, nothing then in any trash: EXDEV
// when no trash on the file's file system can be had (none may be made at
// its top, or the home's cannot be made), EPERM or EOPNOTSUPP (as the
// system says) when `keepName` is asked where files have no second names.
[[nodiscard]] int PutInTrash(const std::string& path, bool keepName, TTrashEntry& entry);

// Takes an entry out of its trash: its info file and its name in files/,
// while that still leads to the file put there.
void RemoveFromTrash(const TTrashEntry& entry);

// Moves a file put into the trash back to `path` (where nothing may stand
// meanwhile) and removes its info file. 0, or the system error number (the
// entry then stays in the trash).
[[nodiscard]] int RestoreFromTrash(const TTrashEntry& entry, const std::string& path);

// The trash of the user's home: $XDG_DATA_HOME/Trash, or
// $HOME/.local/share/Trash; empty when neither is set to an absolute path.
std::string HomeTrash();

}  // namespace quorvex
