// The double of the file calls at work through a real conversion: every
// call of the chosen kinds is counted, and the call chosen fails as a disk
// would make it fail.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>

#include "convert/batch.h"
#include "convert/picture.h"
#include "convert/session.h"
#include "os/inplacefile.h"
#include "os/outputfile.h"
#include "faulty_fileops.h"
#include "writer_util.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

class FaultyFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::create_directory(scratch));
    session.StartUp({scratch});
    // A drawing with an image (a scratch file read and written) and a
    // dimension to explode.
    TJwwData d = NewDrawing(700);
    AddToDrawing(d, MakeText(N("^@BM%temp%pic.bmp,0,0,10,10")));
    AddToDrawing(d, MakeDimension(N(""), true));
    WriteFile(in, WithImages(Serialize(d, 700), {{N("pic.bmp"), Pattern(5000, 1)}}));
    ASSERT_EQ(session.ConvertDrawing(in, out).Code, crDone);
    expected = ReadFile(out);
    WriteFile(out, old);
  }

  // Converts with the double in place.
  TConvertResult Convert(TFaultyFileOps& ops) {
    TFileOpsInPlace inPlace(ops);
    return session.ConvertDrawing(in, out);
  }

  // Nothing is left but the input, the output and the session's own
  // scratch folder, empty.
  void ExpectNothingLeft() {
    EXPECT_EQ(Names(tmp.Path()), (std::set<std::string>{"in.jww", "out.jww", "scratch"}));
    size_t folders = 0;
    for (const auto& e : fs::directory_iterator(scratch)) {
      ++folders;
      EXPECT_TRUE(fs::is_empty(e.path())) << e.path();
    }
    EXPECT_EQ(folders, 1u);
  }

  TempFolder tmp{MemoryBase()};  // every run syncs its output and folder
  const std::string in = tmp.File("in.jww"), out = tmp.File("out.jww"), scratch = tmp.File("scratch");
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  std::vector<uint8_t> expected;
  TConversionSession session;
};

TEST_F(FaultyFiles, CountEveryCallAndFailTheOneChosen) {
  TFaultyFileOps clean({});
  ASSERT_EQ(Convert(clean).Code, crDone);
  EXPECT_EQ(clean.Injected(), 0u);
  EXPECT_GE(clean.Calls(), 8u);  // the scratch file made, written, closed, removed; the output's opens, write, sync, link
  EXPECT_EQ(ReadFile(out), expected);

  struct TCase {
    TFaultyFileOps::TPlan Plan;
    uint64_t Injected;
  };
  const TCase cases[] = {
      {{1, false, ENOSPC, false, kOpWrite}, 1},  // the image's scratch file
      {{2, false, EDQUOT, false, kOpWrite}, 1},  // the output
      {{1, true, EIO, false, kOpSync}, 1},
      {{1, false, EACCES, false, kOpRename | kOpLink}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "call " << c.Plan.FailAt << " of mask " << c.Plan.Mask);
    WriteFile(out, old);
    TFaultyFileOps ops(c.Plan);
    const TConvertResult r = Convert(ops);
    EXPECT_EQ(r.Code, crWriteFailed);
    EXPECT_EQ(r.ErrorNumber, c.Plan.Error);
    EXPECT_EQ(ops.Injected(), c.Injected);
    EXPECT_EQ(ReadFile(out), old);
    ExpectNothingLeft();
  }
}

TEST_F(FaultyFiles, InterruptedAndShortWritesAreRetried) {
  TFaultyFileOps count({0, false, 0, false, kOpWrite});
  ASSERT_EQ(Convert(count).Code, crDone);
  ASSERT_GE(count.Calls(), 2u);
  for (uint64_t n = 1; n <= count.Calls(); ++n) {
    for (const bool shortWrite : {false, true}) {
      SCOPED_TRACE(testing::Message() << "write " << n << (shortWrite ? " cut short" : " interrupted"));
      WriteFile(out, old);
      TFaultyFileOps ops({n, false, EINTR, shortWrite, kOpWrite});
      EXPECT_EQ(Convert(ops).Code, crDone);
      EXPECT_EQ(ops.Injected(), 1u);
      EXPECT_EQ(ReadFile(out), expected);
      ExpectNothingLeft();
    }
  }
}

// The faults of a walk: a disk that is full, fails or is over quota, a
// call interrupted by a signal, a write that takes half its bytes; each
// once (a disk that fails for a moment) and from the call chosen on (a
// disk that stays full; removing still works there). A short write and an
// interruption are retried, never reported; an interruption that never
// ends may fail the run.
struct TFault {
  int Error;
  bool ShortWrite;
  bool Persistent;
};
std::vector<TFault> Faults() {
  std::vector<TFault> faults;
  for (const bool persistent : {false, true}) {
    for (const int error : {ENOSPC, EIO, EDQUOT, EINTR}) faults.push_back({error, false, persistent});
    faults.push_back({0, true, persistent});
  }
  return faults;
}
std::ostream& operator<<(std::ostream& o, const TFault& f) {
  return o << (f.ShortWrite ? "short write" : std::strerror(f.Error)) << (f.Persistent ? " from then on" : " once");
}
// Whether a run that met this fault must succeed all the same.
bool MustSucceed(const TFault& f) { return f.ShortWrite || (f.Error == EINTR && !f.Persistent); }

// What a failed run leaves at its output's name: what stood there before
// (nothing is read as no bytes). A disk that keeps failing may refuse to
// give the old file its name back once the new one has taken it, when only
// the sync of the folder failed: the complete new file then stays.
bool Unharmed(const std::vector<uint8_t>& now, const std::vector<uint8_t>& before,
              const std::vector<uint8_t>& complete, const TFault& fault) {
  return now == before || (fault.Persistent && now == complete);
}

// Runs `run` (which says whether it succeeded) with the Nth call of the
// fault's kinds failing, for N = 1, 2, ... until a run meets no fault: then
// every call has failed once. `check` looks at what each run left.
template <class TRun, class TCheck>
void Walk(const TFault& fault, TRun run, TCheck check) {
  // A short write concerns writes alone; a disk that stays full still
  // removes.
  const unsigned mask = fault.ShortWrite  ? kOpWrite
                        : fault.Persistent ? kOpAll & ~(kOpRemove | kOpRemoveFolder)
                                           : kOpAll;
  for (uint64_t n = 1;; ++n) {
    SCOPED_TRACE(testing::Message() << "call " << n << ": " << fault);
    TFaultyFileOps ops({n, fault.Persistent, fault.Error, fault.ShortWrite, mask});
    bool done = false;
    {
      TFileOpsInPlace inPlace(ops);
      done = run();
    }
    if (ops.Injected() == 0 || MustSucceed(fault)) {
      EXPECT_TRUE(done);
    }
    // A sync that failed once may never be trusted again (the system may
    // have dropped the pages it could not write): the run fails.
    if ((ops.FailedKinds() & kOpSync) && !MustSucceed(fault)) {
      EXPECT_FALSE(done);
    }
    check(done);
    if (ops.Injected() == 0 || testing::Test::HasFatalFailure()) return;
    ASSERT_LT(n, 2000u);
  }
}

// Every call of a whole conversion (its session's start and end included)
// that changes a file is made to fail in turn. The conversion either
// succeeds with the right output or fails naming the error, the output that
// stood there stays as it was, and nothing is left.
TEST_F(FaultyFiles, EveryCallOfAConversionFailsInTurnAndHarmsNothing) {
  session.CleanUp();  // each run below starts its own, the scratch folder made through the double
  for (const bool named : {false, true}) {
    SetUnnamedOutputFiles(!named);
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    for (const TFault& fault : Faults()) {
      TConvertResult r;
      WriteFile(out, old);
      Walk(fault, [&] {
        TConversionSession run;
        run.StartUp({scratch});
        r = run.ConvertDrawing(in, out);
        run.CleanUp();
        return r.Code == crDone;
      }, [&](bool done) {
        if (done) {
          EXPECT_EQ(ReadFile(out), expected);
        } else {
          EXPECT_TRUE(Unharmed(ReadFile(out), old, expected, fault));
          const int reported = r.Code == crReadFailed ? r.ReadError.ErrorNumber : r.ErrorNumber;
          EXPECT_EQ(reported, fault.Error) << r.Code;
        }
        EXPECT_EQ(Names(tmp.Path()), (std::set<std::string>{"in.jww", "out.jww", "scratch"}));
        for (const auto& e : fs::recursive_directory_iterator(scratch)) ADD_FAILURE() << "left: " << e.path();
        WriteFile(out, old);
      });
    }
  }
  SetUnnamedOutputFiles(true);
}

// The same for a batch of three drawings converted two at a time (-d -j 2),
// one of whose outputs replaces a file, and for a picture (--svg). The
// threads of a batch meet their calls in an order of their own, so that
// the walk meets each call in one run or another.
TEST_F(FaultyFiles, EveryCallOfABatchAndOfAPictureFailsInTurnAndHarmsNothing) {
  session.CleanUp();
  const std::string outs = tmp.File("outs");
  ASSERT_TRUE(fs::create_directory(outs));
  std::vector<std::string> inputs;
  std::map<std::string, std::vector<uint8_t>> expectedOut;
  for (const char* name : {"a.jww", "b.jww", "c.jww"}) {
    inputs.push_back(tmp.File(name));
    fs::copy_file(in, inputs.back());
    expectedOut[name] = expected;
  }
  // The picture as it comes out unharmed.
  ASSERT_EQ(MakePicture(in, tmp.File("expected.svg"), TPictureMode::kAsStored).Code, TPictureCode::kDone);
  const std::vector<uint8_t> picture = ReadFile(tmp.File("expected.svg"));
  fs::remove(tmp.File("expected.svg"));
  // Each scratch folder of the batch's workers and of the picture goes here.
  const char* bases[] = {"XDG_RUNTIME_DIR", "TMPDIR"};
  std::string saved[2];
  for (int i = 0; i < 2; ++i) {
    if (const char* v = std::getenv(bases[i])) saved[i] = v;
    ::setenv(bases[i], scratch.c_str(), 1);
  }
  auto nothingLeft = [&] {
    for (const auto& e : fs::recursive_directory_iterator(scratch)) ADD_FAILURE() << "left: " << e.path();
    for (const auto& e : fs::directory_iterator(outs)) {
      const std::string name = e.path().filename().string();
      if (!expectedOut.count(name)) ADD_FAILURE() << "left: " << e.path();
    }
  };
  for (const TFault& fault : Faults()) {
    // The batch: b.jww replaces an old file, the others are new.
    auto reset = [&] {
      for (const auto& e : fs::directory_iterator(outs)) fs::remove(e.path());
      WriteFile(outs + "/b.jww", old);
    };
    reset();
    std::vector<TOutcome> outcomes;
    int exit = 0;
    Walk(fault, [&] {
      outcomes.clear();
      TBatch batch(outs + "/", inputs);
      exit = batch.Run(2, [&](const TOutcome& o) { outcomes.push_back(o); });
      return exit == kExitOk;
    }, [&](bool done) {
      ASSERT_EQ(outcomes.size(), inputs.size());
      EXPECT_EQ(exit, done ? kExitOk : kExitSomeFailed);
      for (size_t i = 0; i < inputs.size(); ++i) {
        const std::string name = fs::path(inputs[i]).filename().string(), output = outs + "/" + name;
        if (outcomes[i].Exit == kExitOk) {
          EXPECT_EQ(ReadFile(output), expected) << name;
        } else {
          // Each failure names its drawing and the system's reason.
          EXPECT_NE(outcomes[i].Err.find(std::strerror(fault.Error)), std::string::npos) << outcomes[i].Err;
          EXPECT_NE(outcomes[i].Err.find(name), std::string::npos) << outcomes[i].Err;
          if (name == "b.jww") {
            EXPECT_TRUE(Unharmed(ReadFile(output), old, expected, fault));
          } else {
            EXPECT_TRUE(!FileExists(output) || Unharmed(ReadFile(output), {}, expected, fault)) << name;
          }
        }
      }
      nothingLeft();
      reset();
    });
    // The picture, replacing an old one.
    const std::string svg = outs + "/a.svg";
    expectedOut["a.svg"] = picture;
    WriteFile(svg, old);
    TPictureResult r;
    Walk(fault, [&] {
      r = MakePicture(in, svg, TPictureMode::kAsStored);
      return r.Code == TPictureCode::kDone;
    }, [&](bool done) {
      if (done) {
        EXPECT_EQ(ReadFile(svg), picture);
      } else {
        EXPECT_TRUE(Unharmed(ReadFile(svg), old, picture, fault));
        const int reported = r.Code == TPictureCode::kReadFailed ? r.ReadError.ErrorNumber : r.ErrorNumber;
        EXPECT_EQ(reported, fault.Error) << int(r.Code);
      }
      nothingLeft();
      WriteFile(svg, old);
    });
    fs::remove(svg);
    expectedOut.erase("a.svg");
  }
  for (int i = 0; i < 2; ++i) {
    if (saved[i].empty()) ::unsetenv(bases[i]);
    else ::setenv(bases[i], saved[i].c_str(), 1);
  }
}

// The system's calls, except that just before the file at the output's
// name is linked to be kept, another writer puts a file of its own there
// (as a second run on the same output would).
class TOtherWriterFirst final : public TPassingFileOps {
 public:
  explicit TOtherWriterFirst(std::string output) : output_(std::move(output)) {}
  int LinkAt(int od, const char* op, int nd, const char* np, int f) override {
    if (od != AT_FDCWD && f == 0 && !done_) {
      done_ = true;
      WriteFile(output_ + ".other", {'o', 't', 'h', 'e', 'r'});
      fs::rename(output_ + ".other", output_);
    }
    return Real().LinkAt(od, op, nd, np, f);
  }
  bool Done() const { return done_; }

 private:
  const std::string output_;
  bool done_ = false;
};

TEST_F(FaultyFiles, AFileThatTookTheOutputsNameMeanwhileIsNotLeftBehind) {
  // The file kept while the new output takes its place is the one that
  // stood there when it was looked at; one that came in between is not
  // kept under a hidden name that nobody removes.
  TOtherWriterFirst other(out);
  {
    TFileOpsInPlace inPlace(other);
    ASSERT_EQ(session.ConvertDrawing(in, out).Code, crDone);
  }
  ASSERT_TRUE(other.Done()) << "the output was never kept";
  EXPECT_EQ(ReadFile(out), expected);
  ExpectNothingLeft();
}

// A write that takes part of its bytes, then a disk that is full.
class TFullHalfway : public TPassingFileOps {
 public:
  long Write(int fd, const void* data, size_t size) override {
    if (writes_++ == 0) return Real().Write(fd, data, size / 2);
    errno = ENOSPC;
    return -1;
  }

 private:
  int writes_ = 0;
};

// A thumbnail service makes the picture's file and holds it open: every
// call of writing into it fails in turn. It stays the same file and holds
// the whole picture, or nothing (or, when nothing could be done to it,
// what it held), never a part of the picture.
TEST_F(FaultyFiles, WritingIntoTheCallersFileLeavesItWholeOrEmpty) {
  const std::string png = tmp.File("thumb.png");
  WriteFile(png, old);
  TFd held(::open(png.c_str(), O_RDWR | O_CLOEXEC));
  ASSERT_TRUE(held.Valid());
  struct stat made{};
  ASSERT_EQ(::fstat(held.Get(), &made), 0);
  const std::vector<uint8_t> picture = Pattern(200000, 3);
  // What the caller reads through its descriptor, and whether the name
  // still leads to its file.
  const auto seen = [&] {
    std::vector<uint8_t> bytes(picture.size() + 10);
    const ssize_t n = ::pread(held.Get(), bytes.data(), bytes.size(), 0);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
  };
  const auto same = [&] {
    struct stat now{};
    return ::stat(png.c_str(), &now) == 0 && now.st_ino == made.st_ino && now.st_dev == made.st_dev;
  };
  const auto reset = [&] {
    ASSERT_EQ(::ftruncate(held.Get(), 0), 0);
    ASSERT_EQ(::pwrite(held.Get(), old.data(), old.size(), 0), static_cast<ssize_t>(old.size()));
  };
  for (const TFault& fault : Faults()) {
    Walk(fault, [&] {
      reset();
      return WriteFileInPlace(png, picture.data(), picture.size()) == 0;
    }, [&](bool done) {
      EXPECT_TRUE(same());
      const std::vector<uint8_t> now = seen();
      if (done) EXPECT_EQ(now, picture);
      else EXPECT_TRUE(now.empty() || now == old || now == picture) << now.size() << " bytes";
    });
  }
  // Full after half the picture was written: emptied again.
  reset();
  TFullHalfway full;
  {
    TFileOpsInPlace inPlace(full);
    EXPECT_EQ(WriteFileInPlace(png, picture.data(), picture.size()), ENOSPC);
  }
  EXPECT_TRUE(same());
  EXPECT_EQ(seen().size(), 0u);
  EXPECT_EQ(Names(tmp.Path()), (std::set<std::string>{"in.jww", "out.jww", "scratch", "thumb.png"}));
}

}  // namespace
}  // namespace qtest
