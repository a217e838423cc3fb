// Pictures that cannot show what the drawing holds fail, never pass off as
// done: a carried image whose scratch file cannot be read back or made, a
// Shift-JIS converter that cannot be loaded, zlib without memory; a full
// scratch folder is named as the place at fault; and memory that runs out
// while the thumbnailer's libraries start ends it with the out-of-memory
// status.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "convert/outcome.h"
#include "convert/picture.h"
#include "faulty_fileops.h"
#include "writer_util.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

// Runs a command line after a prefix of environment settings: its exit
// status and what it printed on the error output.
std::pair<int, std::string> Command(const std::string& env, const std::string& command) {
  FILE* p = ::popen((env + " " + command + " 2>&1 >/dev/null").c_str(), "r");
  std::string err;
  for (int c; p && (c = std::fgetc(p)) != EOF;) err += char(c);
  const int status = p ? ::pclose(p) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

// The environment that preloads the library of outside failures with this
// one chosen (the sanitizers' runtime need not come first then).
std::string LoadFault(const char* fault) {
  return std::string("QUORVEX_LOAD_FAULT=") + fault + " LD_PRELOAD='" QUORVEX_LOAD_FAULTS_LIB
         "' ASAN_OPTIONS=verify_asan_link_order=0";
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// A bitmap as a picture embeds it: its signature and some bytes.
std::vector<uint8_t> Bitmap(size_t size) {
  std::vector<uint8_t> b = Pattern(size, 3);
  b[0] = 'B', b[1] = 'M';
  return b;
}

// A drawing of version 700 that places a carried bitmap of this size (its
// data as given, e.g. gzip-compressed).
void WriteDrawingWithImage(const std::string& path, const std::vector<uint8_t>& data) {
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeLine(0, 0, 100, 80));
  AddToDrawing(d, MakeText(N("^@BM%temp%photo.bmp,10,10,40,30")));
  WriteFile(path, WithImages(Serialize(d, 700), {{N("photo.bmp"), data}}));
}

// $XDG_RUNTIME_DIR and $TMPDIR point to a folder while it lives.
class TScratchBase {
 public:
  explicit TScratchBase(const std::string& folder) {
    for (int i = 0; i < 2; ++i) {
      if (const char* v = std::getenv(kNames[i])) saved_[i] = v;
      ::setenv(kNames[i], folder.c_str(), 1);
    }
  }
  ~TScratchBase() {
    for (int i = 0; i < 2; ++i) {
      if (saved_[i].empty()) ::unsetenv(kNames[i]);
      else ::setenv(kNames[i], saved_[i].c_str(), 1);
    }
  }

 private:
  static constexpr const char* kNames[2] = {"XDG_RUNTIME_DIR", "TMPDIR"};
  std::string saved_[2];
};

TEST(PictureFailures, AnImageWhoseScratchFileCannotBeReadBackFailsThePicture) {
  TempFolder tmp;
  const std::string in = tmp.File("in.jww"), svg = tmp.File("out.svg"), scratch = tmp.File("scratch");
  ASSERT_TRUE(fs::create_directory(scratch));
  TScratchBase base(scratch);
  WriteDrawingWithImage(in, Bitmap(600));
  ASSERT_EQ(MakePicture(in, svg, TPictureMode::kAsStored).Code, TPictureCode::kDone);
  const std::vector<uint8_t> expected = ReadFile(svg);
  ASSERT_NE(std::string(expected.begin(), expected.end()).find("data:image/bmp;base64,"), std::string::npos);
  fs::remove(svg);
  // Each opening of a file fails in turn (the input, the scratch folder's
  // base, the scratch file read back, the picture's folder): the picture
  // is the whole one or none, with the error met.
  int readBack = 0;
  for (const int error : {ENOSPC, EIO, EDQUOT}) {
    for (uint64_t n = 1;; ++n) {
      SCOPED_TRACE(testing::Message() << "open " << n << ": " << std::strerror(error));
      TFaultyFileOps ops({n, false, error, false, kOpOpen});
      TPictureResult r;
      {
        TFileOpsInPlace inPlace(ops);
        r = MakePicture(in, svg, TPictureMode::kAsStored);
      }
      if (ops.Injected() == 0) {
        EXPECT_EQ(r.Code, TPictureCode::kDone);
        break;
      }
      if (r.Code == TPictureCode::kDone) {
        EXPECT_EQ(ReadFile(svg), expected);  // the failed call was made again elsewhere
      } else {
        const int reported = r.Code == TPictureCode::kWriteFailed ? r.ErrorNumber : r.ReadError.ErrorNumber;
        EXPECT_EQ(reported, error) << int(r.Code);
        EXPECT_FALSE(FileExists(svg));
      }
      if (r.Code == TPictureCode::kScratchFailed && r.ReadError.Problem == TReadProblem::kScratchRead) {
        ++readBack;
        // Status 5, naming the scratch folder, not the picture.
        TFaultyFileOps again({n, false, error, false, kOpOpen});
        TFileOpsInPlace inPlace(again);
        const TOutcome o = DrawOne(false, in, svg);
        EXPECT_EQ(o.Exit, kExitWriteFailed);
        EXPECT_NE(o.Err.find("photo.bmp\" cannot be read back from the scratch folder " + scratch), std::string::npos)
            << o.Err;
        EXPECT_NE(o.Err.find(std::strerror(error)), std::string::npos) << o.Err;
      }
      fs::remove(svg);
      ASSERT_LT(n, 100u);
    }
  }
  EXPECT_EQ(readBack, 3) << "once for each error";
  EXPECT_TRUE(fs::is_empty(scratch));
}

// The system's calls, except that every read(2) (the scratch files of
// carried images are read back so, the drawing itself with pread) finds
// the file's end at once, as in a file cut short, or fails with the error
// given.
class TReadBackFails final : public TPassingFileOps {
 public:
  explicit TReadBackFails(int error) : error_(error) {}
  long Read(int, void*, size_t) override {
    ++reads_;
    if (error_ == 0) return 0;
    errno = error_;
    return -1;
  }
  int Reads() const { return reads_; }

 private:
  const int error_;
  int reads_ = 0;
};

// A carried image that comes back from its scratch file shorter than it was
// put there, or without memory to hold it, makes no picture: the scratch
// folder's failure (5), or out of memory (7); never a picture without it.
TEST(PictureFailures, AnImageReadBackShortOrWithoutMemoryMakesNoPicture) {
  TempFolder tmp;
  const std::string in = tmp.File("in.jww"), svg = tmp.File("out.svg");
  WriteDrawingWithImage(in, Bitmap(600));
  for (const auto& [error, exit] : {std::pair{0, kExitWriteFailed}, std::pair{ENOMEM, kExitOutOfMemory}}) {
    SCOPED_TRACE(error);
    TReadBackFails back(error);
    TFileOpsInPlace inPlace(back);
    const TOutcome o = DrawOne(false, in, svg);
    EXPECT_GT(back.Reads(), 0);
    EXPECT_EQ(o.Exit, exit) << o.Err;
    EXPECT_FALSE(FileExists(svg));
  }
}

TEST(PictureFailures, MemoryTheSystemLacksWhileTheDrawingIsReadIsOutOfMemory) {
  // The system's own memory (ENOMEM from a read of the drawing) is no
  // fault of the drawing's: 7, not 1.
  TempFolder tmp;
  const std::string in = tmp.File("in.jww"), svg = tmp.File("out.svg");
  WriteDrawingWithImage(in, Bitmap(600));
  TFaultyFileOps ops({1, false, ENOMEM, false, kOpRead});
  TFileOpsInPlace inPlace(ops);
  const TOutcome o = DrawOne(false, in, svg);
  EXPECT_EQ(ops.Injected(), 1u);
  EXPECT_EQ(o.Exit, kExitOutOfMemory) << o.Err;
  EXPECT_NE(o.Err.find(": out of memory at byte 0"), std::string::npos) << o.Err;
  EXPECT_FALSE(FileExists(svg));
}

TEST(PictureFailures, WithoutAScratchFolderOnlyADrawingThatCarriesNoImageIsDrawn) {
  TempFolder tmp;
  const std::string with = tmp.File("with.jww"), without = tmp.File("without.jww"), svg = tmp.File("out.svg");
  WriteDrawingWithImage(with, Bitmap(600));
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeLine(0, 0, 100, 80));
  WriteFile(without, Serialize(d, 700));
  // No folder can be made anywhere.
  TFaultyFileOps ops({1, true, ENOSPC, false, kOpMakeFolder});
  TFileOpsInPlace inPlace(ops);
  const TPictureResult r = MakePicture(with, svg, TPictureMode::kAsStored);
  EXPECT_EQ(std::tuple(r.Code, r.ReadError.Problem, r.ReadError.ErrorNumber),
            std::tuple(TPictureCode::kScratchFailed, TReadProblem::kScratchWrite, ENOSPC));
  EXPECT_FALSE(FileExists(svg));
  const TOutcome o = DrawOne(false, with, svg);
  EXPECT_EQ(o.Exit, kExitWriteFailed);
  EXPECT_NE(o.Err.find("no scratch folder for its carried images can be made in "), std::string::npos) << o.Err;
  EXPECT_EQ(MakePicture(without, svg, TPictureMode::kAsStored).Code, TPictureCode::kDone);
}

TEST(PictureFailures, AFullScratchFolderIsNamedAndEndsWith5) {
  // A 64 KiB file system as the scratch folder's base, and a drawing
  // carrying a 300 KB image; the pictures' own folder has room.
  TempFolder tmp;
  const std::string small = tmp.File("small");
  fs::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno) << "); needs root";
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount(path.c_str()); }
  } unmount{small};
  const std::string in = tmp.File("in.jww");
  WriteDrawingWithImage(in, Bitmap(300000));
  const std::string env = "XDG_RUNTIME_DIR= TMPDIR=" + Quoted(small);
  const std::pair<std::string, std::string> programs[] = {
      {QUORVEX_CONVERT_BIN " --svg", tmp.File("out.svg")},
      {QUORVEX_CONVERT_BIN, tmp.File("out.dxf")},  // a DXF's texts too
      {QUORVEX_CONVERT_BIN " --preview", tmp.File("out.svg")},
#ifdef QUORVEX_THUMBNAIL_BIN
      {QUORVEX_THUMBNAIL_BIN, tmp.File("out.png")},
#endif
  };
  for (const auto& [program, out] : programs) {
    SCOPED_TRACE(program);
    const auto [exit, err] = Command(env, program + " " + Quoted(in) + " " + Quoted(out));
    EXPECT_EQ(exit, 5);
    EXPECT_NE(err.find("cannot be put into the scratch folder " + small + "/quorvex-scratch-"), std::string::npos)
        << err;
    EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
    EXPECT_EQ(err.find(out), std::string::npos) << "the picture is not at fault: " << err;
    EXPECT_FALSE(FileExists(out));
    for (const std::string& name : Names(small))
      EXPECT_EQ(name.find("quorvex-scratch-"), std::string::npos) << "left: " << name;
  }
}

TEST(PictureFailures, WithoutTheShiftJisConverterJapaneseTextsAreNotDrawn) {
  // 日本 in Shift-JIS, and a drawing of ASCII texts that needs no converter.
  TempFolder tmp;
  const std::string japanese = tmp.File("japanese.jww"), ascii = tmp.File("ascii.jww");
  TJwwData d = NewDrawing(600);
  AddToDrawing(d, MakeText(N("\x93\xfa\x96\x7b")));
  WriteFile(japanese, Serialize(d, 600));
  TJwwData e = NewDrawing(600);
  AddToDrawing(e, MakeText(N("1500")));
  WriteFile(ascii, Serialize(e, 600));
  const std::pair<std::string, std::string> programs[] = {
      {QUORVEX_CONVERT_BIN " --svg", tmp.File("out.svg")},
      {QUORVEX_CONVERT_BIN, tmp.File("out.dxf")},  // one text: no DXF either
#ifdef QUORVEX_THUMBNAIL_BIN
      {QUORVEX_THUMBNAIL_BIN, tmp.File("out.png")},
#endif
  };
  for (const auto& [program, out] : programs) {
    SCOPED_TRACE(program);
    // A converter the C library had no memory for: out of memory.
    EXPECT_EQ(Command(LoadFault("iconv-nomem"), program + " " + Quoted(japanese) + " " + Quoted(out)).first, 7);
    EXPECT_FALSE(FileExists(out));
    const auto [exit, err] = Command(LoadFault("iconv"), program + " " + Quoted(japanese) + " " + Quoted(out));
    EXPECT_EQ(exit, 5);
    EXPECT_NE(err.find("Shift-JIS converter"), std::string::npos) << err;
    EXPECT_NE(err.find(std::strerror(EINVAL)), std::string::npos) << err;
    EXPECT_FALSE(FileExists(out));
    EXPECT_EQ(Command(LoadFault("iconv"), program + " " + Quoted(ascii) + " " + Quoted(out)).first, 0);
    EXPECT_TRUE(FileExists(out));
    fs::remove(out);
    // A converter that failed to load once is loaded again.
    EXPECT_EQ(Command(LoadFault("iconv-once"), program + " " + Quoted(japanese) + " " + Quoted(out)).first, 0);
    EXPECT_TRUE(FileExists(out));
    fs::remove(out);
  }
}

TEST(PictureFailures, ZlibWithoutMemoryIsOutOfMemoryNotAMissingImage) {
  TempFolder tmp;
  const std::string in = tmp.File("in.jww"), svg = tmp.File("out.svg");
  WriteDrawingWithImage(in, Gzip(Bitmap(600)));
  ASSERT_EQ(Command("", QUORVEX_CONVERT_BIN " --svg " + Quoted(in) + " " + Quoted(svg)).first, 0);
  fs::remove(svg);
  const auto [exit, err] = Command(LoadFault("zlib"), QUORVEX_CONVERT_BIN " --svg " + Quoted(in) + " " + Quoted(svg));
  EXPECT_EQ(exit, 7) << err;
  EXPECT_FALSE(FileExists(svg));
}

#ifdef QUORVEX_THUMBNAIL_BIN
TEST(PictureFailures, MemoryThatRunsOutWhileTheThumbnailersLibrariesStartEndsWith7) {
  // A library that exits with 1 after its own "Out of memory", and one
  // whose std::bad_alloc nothing catches, both before main.
  TempFolder tmp;
  const std::string in = tmp.File("in.jww"), png = tmp.File("out.png");
  WriteDrawingWithImage(in, Bitmap(600));
  for (const char* fault : {"exit", "throw"}) {
    SCOPED_TRACE(fault);
    const auto [exit, err] = Command(LoadFault(fault), QUORVEX_THUMBNAIL_BIN " " + Quoted(in) + " " + Quoted(png));
    EXPECT_EQ(exit, 7);
    EXPECT_NE(err.find("quorvex-thumbnail: out of memory"), std::string::npos) << err;
    EXPECT_FALSE(FileExists(png));
  }
}

TEST(PictureFailures, TheThumbnailerNeverHangsNorAbortsWhateverMemoryItMayUse) {
  // Under address-space limits from where its libraries barely load to
  // where everything fits, each run ends, within a minute, with its
  // picture (0) or without it for lack of memory (7); below those the
  // system's loader itself cannot map a library (127, before any code of
  // the thumbnailer runs). Qt once waited here for ever for a thread it
  // could not start.
  if (kSanitized) GTEST_SKIP() << "the sanitizers reserve far more address space than these limits";
  TempFolder tmp;
  const std::string png = tmp.File("out.png"), err = tmp.File("err");
  std::string sample = QUORVEX_CORPUS_DIR;
  sample = sample.substr(0, sample.rfind("/fuzz/")) + "/samples/sample.jww";
  ASSERT_TRUE(FileExists(sample));
  for (size_t mb = 64; mb <= 128; mb += 4) {
    SCOPED_TRACE(testing::Message() << "ulimit -v " << mb * 1024);
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int errors = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(errors, 2);
      const struct rlimit limit = {mb << 20, mb << 20};
      if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
      ::execl(QUORVEX_THUMBNAIL_BIN, QUORVEX_THUMBNAIL_BIN, sample.c_str(), png.c_str(), nullptr);
      ::_exit(126);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    bool ended = false;
    for (int tenths = 0; tenths < 600 && !ended; ++tenths) {
      ended = ::waitpid(pid, &status, WNOHANG) == pid;
      if (!ended) ::usleep(100000);
    }
    if (!ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "still running after a minute";
      continue;
    }
    const std::vector<uint8_t> printed = ReadFile(err);
    const std::string errors(printed.begin(), printed.end());
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << ": " << errors;
    const int exit = WEXITSTATUS(status);
    if (exit == 127) {
      EXPECT_NE(errors.find("error while loading shared libraries"), std::string::npos) << errors;
    } else {
      EXPECT_TRUE(exit == 0 || exit == 7) << exit << ": " << errors;
      EXPECT_EQ(FileExists(png), exit == 0);
    }
    ::unlink(png.c_str());
  }
}
#endif

}  // namespace
}  // namespace qtest
