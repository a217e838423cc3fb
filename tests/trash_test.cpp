// Drawings a conversion replaces (as the window converts: TConvertOptions::
// KeepReplaced), kept where a user finds them again: in the desktop's
// trash as file managers keep it, or beside the output as NAME~ where no
// trash can take them; and never lost, whichever way the writing ends.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>

#include "convert/session.h"
#include "faulty_fileops.h"
#include "os/outputfile.h"
#include "os/trash.h"
#include "writer_util.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// The output of a command, and its status in *status.
std::string Output(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int s = ::pclose(p);
  if (status) *status = s;
  return out;
}

// An environment variable set for a test's life, then as it was.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() {
    if (had_) ::setenv(name_, old_.c_str(), 1);
    else ::unsetenv(name_);
  }
  TScopedEnv(const TScopedEnv&) = delete;
  TScopedEnv& operator=(const TScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

class KeptFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp.Path().empty());
    fs::create_directories(folder);
    TJwwData d = NewDrawing(600);
    AddToDrawing(d, MakeDimension(N(""), true));
    WriteFile(in, Serialize(d, 600));
    // What the conversion writes, into a name where nothing stood.
    ASSERT_EQ(session.ConvertDrawing(in, tmp.File("fresh.jww")).Code, crDone);
    converted = ReadFile(tmp.File("fresh.jww"));
    WriteFile(out, old);
  }

  TConvertResult Convert() {
    TConvertOptions options;
    options.KeepReplaced = true;
    return session.ConvertDrawing(in, out, options);
  }

  // The trash's entries by name (files/), and its info files.
  std::set<std::string> Trashed() const { return fs::exists(trash + "/files") ? Names(trash + "/files") : std::set<std::string>{}; }
  std::set<std::string> Infos() const { return fs::exists(trash + "/info") ? Names(trash + "/info") : std::set<std::string>{}; }

  // The trash cannot be made: a file stands where its folder would.
  void SpoilTheTrash() {
    fs::remove_all(trash);
    fs::create_directories(data);
    WriteFile(trash, Bytes("not a folder"));
  }

  TempFolder tmp;
  const std::string data = tmp.File("data"), trash = data + "/Trash";
  TScopedEnv dataHome{"XDG_DATA_HOME", data};
  const std::string in = tmp.File("in.jww"), folder = tmp.File("図面 (1)");
  const std::string out = folder + "/出力 50%.jww";
  const std::vector<uint8_t> old = Bytes("the drawing that stood there");
  std::vector<uint8_t> converted;
  TConversionSession session;
};

TEST_F(KeptFiles, TheReplacedDrawingGoesToTheTrashAsFileManagersKeepIt) {
  const TConvertResult r = Convert();
  ASSERT_EQ(r.Code, crDone);
  EXPECT_EQ(ReadFile(out), converted);
  EXPECT_EQ(r.Kept.Where, TKeptIn::kTrash);
  EXPECT_EQ(r.Kept.Path, trash + "/files/出力 50%.jww");
  EXPECT_EQ(ReadFile(r.Kept.Path), old);
  // Its original path, every byte but the plain ones escaped, and when.
  const std::string info = Text(ReadFile(trash + "/info/出力 50%.jww.trashinfo"));
  const std::string escaped = std::regex_replace(tmp.Path(), std::regex("/$"), "") +
                              "/%E5%9B%B3%E9%9D%A2%20%281%29/%E5%87%BA%E5%8A%9B%2050%25.jww";
  EXPECT_TRUE(std::regex_match(info, std::regex("\\[Trash Info\\]\nPath=" + escaped +
                                                "\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n")))
      << info;
  // Nothing else beside the output.
  EXPECT_EQ(Names(folder), std::set<std::string>{"出力 50%.jww"});

  // Replaced again: the trash holds both, the later under a name of its own.
  WriteFile(out, Bytes("second"));
  const TConvertResult again = Convert();
  ASSERT_EQ(again.Code, crDone);
  EXPECT_EQ(again.Kept.Path, trash + "/files/出力 50%.2.jww");
  EXPECT_EQ(Text(ReadFile(again.Kept.Path)), "second");
  EXPECT_EQ(Trashed(), (std::set<std::string>{"出力 50%.jww", "出力 50%.2.jww"}));
  EXPECT_EQ(Infos(), (std::set<std::string>{"出力 50%.jww.trashinfo", "出力 50%.2.jww.trashinfo"}));

  // A name where nothing stood, and a conversion that does not keep (the
  // command line's), leave the trash alone.
  TConvertOptions keep;
  keep.KeepReplaced = true;
  EXPECT_EQ(session.ConvertDrawing(in, tmp.File("new.jww"), keep).Kept.Where, TKeptIn::kNothing);
  EXPECT_EQ(session.ConvertDrawing(in, out).Kept.Where, TKeptIn::kNothing);
  EXPECT_EQ(Trashed().size(), 2u);
}

// A file manager's own tools list the entries with their original paths,
// and restore them there.
TEST_F(KeptFiles, TheTrashCliListsAndRestoresWhatWasTrashed) {
  if (Output("command -v trash-list trash-restore").empty()) GTEST_SKIP() << "trash-cli is not installed";
  ASSERT_EQ(Convert().Kept.Where, TKeptIn::kTrash);
  const std::string listed = Output("trash-list 2>&1");
  EXPECT_TRUE(std::regex_search(listed, std::regex("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d " + tmp.Path() +
                                                   "図面 \\(1\\)/出力 50%\\.jww$",
                                                   std::regex::multiline)))
      << listed;
  // Restored over nothing: the converted drawing moved aside first.
  fs::rename(out, tmp.File("converted.jww"));
  int status = -1;
  Output("cd '" + folder + "' && echo 0 | trash-restore 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(out), old);
  EXPECT_TRUE(Trashed().empty());
}

TEST_F(KeptFiles, WhereNoTrashCanBeMadeTheOldDrawingStaysBesideItAsABackup) {
  SpoilTheTrash();
  TConvertResult r = Convert();
  ASSERT_EQ(r.Code, crDone);
  EXPECT_EQ(ReadFile(out), converted);
  EXPECT_EQ(std::tuple(r.Kept.Where, r.Kept.Path), std::tuple(TKeptIn::kBackup, out + "~"));
  EXPECT_NE(r.Kept.TrashError, 0);
  EXPECT_EQ(ReadFile(out + "~"), old);
  // The next replacement makes the backup the drawing it replaces, as cp
  // --backup does; no hidden name is left.
  WriteFile(out, Bytes("second"));
  r = Convert();
  EXPECT_EQ(r.Kept.Where, TKeptIn::kBackup);
  EXPECT_EQ(Text(ReadFile(out + "~")), "second");
  EXPECT_EQ(Names(folder), (std::set<std::string>{"出力 50%.jww", "出力 50%.jww~"}));
}

TEST_F(KeptFiles, AFailedWriteLeavesTheOldDrawingAtItsNameAndNothingElse) {
  for (const bool spoiled : {false, true}) {
    SCOPED_TRACE(spoiled ? "backup" : "trash");
    if (spoiled) {
      SpoilTheTrash();
      WriteFile(out + "~", Bytes("an older backup"));
    }
    TFaultyFileOps ops({1, false, EIO, false, kOpSync});  // the output's sync
    TConvertResult r;
    {
      TFileOpsInPlace inPlace(ops);
      r = Convert();
    }
    EXPECT_EQ(std::tuple(r.Code, r.ErrorNumber, r.Kept.Where), std::tuple(crWriteFailed, EIO, TKeptIn::kNothing));
    EXPECT_EQ(ops.Injected(), 1u);
    EXPECT_EQ(ReadFile(out), old);
    EXPECT_TRUE(Trashed().empty());
    EXPECT_TRUE(Infos().empty());
    if (spoiled) {
      EXPECT_EQ(Text(ReadFile(out + "~")), "an older backup");
    }
    EXPECT_EQ(Names(folder).size(), spoiled ? 2u : 1u);
  }
}

// Where files have no second names (FAT, some shares), the old drawing is
// moved into the trash (or to NAME~) instead, and moved back should the
// write fail.
TEST_F(KeptFiles, WhereFilesHaveNoSecondNamesTheOldDrawingIsMoved) {
  // The writer's new file takes a name of its own, as where files have no
  // unnamed form either.
  SetUnnamedOutputFiles(false);
  struct TUnnamedAgain {
    ~TUnnamedAgain() { SetUnnamedOutputFiles(true); }
  } unnamedAgain;
  for (const bool spoiled : {false, true}) {
    for (const bool fails : {false, true}) {
      SCOPED_TRACE(std::string(spoiled ? "backup" : "trash") + (fails ? ", the write fails" : ""));
      WriteFile(out, old);
      if (spoiled) SpoilTheTrash();
      fs::remove(out + "~");
      TFaultyFileOps ops({1, true, EPERM, false, kOpLink}, {fails ? 1u : 0u, false, EIO, false, kOpSync});
      TConvertResult r;
      {
        TFileOpsInPlace inPlace(ops);
        r = Convert();
      }
      if (fails) {
        EXPECT_EQ(std::tuple(r.Code, r.Kept.Where), std::tuple(crWriteFailed, TKeptIn::kNothing));
        EXPECT_EQ(ReadFile(out), old);
        EXPECT_FALSE(fs::exists(out + "~"));
      } else {
        ASSERT_EQ(r.Code, crDone);
        EXPECT_EQ(r.Kept.Where, spoiled ? TKeptIn::kBackup : TKeptIn::kTrash);
        EXPECT_EQ(ReadFile(r.Kept.Path), old);
        EXPECT_EQ(ReadFile(out), converted);
      }
      if (!spoiled) {
        EXPECT_EQ(Trashed().size(), fails ? 0u : 1u);
        EXPECT_EQ(Infos().size(), fails ? 0u : 1u);
        for (const std::string& name : Trashed()) fs::remove(trash + "/files/" + name);
        for (const std::string& name : Infos()) fs::remove(trash + "/info/" + name);
      }
    }
  }
}

// Kept neither in the trash nor as a backup (a disk that refuses every new
// name): the old drawing is not replaced, and the result says why.
TEST_F(KeptFiles, ADrawingThatCannotBeKeptIsNotReplaced) {
  TFaultyFileOps ops({1, true, ENOSPC, false, kOpLink});
  TConvertResult r;
  {
    TFileOpsInPlace inPlace(ops);
    r = Convert();
  }
  EXPECT_EQ(std::tuple(r.Code, r.ErrorNumber, r.NotKept), std::tuple(crWriteFailed, ENOSPC, true));
  EXPECT_EQ(ReadFile(out), old);
  EXPECT_EQ(Names(folder), std::set<std::string>{"出力 50%.jww"});
  EXPECT_TRUE(Trashed().empty());
  EXPECT_TRUE(Infos().empty());
}

// Runs `work` in a child that has a mount namespace of its own, with `mount`
// (a shell command) run there first; what it returns, or "no mount" when
// the namespace or the mount could not be made.
std::string InMountNamespace(const std::string& mount, const std::function<std::string()>& work) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "no pipe";
  const pid_t child = ::fork();
  if (child < 0) return "no child";
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string report = "no mount";
    if (::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
        std::system(("(" + mount + ") >/dev/null 2>&1").c_str()) == 0)
      report = work();
    if (::write(pipeFds[1], report.data(), report.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buf[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) report.append(buf, static_cast<size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return report;
}

// Drawings on a file system of their own, mounted at `mnt` in a child's
// mount namespace, replaced at mnt/sub/deep/plan.jww; the home's trash on
// another. Each case's line: what became of the replaced drawing.
class KeptFilesElsewhere : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(tmp.Path().empty());
    fs::create_directories(mnt);
    fs::create_directories(data);
    TJwwData d = NewDrawing(600);
    WriteFile(tmp.File("in.jww"), Serialize(d, 600));
  }

  // Writes `what` at the output, converts over it, and says where it went.
  std::string Case(TConversionSession& session, const char* what) {
    const std::string out = mnt + "/sub/deep/plan.jww";
    fs::create_directories(mnt + "/sub/deep");
    WriteFile(out, Bytes(what));
    TConvertOptions options;
    options.KeepReplaced = true;
    const TConvertResult r = session.ConvertDrawing(tmp.File("in.jww"), out, options);
    std::string line = std::string(what) + ": " + std::to_string(r.Code) + " ";
    line += r.Kept.Where == TKeptIn::kTrash ? "trash " : r.Kept.Where == TKeptIn::kBackup ? "backup " : "nothing ";
    if (r.Kept.Path.starts_with(mnt)) line += r.Kept.Path.substr(mnt.size()) + " " + Text(ReadFile(r.Kept.Path));
    return line + "\n";
  }

  TempFolder tmp;
  const std::string mnt = tmp.File("mnt"), data = tmp.File("data");
  TScopedEnv dataHome{"XDG_DATA_HOME", data};
  const std::string uid = std::to_string(::geteuid());
};

// On a disk of its own (an ext4 image): into the trash at its top, an
// administrator's .Trash/UID, else .Trash-UID made for it, its path there
// relative to the top; where neither can be had, to NAME~.
TEST_F(KeptFilesElsewhere, ADrawingOnAnotherDiskGoesToTheTrashAtItsTop) {
  const std::string image = tmp.File("disk.img");
  const std::string report = InMountNamespace(
      "truncate -s 16M '" + image + "' && mkfs.ext4 -q -F '" + image + "' && mount -o loop '" + image + "' '" + mnt + "'",
      [&] {
        TConversionSession session;
        std::string lines = Case(session, "own");
        const std::string info = Text(ReadFile(mnt + "/.Trash-" + uid + "/info/plan.jww.trashinfo"));
        lines += info.substr(0, info.find("DeletionDate="));
        fs::remove_all(mnt + "/.Trash-" + uid);
        ::mkdir((mnt + "/.Trash").c_str(), 01777);
        lines += Case(session, "shared");
        fs::remove_all(mnt + "/.Trash");
        WriteFile(mnt + "/.Trash-" + uid, Bytes("in the way"));
        lines += Case(session, "none");
        ::umount2(mnt.c_str(), MNT_DETACH);
        return lines;
      });
  if (report == "no mount") GTEST_SKIP() << "no ext4 image can be mounted here (mkfs.ext4, a loop device, a mount namespace)";
  EXPECT_EQ(report, "own: 5 trash /.Trash-" + uid + "/files/plan.jww own\n" +
                        "[Trash Info]\nPath=sub/deep/plan.jww\n" +
                        "shared: 5 trash /.Trash/" + uid + "/files/plan.jww shared\n" +
                        "none: 5 backup /sub/deep/plan.jww~ none\n");
}

// On a file system of the system's own kind (tmpfs), where file managers
// keep no trash: to NAME~, and no trash is made there.
TEST_F(KeptFilesElsewhere, ADrawingInMemoryStaysBesideItAsABackup) {
  const std::string report = InMountNamespace("mount -t tmpfs tmpfs '" + mnt + "'", [&] {
    TConversionSession session;
    std::string lines = Case(session, "tmpfs");
    lines += fs::exists(mnt + "/.Trash-" + uid) ? "a trash made\n" : "";
    ::umount2(mnt.c_str(), MNT_DETACH);
    return lines;
  });
  if (report == "no mount") GTEST_SKIP() << "no mount namespace of the test's own can be made here";
  EXPECT_EQ(report, "tmpfs: 5 backup /sub/deep/plan.jww~ tmpfs\n");
}

}  // namespace
}  // namespace qtest
