#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "writer_util.h"

namespace qtest {
namespace {

// Starts the converter with these arguments (quoted: the test's paths hold
// no quote) after a prefix of environment settings; Finish gives its exit
// status and what it printed.
FILE* Start(const std::vector<std::string>& args, const std::string& env = "") {
  std::string command = env + QUORVEX_CONVERT_BIN;
  for (const std::string& arg : args) command += " '" + arg + "'";
  return ::popen((command + " 2>/dev/null").c_str(), "r");
}
std::pair<int, std::string> Finish(FILE* f) {
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out += char(c);
  const int status = ::pclose(f);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
int Exit(const std::vector<std::string>& args) { return Finish(Start(args)).first; }

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    TJwwData d = GeneratedDrawing(600, false);  // 2 dimensions to explode into 6 lines and 8 points
    ASSERT_EQ(d.Write(a, 600, TWriterFallbacks{}, nullptr), 0);
  }
  TempFolder tmp;
  const std::string a = tmp.File("a.jww"), b = tmp.File("b.jww");
};

TEST_F(Cli, ExitCodesTellWhatWentWrong) {
  WriteFile(tmp.File("junk.jww"), {'j', 'u', 'n', 'k'});
  const std::string missing = tmp.File("missing.jww");
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{missing, b}, 3}, {{a, tmp.File("b.dxf")}, 4}, {{a, a}, 4}, {{tmp.File("junk.jww"), b}, 1},
      {{a, tmp.File("no/such/folder/b.jww")}, 5}, {{a, tmp.File("ok.jww")}, 0}, {{}, 2}, {{a}, 2}, {{a, b, b}, 2}, {{"-d", tmp.Path()}, 2},
      // No folder to write into. The input does not exist, so even a converter
      // that took "" for "/" writes nothing there; it would answer 6, not 2.
      {{"-d", "", missing}, 2},
  };
  for (const auto& [args, code] : cases) EXPECT_EQ(Exit(args), code) << args.size();
  EXPECT_FALSE(FileExists(b));  // from the failed runs
}

TEST_F(Cli, ManyDrawingsGoOnPastAFailureAndReportWhatWasDone) {
  const std::string dir = tmp.File("out");
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  WriteFile(tmp.File("bad.jww"), {'b', 'a', 'd'});
  std::filesystem::copy_file(a, tmp.File("c.jww"));
  const auto [exit, out] = Finish(Start({"-d", dir, a, tmp.File("bad.jww"), tmp.File("c.jww")}));
  EXPECT_EQ(exit, 6);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;  // a line for each drawing converted
  for (const char* part : {"2 dimensions exploded", "6 lines", "8 points"}) EXPECT_NE(out.find(part), out.npos) << out;
  EXPECT_TRUE(FileExists(dir + "/a.jww") && FileExists(dir + "/c.jww") && !FileExists(dir + "/bad.jww"));
  EXPECT_EQ(Exit({"-d", dir + "/", a}), 0);
}

TEST_F(Cli, ParallelRunsKeepTheirScratchFilesApart) {
  // Two drawings carrying different images under one name, converted at
  // once with their scratch folders in the test's folder.
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeText(N("^@BM%temp%big.bmp,0,0,10,10")));
  for (const std::string n : {"0", "1"})
    WriteFile(tmp.File("in" + n + ".jww"), WithImages(Serialize(d, 700), {{N("big.bmp.gz"), Pattern(2000000, n[0])}}));
  std::vector<FILE*> runs;
  for (const std::string n : {"0", "1"})
    runs.push_back(Start({tmp.File("in" + n + ".jww"), tmp.File("out" + n + ".jww")}, "TMPDIR='" + tmp.Path() + "' "));
  for (FILE* run : runs) EXPECT_EQ(Finish(run).first, 0);
  for (const std::string n : {"0", "1"}) {
    TImageStore store{tmp.File("images" + n + "/"), {}};
    TJwwData back;
    EXPECT_TRUE(std::filesystem::create_directory(store.TempDir) && back.Read(tmp.File("out" + n + ".jww"), &store) &&
                ReadFile(store.TempDir + "big.bmp.gz") == Pattern(2000000, n[0])) << n;
  }
  // Each run removed its own scratch folder: a.jww, in*, out* and images* are left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 7);
}

}  // namespace
}  // namespace qtest
