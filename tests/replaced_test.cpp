// Outputs written over files in folders that several users share: which
// replaced files lend their mode to the new one, and that no hidden name is
// left where it could never be removed. The suite runs as root; a
// conversion by an ordinary user runs in a child process that has become
// one.
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "convert/session.h"
#include "os/outputfile.h"
#include "writer_util.h"

namespace qtest {
namespace {

// Two users who share the folders below.
constexpr uid_t kUserA = 4201, kUserB = 4202;

class ReplacedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as two users needs root";
    ASSERT_FALSE(tmp.Path().empty());
    ASSERT_EQ(::chmod(tmp.Path().c_str(), 0755), 0);
    TJwwData d = NewDrawing(600);
    AddToDrawing(d, MakeDimension(N(""), true));
    WriteFile(in, Serialize(d, 600));
    ASSERT_EQ(::chmod(in.c_str(), 0644), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(scratch.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(scratch.c_str(), 01777), 0);
  }

  // Puts a file of this user's (and of this group, by default the user's
  // own) with this mode at the output's name.
  void Plant(uid_t owner, mode_t mode, gid_t group = 0) {
    WriteFile(out, old);
    ASSERT_EQ(::chown(out.c_str(), owner, group ? group : owner), 0);
    ASSERT_EQ(::chmod(out.c_str(), mode), 0);
  }

  // Converts as this user with umask 022, the temporary output named or
  // not; the result's code and error number.
  std::pair<TConvertCode, int> ConvertAs(uid_t user, bool named) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(user) != 0 || ::setuid(user) != 0) ::_exit(255);
      ::umask(022);
      SetUnnamedOutputFiles(!named);
      TConversionSession session;
      session.StartUp({scratch});
      const TConvertResult r = session.ConvertDrawing(in, out);
      session.CleanUp();
      ::_exit(r.Code * 32 + (r.ErrorNumber & 31));
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255) {
      ADD_FAILURE() << "the child did not run as user " << user;
      return {crBadInput, 0};
    }
    return {static_cast<TConvertCode>(WEXITSTATUS(status) / 32), WEXITSTATUS(status) % 32};
  }

  struct stat Stat(const std::string& path) {
    struct stat st{};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
  }

  TempFolder tmp{MemoryBase()};
  const std::string in = tmp.File("in.jww"), shared = tmp.File("shared"), out = shared + "/out.jww",
                    scratch = tmp.File("scratch");
  const std::vector<uint8_t> old = {'O', 'L', 'D'};
};

TEST_F(ReplacedFiles, OnlyTheOwnersPermissionBitsAreCarried) {
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    // B plants a file open to all, set-user-ID and set-group-ID, in a
    // folder open to all; A converts to it. A's new file is A's and as A
    // makes new files: B cannot write into it.
    Plant(kUserB, 06777);
    ASSERT_EQ(ConvertAs(kUserA, named), std::make_pair(crDone, 0));
    struct stat st = Stat(out);
    EXPECT_EQ(st.st_uid, kUserA);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // A's own file keeps its permission bits, not its set-user-ID bit.
    Plant(kUserA, 04750);
    ASSERT_EQ(ConvertAs(kUserA, named), std::make_pair(crDone, 0));
    st = Stat(out);
    EXPECT_EQ(st.st_uid, kUserA);
    EXPECT_EQ(st.st_mode & 07777, 0750u);

    // A's own file of a group A is not in: the new file cannot have that
    // group, and A's own group gets no more than others had.
    Plant(kUserA, 0664, kUserB);
    ASSERT_EQ(ConvertAs(kUserA, named), std::make_pair(crDone, 0));
    st = Stat(out);
    EXPECT_EQ(st.st_gid, kUserA);
    EXPECT_EQ(st.st_mode & 07777, 0644u);

    // Root may give the new file the old one's owner and group: it then
    // takes that file's permission bits, and no special bit either.
    Plant(kUserB, 06640);
    TConversionSession session;
    session.StartUp({scratch});
    SetUnnamedOutputFiles(!named);
    ASSERT_EQ(session.ConvertDrawing(in, out).Code, crDone);
    SetUnnamedOutputFiles(true);
    st = Stat(out);
    EXPECT_EQ(st.st_uid, kUserB);
    EXPECT_EQ(st.st_gid, kUserB);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Names(shared), std::set<std::string>{"out.jww"});
  }
}

// In a folder with the sticky bit (as /tmp), A may not replace B's file,
// and may not remove a name of it either: the run fails, and leaves no
// hidden name of B's file behind that nobody could remove.
TEST_F(ReplacedFiles, NoHiddenNameIsLeftInAStickyFolder) {
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    Plant(kUserB, 0666);
    EXPECT_EQ(ConvertAs(kUserA, named), std::make_pair(crWriteFailed, EPERM));
    EXPECT_EQ(Names(shared), std::set<std::string>{"out.jww"});
    EXPECT_EQ(ReadFile(out), old);
    EXPECT_EQ(Stat(out).st_uid, kUserB);
  }
}

}  // namespace
}  // namespace qtest
