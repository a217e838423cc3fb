// The double of the file calls at work through a real conversion: every
// call of the chosen kinds is counted, and the call chosen fails as a disk
// would make it fail.
#include <filesystem>
#include <set>

#include "convert/session.h"
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
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp.Path())) names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"in.jww", "out.jww", "scratch"}));
    size_t folders = 0;
    for (const auto& e : fs::directory_iterator(scratch)) {
      ++folders;
      EXPECT_TRUE(fs::is_empty(e.path())) << e.path();
    }
    EXPECT_EQ(folders, 1u);
  }

  TempFolder tmp;
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

// Every call of a whole conversion (its session's start and end included)
// that changes a file is made to fail in turn: once, as a disk that fails
// for a moment, and from then on, as a disk that stays full (removing still
// works there). The conversion either succeeds with the right output or
// fails naming the error, the output that stood there stays as it was, and
// nothing is left.
TEST_F(FaultyFiles, EveryCallOfAConversionFailsInTurnAndHarmsNothing) {
  session.CleanUp();  // each run below starts its own, the scratch folder made through the double
  for (const bool named : {false, true}) {
    SetUnnamedOutputFiles(!named);
    for (const bool persistent : {false, true}) {
      for (const int error : {ENOSPC, EIO, EDQUOT}) {
        for (uint64_t n = 1;; ++n) {
          SCOPED_TRACE(testing::Message() << "call " << n << (persistent ? " on" : "") << ", error " << error
                                          << (named ? ", named temporary" : ""));
          WriteFile(out, old);
          const unsigned mask = persistent ? kOpAll & ~(kOpRemove | kOpRemoveFolder) : kOpAll;
          TFaultyFileOps ops({n, persistent, error, false, mask});
          TConvertResult r;
          {
            TFileOpsInPlace inPlace(ops);
            TConversionSession run;
            run.StartUp({scratch});
            r = run.ConvertDrawing(in, out);
            run.CleanUp();
          }
          if (ops.Injected() == 0) {
            EXPECT_EQ(r.Code, crDone);
            break;
          }
          if (r.Code == crDone) {
            EXPECT_EQ(ReadFile(out), expected);
          } else {
            EXPECT_EQ(ReadFile(out), old);
            const int reported = r.Code == crReadFailed ? r.ReadError.ErrorNumber : r.ErrorNumber;
            EXPECT_EQ(reported, error) << r.Code;
          }
          std::set<std::string> names;
          for (const auto& e : fs::directory_iterator(tmp.Path())) names.insert(e.path().filename().string());
          EXPECT_EQ(names, (std::set<std::string>{"in.jww", "out.jww", "scratch"}));
          for (const auto& e : fs::recursive_directory_iterator(scratch)) ADD_FAILURE() << "left: " << e.path();
          ASSERT_LT(n, 1000u);
        }
      }
    }
  }
  SetUnnamedOutputFiles(true);
}

}  // namespace
}  // namespace qtest
