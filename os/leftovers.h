// What this program leaves in a folder while it works, and the sweeping
// away of what ended processes left: scratch folders and hidden temporary
// outputs, each named by this program in a form of its own (a fixed tag
// and the process's id, leftovers.cpp), which no user's file carries by
// accident.
//
// A sweep removes only what has that whole form, belongs to this user, is
// of the right type (a folder, a regular file) and whose lock (flock) it
// can take: the name is the proof that this program made it, and is checked
// before anything inside a folder is touched; the lock, held by its owner
// for its whole life, shows that the owner has ended. So a live session's
// folder or output is never touched, while those of a killed or crashed
// process go at the next run in the same place.
#pragma once

#include <string>

namespace quorvex {

enum class TLeftover {
  kScratchFolder,  // "quorvex-scratch-" and the rest of the form, a folder
  kHiddenOutput,   // ".quorvex-output-" likewise, a regular file
};

// How many names are tried before making a file or folder gives up.
constexpr int kNameTries = 100;

// A new name of this kind, its last part random.
std::string RandomName(TLeftover kind);

// Takes the lock of a folder or file that this process has just made as
// parent/name, and checks that the name still leads to it. 0; or EAGAIN
// when a sweeper that came between the making and the locking holds the
// lock or has removed it (the caller makes another); or the system error
// number when it cannot be looked at (the caller removes it and fails). On
// a file system without locks it stays unlocked: a sweeper cannot lock it
// there either, so never removes it.
[[nodiscard]] int LockNew(int parentFd, const std::string& name, int fd);

// Removes from a folder the leftovers of this kind: names of this
// program's form that belong to this user and whose lock nobody holds
// (their owners have ended). Anything else is never opened.
void SweepLeftovers(int folderFd, TLeftover kind);

// The same, once per folder, kind and process: a batch writing many
// drawings into one folder, or making a scratch folder for each of its
// jobs in one place, reads it once.
void SweepOnce(int folderFd, TLeftover kind);

}  // namespace quorvex
