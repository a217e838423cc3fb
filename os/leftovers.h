// What this program leaves in a folder while it works, and the sweeping
// away of what ended processes left: scratch folders ("quorvex-" and six
// letters or digits) and hidden temporary outputs (".quorvex-" and six).
//
// Each of them is locked (flock) by its owner for its whole life; a run
// removes only those whose lock it can take, so a live session's folder or
// output is never touched, while those of a killed or crashed process go at
// the next run in the same place.
#pragma once

#include <string>

namespace quorvex {

enum class TLeftover {
  kScratchFolder,  // "quorvex-XXXXXX", a folder
  kHiddenOutput,   // ".quorvex-XXXXXX", a regular file
};

// How many names are tried before making a file or folder gives up.
constexpr int kNameTries = 100;

// A new random name of this kind.
std::string RandomName(TLeftover kind);

// Takes the lock of a folder or file that this process has just made as
// parent/name, and checks that the name still leads to it: a sweeper that
// came between the making and the locking holds the lock, or has removed
// it. False then; the caller makes another. On a file system without locks
// it stays unlocked: a sweeper cannot lock it there either, so never
// removes it.
bool LockNew(int parentFd, const std::string& name, int fd);

// Removes from a folder the leftovers of this kind that belong to this
// user and whose lock nobody holds: their owners have ended.
void SweepLeftovers(int folderFd, TLeftover kind);

// The same for the hidden outputs in an output folder, once per folder and
// process: a batch writing many drawings into one folder reads it once.
void SweepOutputFolderOnce(int folderFd);

}  // namespace quorvex
