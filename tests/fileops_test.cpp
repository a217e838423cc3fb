// The double of the file calls at work through a real conversion: every
// call of the chosen kinds is counted, and the call chosen fails as a disk
// would make it fail.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "convert/batch.h"
#include "convert/outcome.h"
#include "convert/picture.h"
#include "convert/session.h"
#include "dxf_cases.h"
#include "os/inplacefile.h"
#include "os/outputfile.h"
#include "os/readahead.h"
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
  TConvertResult Convert(TFileOps& ops) {
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
// (nothing is read as no bytes), unless it says that the complete new file
// took the name all the same (the folder could not be synced afterwards,
// and the old file could not be given its name back).
bool Unharmed(const std::vector<uint8_t>& now, const std::vector<uint8_t>& before,
              const std::vector<uint8_t>& complete, bool placed) {
  return now == (placed ? complete : before);
}
// Whether a failure's message says so.
bool SaysPlaced(const std::string& err) { return err.find(": written, but its folder could not be synced") != std::string::npos; }

// Runs `run` (which says whether it succeeded) with the Nth call of the
// fault's kinds failing, for N = 1, 2, ... until a run meets no fault: then
// every call has failed once. `check` looks at what each run left.
template <class TRun, class TCheck>
void Walk(const TFault& fault, TRun run, TCheck check) {
  // A short write concerns writes alone; a disk that stays full still
  // removes, and looks at files.
  const unsigned mask = fault.ShortWrite  ? kOpWrite
                        : fault.Persistent ? kOpAll & ~(kOpRemove | kOpRemoveFolder | kOpLook)
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
          EXPECT_TRUE(Unharmed(ReadFile(out), old, expected, r.OutputPlaced));
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
          const bool placed = SaysPlaced(outcomes[i].Err);
          if (name == "b.jww") {
            EXPECT_TRUE(Unharmed(ReadFile(output), old, expected, placed));
          } else {
            EXPECT_EQ(FileExists(output), placed) << name;
            if (placed) {
              EXPECT_EQ(ReadFile(output), expected) << name;
            }
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
        EXPECT_TRUE(Unharmed(ReadFile(svg), old, picture, r.OutputPlaced));
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

// The files of a folder and their bytes.
std::map<std::string, std::vector<uint8_t>> Contents(const std::string& folder) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const std::string& name : Names(folder)) files[name] = ReadFile(folder + "/" + name);
  return files;
}

// The same for a DXF with the images it shows: the folder of images and the
// DXF, each replacing what stood there. A failed run leaves both as they
// were (a disk that keeps failing may leave either one complete and new).
TEST_F(FaultyFiles, EveryCallOfADxfConversionFailsInTurnAndHarmsNothing) {
  session.CleanUp();
  const std::string drawing = tmp.File("in.jww"), dxf = tmp.File("out.dxf"), images = tmp.File("out-images");
  WriteFile(drawing, DxfCaseFile(700));  // two images: a gzip-packed BMP and a PNG
  const TConvertOptions asDxf{true, false};
  {
    TConversionSession run;
    run.StartUp({scratch});
    ASSERT_EQ(run.ConvertDrawing(drawing, dxf, asDxf).Code, crDone);
  }
  const std::vector<uint8_t> newDxf = ReadFile(dxf);
  const auto newImages = Contents(images);
  ASSERT_EQ(newImages.size(), 2u);
  const std::map<std::string, std::vector<uint8_t>> oldImages = {{"image-1.bmp", old}};
  auto reset = [&] {
    std::filesystem::remove_all(images);
    ASSERT_TRUE(std::filesystem::create_directory(images));
    WriteFile(images + "/image-1.bmp", old);
    WriteFile(dxf, old);
  };
  for (const bool named : {false, true}) {
    SetUnnamedOutputFiles(!named);
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    for (const TFault& fault : Faults()) {
      TConvertResult r;
      reset();
      Walk(fault, [&] {
        TConversionSession run;
        run.StartUp({scratch});
        r = run.ConvertDrawing(drawing, dxf, asDxf);
        run.CleanUp();
        return r.Code == crDone;
      }, [&](bool done) {
        if (done) {
          EXPECT_EQ(ReadFile(dxf), newDxf);
          EXPECT_EQ(Contents(images), newImages);
        } else {
          // The DXF and its images as they were, or (when the new DXF
          // could not be taken back) both new. A disk that keeps refusing
          // may refuse to give the old folder its name back too.
          EXPECT_TRUE(Unharmed(ReadFile(dxf), old, newDxf, r.OutputPlaced));
          const auto now = Contents(images);
          if (r.OutputPlaced) {
            EXPECT_EQ(now, newImages);
          } else if (fault.Persistent && now == newImages) {
            // Where the disk refused to give the old folder its name back,
            // that folder is kept whole under the name it was given.
            bool kept = false;
            for (const std::string& name : Names(tmp.Path()))
              if (name.starts_with("quorvex-scratch-") && Contents(tmp.File(name)) == oldImages) {
                kept = true;
                fs::remove_all(tmp.File(name));
              }
            EXPECT_TRUE(kept);
          } else {
            EXPECT_EQ(now, oldImages);
          }
          const int reported = r.Code == crReadFailed ? r.ReadError.ErrorNumber : r.ErrorNumber;
          EXPECT_EQ(reported, fault.Error) << r.Code;
        }
        // Nothing left: no folder of images under a scratch name, no
        // temporary output, nothing in the scratch folder.
        EXPECT_EQ(Names(tmp.Path()), (std::set<std::string>{"in.jww", "out.jww", "out.dxf", "out-images", "scratch"}));
        for (const auto& e : fs::recursive_directory_iterator(scratch)) ADD_FAILURE() << "left: " << e.path();
        reset();
      });
    }
  }
  SetUnnamedOutputFiles(true);
}

// A PDF's bytes with its creation date (the time it was written) blanked,
// for comparing two PDFs of the same drawing.
std::vector<uint8_t> Undated(std::vector<uint8_t> pdf) {
  const std::string_view text(reinterpret_cast<const char*>(pdf.data()), pdf.size());
  const size_t at = text.find("/CreationDate (D:");
  if (at != std::string_view::npos)
    for (size_t i = at + 17; i < pdf.size() && pdf[i] != ')'; ++i) pdf[i] = '0';
  return pdf;
}

// The same for a PDF, which the PDF module paints into the conversion's
// output file: the PDF that stood there stays as it was unless the new one
// is whole.
TEST_F(FaultyFiles, EveryCallOfAPdfConversionFailsInTurnAndHarmsNothing) {
  session.CleanUp();
  const std::string drawing = tmp.File("in.jww"), pdf = tmp.File("out.pdf");
  WriteFile(drawing, ReadFile(QUORVEX_SOURCE_DIR "/samples/sample.jww"));  // a carried image among its entities
  const TConvertOptions asPdf{true};
  {
    TConversionSession run;
    run.StartUp({scratch});
    const TConvertResult r = run.ConvertDrawing(drawing, pdf, asPdf);
    ASSERT_EQ(r.Code, crDone) << r.Refused;
  }
  const std::vector<uint8_t> newPdf = Undated(ReadFile(pdf));
  ASSERT_TRUE(std::string(newPdf.begin(), newPdf.end()).find("/Subtype /Image") != std::string::npos);
  for (const bool named : {false, true}) {
    SetUnnamedOutputFiles(!named);
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    for (const TFault& fault : Faults()) {
      TConvertResult r;
      WriteFile(pdf, old);
      Walk(fault, [&] {
        TConversionSession run;
        run.StartUp({scratch});
        r = run.ConvertDrawing(drawing, pdf, asPdf);
        run.CleanUp();
        return r.Code == crDone;
      }, [&](bool done) {
        if (done) {
          EXPECT_EQ(Undated(ReadFile(pdf)), newPdf);
        } else {
          const std::vector<uint8_t> now = ReadFile(pdf);
          EXPECT_TRUE(Unharmed(r.OutputPlaced ? Undated(now) : now, old, newPdf, r.OutputPlaced));
          const int reported = r.Code == crReadFailed ? r.ReadError.ErrorNumber : r.ErrorNumber;
          EXPECT_EQ(reported, fault.Error) << r.Code;
          EXPECT_EQ(r.Refused, "");
        }
        EXPECT_EQ(Names(tmp.Path()), (std::set<std::string>{"in.jww", "out.jww", "out.pdf", "scratch"}));
        for (const auto& e : fs::recursive_directory_iterator(scratch)) ADD_FAILURE() << "left: " << e.path();
        WriteFile(pdf, old);
      });
    }
  }
  SetUnnamedOutputFiles(true);
}

// The DXF cannot take its name, and the disk refuses once more when the
// old folder of images is given its name back.
class TDxfAndFolderBackFail final : public TPassingFileOps {
 public:
  int RenameAt(int od, const char* op, int nd, const char* np, unsigned f) override {
    const bool dxf = std::string_view(np).ends_with(".dxf"), back = dxfFailed_ && (f & RENAME_EXCHANGE) != 0;
    if ((dxf && !dxfFailed_) || (back && !backFailed_)) {
      (dxf ? dxfFailed_ : backFailed_) = true;
      errno = EIO;
      return -1;
    }
    return Real().RenameAt(od, op, nd, np, f);
  }
  bool dxfFailed_ = false, backFailed_ = false;
};

TEST_F(FaultyFiles, AnOldFolderOfImagesTakesItsNameBackWhenTheDiskRefusedOnce) {
  session.CleanUp();
  const std::string drawing = tmp.File("in.jww"), dxf = tmp.File("out.dxf"), images = tmp.File("out-images");
  WriteFile(drawing, DxfCaseFile(700));
  WriteFile(dxf, old);
  ASSERT_TRUE(fs::create_directory(images));
  WriteFile(images + "/image-1.bmp", old);
  TDxfAndFolderBackFail ops;
  TConvertResult r;
  {
    TFileOpsInPlace inPlace(ops);
    TConversionSession run;
    run.StartUp({scratch});
    r = run.ConvertDrawing(drawing, dxf, TConvertOptions{true, false});
    run.CleanUp();
  }
  ASSERT_TRUE(ops.dxfFailed_ && ops.backFailed_);
  EXPECT_EQ(r.ErrorNumber, EIO);
  EXPECT_EQ(ReadFile(dxf), old);
  EXPECT_EQ(Contents(images), (std::map<std::string, std::vector<uint8_t>>{{"image-1.bmp", old}}));
  EXPECT_EQ(Names(tmp.Path()), (std::set<std::string>{"in.jww", "out.jww", "out.dxf", "out-images", "scratch"}));
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

// Two faults in one run, each with a countdown of its own, over the calls
// that put an output in place of an old file and those around it: its
// folder opened, the syncs, the links (one refused as on a file system
// without hard links), the renames, the removals, the mode and owner, the
// closes. The second walks every call after the first, the first every
// call, until a run meets no fault. Whatever the pair, the old file stands
// or the complete new one, as the run's message says; nothing is left; and
// the status is the one for what failed.
TEST_F(FaultyFiles, EveryPairOfFailuresAroundTheCommitIsToldTruly) {
  const unsigned mask = kOpAll & ~(kOpWrite | kOpRead);
  uint64_t pairs = 0, firsts = 0;
  for (const bool named : {false, true}) {
    SetUnnamedOutputFiles(!named);
    for (const auto& [first, second] : {std::pair{EPERM, EIO}, std::pair{EIO, EIO}}) {
      for (uint64_t i = 1;; ++i) {
        bool firstMet = false;
        for (uint64_t j = i + 1;; ++j) {
          SCOPED_TRACE(testing::Message() << (named ? "named" : "unnamed") << ": call " << i << " fails with "
                                          << std::strerror(first) << ", call " << j << " with " << std::strerror(second));
          WriteFile(out, old);
          TFaultyFileOps ops({i, false, first, false, mask}, {j, false, second, false, mask});
          TOutcome o;
          {
            TFileOpsInPlace inPlace(ops);
            o = ConvertOne(session, in, out);
          }
          firstMet = ops.Injected(0) > 0;
          if (ops.Injected(1) == 0) break;
          ++pairs;
          const std::vector<uint8_t> now = ReadFile(out);
          if (o.Exit == kExitOk) {
            EXPECT_EQ(now, expected);
          } else {
            // The input's opening may have failed too.
            EXPECT_TRUE(o.Exit == kExitWriteFailed || o.Exit == kExitReadFailed) << o.Err;
            const bool namesError = o.Err.find(std::strerror(first)) != std::string::npos ||
                                     o.Err.find(std::strerror(second)) != std::string::npos;
            EXPECT_TRUE(namesError) << o.Err;
            EXPECT_EQ(now, SaysPlaced(o.Err) ? expected : old) << o.Err;
          }
          ExpectNothingLeft();
          if (HasFatalFailure()) return;
          ASSERT_LT(j, 500u);
        }
        if (!firstMet) break;
        ++firsts;
      }
    }
  }
  SetUnnamedOutputFiles(true);
  std::printf("[   INFO   ] %llu pairs of failures walked from %llu first ones\n",
              static_cast<unsigned long long>(pairs), static_cast<unsigned long long>(firsts));
  EXPECT_GT(pairs, 100u);
}

// Where the file replaced cannot be kept for the way back (no hard links:
// every link refused as on FAT) and the folder's sync fails once the new
// file has the name, the run does not claim that nothing changed: the new
// file stands, and the message says so.
TEST_F(FaultyFiles, ANewFileThatCouldNotBeTakenBackIsSaidToStand) {
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    SetUnnamedOutputFiles(!named);
    WriteFile(out, old);
    // The unnamed way links its file to a hidden name first: only the link
    // that would keep the old file is refused.
    TFaultyFileOps ops({named ? 1u : 2u, false, EPERM, false, kOpLink}, {2, false, EIO, false, kOpSync});
    TOutcome o;
    {
      TFileOpsInPlace inPlace(ops);
      o = ConvertOne(session, in, out);
    }
    EXPECT_EQ(ops.Injected(), 2u);
    EXPECT_EQ(o.Exit, kExitWriteFailed);
    EXPECT_EQ(ReadFile(out), expected);
    EXPECT_TRUE(SaysPlaced(o.Err)) << o.Err;
    ExpectNothingLeft();
  }
  SetUnnamedOutputFiles(true);
}

// The system's calls, noting the mode of every file right in the output's
// folder (not in a folder below it) that is written, as each write begins.
class TModeWatch final : public TPassingFileOps {
 public:
  explicit TModeWatch(std::string folder) : folder_(std::move(folder)) {}
  long Write(int fd, const void* data, size_t size) override {
    char link[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
    struct stat st;
    const std::string path(link, n > 0 ? static_cast<size_t>(n) : 0);
    if (path.starts_with(folder_) && path.find('/', folder_.size()) == std::string::npos && ::fstat(fd, &st) == 0)
      modes_.fetch_or(st.st_mode & 07777);
    return Real().Write(fd, data, size);
  }
  // Every mode bit that any such file had while it was written.
  unsigned Modes() const { return modes_.load(); }

 private:
  const std::string folder_;
  std::atomic<unsigned> modes_{0};
};

// A private drawing's output is private from its first byte, not only once
// complete; and an owner that cannot be carried over (as for a user who is
// not root) fails nothing.
TEST_F(FaultyFiles, APrivateOutputIsPrivateFromItsFirstByteAndARefusedOwnerFailsNothing) {
  const mode_t umask = ::umask(022);
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    SetUnnamedOutputFiles(!named);
    WriteFile(out, old);
    ASSERT_EQ(::chmod(out.c_str(), 0600), 0);
    TModeWatch watch(tmp.Path());
    {
      TFileOpsInPlace inPlace(watch);
      ASSERT_EQ(session.ConvertDrawing(in, out).Code, crDone);
    }
    EXPECT_EQ(watch.Modes(), 0600u);
    struct stat st;
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    // Another user's file, whose owner this run may not give the new one:
    // the conversion is done, the new file stays this user's and private,
    // and takes no bit of the other's mode.
    WriteFile(out, old);
    ASSERT_EQ(::chown(out.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::chmod(out.c_str(), 06666), 0);
    TFaultyFileOps refused({1, true, EPERM, false, kOpChangeOwner});
    EXPECT_EQ(Convert(refused).Code, crDone);
    EXPECT_EQ(refused.FailedKinds(), unsigned(kOpChangeOwner));
    EXPECT_EQ(ReadFile(out), expected);
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ExpectNothingLeft();
  }
  SetUnnamedOutputFiles(true);
  ::umask(umask);
}

// A read of the input that fails, in the reader's own reads and in those of
// the thread that reads a larger drawing ahead: the run fails naming the
// input and the system's reason, as a drawing that cannot be read, never
// with a drawing cut short or a success; the old output stays.
TEST_F(FaultyFiles, AFailedReadOfTheInputIsReportedAsSuch) {
  // A drawing of several read-ahead blocks besides the small one.
  TJwwData big = NewDrawing(600);
  for (int i = 0; i < 60000; ++i) AddToDrawing(big, MakeLine(i, 0, i, 1));
  const std::string large = tmp.File("large.jww");
  WriteFile(large, Serialize(big, 600));
  ASSERT_GT(ReadFile(large).size(), 2 * TReadAhead::kBlockSize);
  for (const std::string& input : {in, large}) {
    SCOPED_TRACE(input);
    session.ImageSwitchWrite = false;  // the reads of the input alone
    TFaultyFileOps count({0, false, 0, false, kOpRead});
    {
      TFileOpsInPlace inPlace(count);
      ASSERT_EQ(ConvertOne(session, input, out).Exit, kExitOk);
    }
    ASSERT_GE(count.Calls(), 1u);
    for (uint64_t n = 1; n <= count.Calls(); ++n) {
      SCOPED_TRACE(testing::Message() << "read " << n);
      WriteFile(out, old);
      TFaultyFileOps ops({n, false, EIO, false, kOpRead});
      TOutcome o;
      {
        TFileOpsInPlace inPlace(ops);
        o = ConvertOne(session, input, out);
      }
      EXPECT_EQ(ops.Injected(), 1u);
      EXPECT_EQ(o.Exit, kExitReadFailed) << o.Err;
      EXPECT_EQ(o.Err.rfind("quorvex-convert: " + input + ": cannot be loaded at byte ", 0), 0u) << o.Err;
      EXPECT_NE(o.Err.find(std::strerror(EIO)), std::string::npos) << o.Err;
      EXPECT_EQ(ReadFile(out), old);
    }
    session.ImageSwitchWrite = true;
  }
  fs::remove(large);
}

// The system's calls, except that every look at a path that holds `part`
// fails with EIO, however often it is made again.
class TBlindTo final : public TPassingFileOps {
 public:
  explicit TBlindTo(std::string part) : part_(std::move(part)) {}
  int StatAt(int dirFd, const char* path, struct stat* st, int flags) override {
    if (std::string_view(path).find(part_) == std::string_view::npos) return Real().StatAt(dirFd, path, st, flags);
    ++failed_;
    errno = EIO;
    return -1;
  }
  int Failed() const { return failed_; }

 private:
  const std::string part_;
  std::atomic<int> failed_{0};
};

// A file that cannot be looked at is neither missing nor anybody else's:
// the input is not a bad name but cannot be read; a carried image is not
// left out of the drawing (nor can it be opened: the drawing is not
// written, and the old one stays); the
// output's name is not taken for a new one (whose mode would not be the
// old file's); and a hidden name of the program's own is removed, not
// left.
TEST_F(FaultyFiles, AFileThatCannotBeLookedAtIsNeitherMissingNorLeftBehind) {
  struct TCase {
    const char* Part;
    TExitCode Exit;
  };
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    SetUnnamedOutputFiles(!named);
    for (const TCase& c : {TCase{"in.jww", kExitReadFailed}, TCase{"/image-", kExitWriteFailed},
                           TCase{"out.jww", kExitWriteFailed},
                           TCase{".quorvex-output-", named ? kExitWriteFailed : kExitOk}}) {
      SCOPED_TRACE(c.Part);
      WriteFile(out, old);
      TBlindTo blind(c.Part);
      TOutcome o;
      {
        TFileOpsInPlace inPlace(blind);
        o = ConvertOne(session, in, out);
      }
      EXPECT_GT(blind.Failed(), 0);
      EXPECT_EQ(o.Exit, c.Exit) << o.Err;
      EXPECT_EQ(ReadFile(out), c.Exit == kExitOk ? expected : old);
      if (c.Exit != kExitOk) {
        EXPECT_NE(o.Err.find(std::strerror(EIO)), std::string::npos) << o.Err;
      }
      ExpectNothingLeft();
    }
  }
  SetUnnamedOutputFiles(true);
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

// The system's calls, except that a file in this folder is removed just
// before it is opened for reading, as by another hand meanwhile.
class TGoneWhenRead final : public TPassingFileOps {
 public:
  explicit TGoneWhenRead(std::string folder) : folder_(std::move(folder)) {}
  int OpenAt(int d, const char* p, int f, unsigned m) override {
    if ((f & O_ACCMODE) == O_RDONLY && !(f & O_CREAT) && std::string_view(p).starts_with(folder_) &&
        Real().UnlinkAt(AT_FDCWD, p, 0) == 0)
      ++gone_;
    return Real().OpenAt(d, p, f, m);
  }
  int Gone() const { return gone_; }

 private:
  const std::string folder_;
  int gone_ = 0;
};

// A carried image whose scratch file is gone by the time the DXF is written
// is left out of the DXF and counted as not carried (as the JWW writer
// leaves it out): the DXF is written all the same.
TEST_F(FaultyFiles, AScratchImageGoneBeforeTheDxfIsWrittenIsLeftOutAndCounted) {
  const std::string drawing = tmp.File("images.jww"), dxf = tmp.File("out.dxf");
  WriteFile(drawing, DxfCaseFile(700));  // two images
  const TConvertOptions asDxf{true, false};
  ASSERT_EQ(session.ConvertDrawing(drawing, dxf, asDxf).Note.find("image"), std::string::npos);
  fs::remove_all(tmp.File("out-images"));
  fs::remove(dxf);
  TGoneWhenRead gone(session.TempDir);
  TConvertResult r;
  {
    TFileOpsInPlace inPlace(gone);
    r = session.ConvertDrawing(drawing, dxf, asDxf);
  }
  EXPECT_EQ(gone.Gone(), 2);
  EXPECT_EQ(r.Code, crDone);
  EXPECT_NE(r.Note.find("2 images"), std::string::npos) << r.Note;
  EXPECT_TRUE(FileExists(dxf));
  EXPECT_FALSE(fs::exists(tmp.File("out-images")));
  fs::remove(drawing);
  fs::remove(dxf);
  ExpectNothingLeft();
}

// The system's calls, except that just before the caller's file is
// opened to be written into, its name is given to a link to it (the file
// itself moved to another name), as another program might do meanwhile.
class TLinkedMeanwhile final : public TPassingFileOps {
 public:
  TLinkedMeanwhile(std::string path, std::string moved) : path_(std::move(path)), moved_(std::move(moved)) {}
  int OpenAt(int d, const char* p, int f, unsigned m) override {
    if (!done_ && path_ == p && (f & O_ACCMODE) == O_WRONLY && !(f & O_CREAT)) {
      done_ = true;
      fs::rename(path_, moved_);
      fs::create_symlink(moved_, path_);
    }
    return Real().OpenAt(d, p, f, m);
  }
  bool Done() const { return done_; }

 private:
  const std::string path_, moved_;
  bool done_ = false;
};

// The system's calls, except that a look at this very path fails (with
// EIO, or the error given).
class TBlindToPath final : public TPassingFileOps {
 public:
  explicit TBlindToPath(std::string path, int error = EIO) : path_(std::move(path)), error_(error) {}
  int StatAt(int d, const char* p, struct stat* st, int f) override {
    if (d != AT_FDCWD || path_ != p) return Real().StatAt(d, p, st, f);
    errno = error_;
    return -1;
  }

 private:
  const std::string path_;
  const int error_;
};

// Memory the system lacks while the input is looked at is no fault of the
// drawing's, as while it is read: out of memory, for a conversion and a
// picture alike.
TEST_F(FaultyFiles, MemoryTheSystemLacksWhileTheInputIsLookedAtIsOutOfMemory) {
  TBlindToPath blind(in, ENOMEM);
  TFileOpsInPlace inPlace(blind);
  const TOutcome converted = ConvertOne(session, in, out);
  EXPECT_EQ(converted.Exit, kExitOutOfMemory) << converted.Err;
  EXPECT_EQ(ReadFile(out), old);
  const TOutcome drawn = DrawOne(false, in, tmp.File("out.svg"));
  EXPECT_EQ(drawn.Exit, kExitOutOfMemory) << drawn.Err;
  EXPECT_FALSE(FileExists(tmp.File("out.svg")));
}

// The caller's file is written into only while it is surely that file: one
// that cannot be looked at (its name, or the file once opened) is neither
// written into, nor emptied, nor replaced; a link put at its name meanwhile
// is not followed; and a close that fails is told.
TEST_F(FaultyFiles, TheCallersFileIsWrittenIntoOnlyWhileItIsSurelyThatFile) {
  const std::string png = tmp.File("thumb.png"), moved = tmp.File("moved.png");
  const std::vector<uint8_t> picture = Pattern(5000, 3);
  // Its name cannot be looked at (from its folder it can, as a new file
  // that took the name would be), or the file once opened cannot.
  TBlindToPath blindName(png);
  TFaultyFileOps blindOpened({2, true, EIO, false, kOpLook});
  for (TFileOps* ops : {static_cast<TFileOps*>(&blindName), static_cast<TFileOps*>(&blindOpened)}) {
    WriteFile(png, old);
    const std::optional<TFileId> before = FileAt(png, false);
    {
      TFileOpsInPlace inPlace(*ops);
      EXPECT_EQ(WriteFileInPlace(png, picture.data(), picture.size()), EIO);
    }
    EXPECT_EQ(FileAt(png, false), before);
    EXPECT_EQ(ReadFile(png), old);
  }
  EXPECT_GT(blindOpened.Injected(), 0u);
  TFaultyFileOps closing({1, false, EIO, false, kOpClose});
  {
    TFileOpsInPlace inPlace(closing);
    EXPECT_EQ(WriteFileInPlace(png, picture.data(), picture.size()), EIO);
  }
  EXPECT_EQ(closing.Injected(), 1u);
  WriteFile(png, old);
  TLinkedMeanwhile linked(png, moved);
  {
    TFileOpsInPlace inPlace(linked);
    (void)WriteFileInPlace(png, picture.data(), picture.size());
  }
  ASSERT_TRUE(linked.Done());
  EXPECT_EQ(ReadFile(moved), old);
  fs::remove(png);
  fs::remove(moved);
}

// A folder sync that fails once a new output has its name takes the name
// away again: no new file is left there, nor said to be. One that the file
// system cannot make at all (EINVAL, as some cannot sync a folder) fails
// nothing.
TEST_F(FaultyFiles, AFailedFolderSyncTakesANewOutputAwayAndOneThatCannotBeMadeFailsNothing) {
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    SetUnnamedOutputFiles(!named);
    fs::remove(out);
    TFaultyFileOps failing({2, false, EIO, false, kOpSync});  // the output's own sync, then its folder's
    const TConvertResult r = Convert(failing);
    EXPECT_EQ(failing.Injected(), 1u);
    EXPECT_EQ(r.Code, crWriteFailed);
    EXPECT_FALSE(r.OutputPlaced);
    EXPECT_FALSE(FileExists(out));
    TFaultyFileOps unable({2, false, EINVAL, false, kOpSync});
    EXPECT_EQ(Convert(unable).Code, crDone);
    EXPECT_EQ(unable.Injected(), 1u);
    EXPECT_EQ(ReadFile(out), expected);
    ExpectNothingLeft();
  }
  SetUnnamedOutputFiles(true);
}

// The system's calls as in a sandbox without /proc: nothing can be looked
// at or linked through it.
class TNoProc final : public TPassingFileOps {
 public:
  int StatAt(int d, const char* p, struct stat* st, int f) override {
    if (std::string_view(p).starts_with("/proc/")) return Refused();
    return Real().StatAt(d, p, st, f);
  }
  int LinkAt(int od, const char* op, int nd, const char* np, int f) override {
    if (std::string_view(op).starts_with("/proc/")) return Refused();
    return Real().LinkAt(od, op, nd, np, f);
  }
  int OpenAt(int d, const char* p, int f, unsigned m) override {
    if ((f & O_CREAT) && std::string_view(p).starts_with(".quorvex-output-")) named_ = true;
    return Real().OpenAt(d, p, f, m);
  }
  bool Named() const { return named_; }

 private:
  int Refused() {
    errno = ENOENT;
    return -1;
  }
  bool named_ = false;
};

// Without /proc an unnamed output could never be linked into place: it
// takes the named way, and is written whole.
TEST_F(FaultyFiles, WithoutProcAnOutputTakesTheNamedWay) {
  TNoProc noProc;
  ASSERT_EQ(Convert(noProc).Code, crDone);
  EXPECT_TRUE(noProc.Named());
  EXPECT_EQ(ReadFile(out), expected);
  ExpectNothingLeft();
}

// Where the file system has no locks (every lock refused with ENOLCK) an
// output is written all the same, and the file it replaces is still kept
// for the way back: a folder sync that fails gives it its name back. Only
// a file that another program holds locked is not kept: the new one then
// stands, and the run says so.
TEST_F(FaultyFiles, WithoutLocksTheFileReplacedIsStillKeptForTheWayBack) {
  for (const bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    SetUnnamedOutputFiles(!named);
    WriteFile(out, old);
    TFaultyFileOps noLocks({1, true, ENOLCK, false, kOpLock});
    EXPECT_EQ(Convert(noLocks).Code, crDone);
    EXPECT_GT(noLocks.Injected(), 0u);
    EXPECT_EQ(ReadFile(out), expected);
    WriteFile(out, old);
    TFaultyFileOps noLocksNorSync({1, true, ENOLCK, false, kOpLock}, {2, false, EIO, false, kOpSync});
    TConvertResult r = Convert(noLocksNorSync);
    EXPECT_EQ(noLocksNorSync.Injected(1), 1u);
    EXPECT_EQ(r.Code, crWriteFailed);
    EXPECT_FALSE(r.OutputPlaced);
    EXPECT_EQ(ReadFile(out), old);
    ExpectNothingLeft();
    {
      TFd other(::open(out.c_str(), O_RDONLY | O_CLOEXEC));
      ASSERT_EQ(::flock(other.Get(), LOCK_EX), 0);
      TFaultyFileOps noSync({2, false, EIO, false, kOpSync});
      r = Convert(noSync);
    }
    EXPECT_EQ(r.Code, crWriteFailed);
    EXPECT_TRUE(r.OutputPlaced);
    EXPECT_EQ(ReadFile(out), expected);
    ExpectNothingLeft();
  }
  SetUnnamedOutputFiles(true);
}

}  // namespace
}  // namespace qtest
