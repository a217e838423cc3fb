#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <tuple>

#include "convert/drawingfile.h"
#include "convert/outputs.h"
#include "text/columns.h"
#include "dxf_cases.h"
#include "writer_util.h"

namespace qtest {
namespace {

// Starts the converter with these arguments (quoted: the test's paths hold
// no quote) after a prefix of environment settings, its errors going to
// errors (or nowhere); Finish gives its exit status and what it printed.
FILE* Start(const std::vector<std::string>& args, const std::string& env = "", const std::string& errors = "") {
  std::string command = env + QUORVEX_CONVERT_BIN;
  for (const std::string& arg : args) command += " '" + arg + "'";
  return ::popen((command + " 2>'" + (errors.empty() ? "/dev/null" : errors) + "'").c_str(), "r");
}
std::pair<int, std::string> Finish(FILE* f) {
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out += char(c);
  const int status = ::pclose(f);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
int Exit(const std::vector<std::string>& args) { return Finish(Start(args)).first; }

// The signals that end a run after it has removed what it made.
constexpr int kInterrupts[] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT};

// Starts the converter (or another program) in the background with these
// environment settings (NAME=value) added and the interrupting signals at
// their defaults, as from a terminal; its output goes to `out` (a
// descriptor), else nowhere.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env, int out = -1,
            const char* program = QUORVEX_CONVERT_BIN) {
  std::vector<std::string> argStrings = {program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (std::string& a : argStrings) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = env;  // first: they win over inherited ones
  for (char** e = environ; *e; ++e) envStrings.push_back(*e);
  for (std::string& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  if (out >= 0) posix_spawn_file_actions_adddup2(&files, out, 1);
  else posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults, none;
  sigemptyset(&defaults), sigemptyset(&none);
  for (int sig : kInterrupts) sigaddset(&defaults, sig);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  if (::posix_spawn(&pid, argv[0], &files, &attr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  return pid;
}

// A wait status as the tests compare it: the exit status, or 1000 + the
// signal when a signal ended the process.
int ExitOrSignal(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status); }

// The exit status of a process started by Spawn (ExitOrSignal).
int Wait(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid ? ExitOrSignal(status) : -1;
}

// Waits until the process holds a file open inside this folder (its output
// being written). False when it ended first.
bool WaitUntilWriting(pid_t pid, const std::string& folder) {
  const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
  for (;;) {
    std::error_code e;
    int open = 0;
    for (const auto& fd : std::filesystem::directory_iterator(fds, e)) {
      ++open;
      const std::string target = std::filesystem::read_symlink(fd.path(), e).string();
      if (target.rfind(folder + "/", 0) == 0) return true;
    }
    if (open == 0) return false;  // ended: a zombie holds no files
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Runs the converter (Spawn) on a pipe named `fifo` and waits until it
// ends, or until it opens the pipe for reading (a writer's non-blocking
// open succeeds only then), which would hang it: then the writer's end is
// opened and closed so that it goes on, and the result is -2.
int RunWithoutOpeningForReading(const std::vector<std::string>& args, const std::string& fifo) {
  const pid_t pid = Spawn(args, {});
  if (pid <= 0) return -1;
  for (;;) {
    int status = 0;
    if (const pid_t r = ::waitpid(pid, &status, WNOHANG); r == pid)
      return ExitOrSignal(status);
    else if (r < 0) return -1;
    if (const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC); w >= 0) {
      ::close(w);
      Wait(pid);
      return -2;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    TJwwData d = GeneratedDrawing(600, false);  // 2 dimensions to explode into 6 lines and 8 points
    ASSERT_EQ(WriteDrawingFile(d, a, 600, TWriterFallbacks{}, nullptr), 0);
  }
  TempFolder tmp;
  const std::string a = tmp.File("a.jww"), b = tmp.File("b.jww");
};

TEST_F(Cli, ExitCodesTellWhatWentWrong) {
  WriteFile(tmp.File("junk.jww"), {'j', 'u', 'n', 'k'});
  const std::string missing = tmp.File("missing.jww");
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{missing, b}, 3}, {{a, tmp.File("b.txt")}, 4}, {{a, a}, 4}, {{tmp.File("junk.jww"), b}, 1},
      {{a, tmp.File("no/such/folder/b.jww")}, 5}, {{a, tmp.File("ok.jww")}, 0}, {{}, 2}, {{a}, 2}, {{a, b, b}, 2}, {{"-d", tmp.Path()}, 2},
      // No folder to write into. The input does not exist, so even a converter
      // that took "" for "/" writes nothing there; it would answer 6, not 2.
      {{"-d", "", missing}, 2},
  };
  for (const auto& [args, code] : cases) EXPECT_EQ(Exit(args), code) << args.size();
  EXPECT_FALSE(FileExists(b));  // from the failed runs
}

// What a run of a program printed on each of its outputs, and its status.
struct TSaid {
  int Exit;
  std::string Out, Err;
};
TSaid Said(const std::vector<std::string>& args, const std::string& env, const TempFolder& tmp,
           const char* program = QUORVEX_CONVERT_BIN) {
  const std::string errors = tmp.File("said-errors");
  std::string command = env + program;
  for (const std::string& arg : args) command += " '" + arg + "'";
  FILE* f = ::popen((command + " 2>'" + errors + "'").c_str(), "r");
  const auto [exit, out] = Finish(f);
  const std::vector<uint8_t> err = ReadFile(errors);
  return {exit, out, std::string(err.begin(), err.end())};
}

// The environment of a run as a script makes it, whatever the test's own.
constexpr char kC[] = "LC_ALL=C LANGUAGE= ";

TEST_F(Cli, WrongUsageNamesTheFaultInOneLineAndPointsToTheHelp) {
  const std::string dir = tmp.File("out");
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  // The arguments, and what the line must name.
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "no drawing named"},
      {{a}, "no output named after '" + a + "'"},
      {{"--dxf", a}, "'--dxf' goes with -d OUTDIR"},
      {{"--dxf", a, tmp.File("a.dxf")}, "'--dxf' goes with -d OUTDIR"},
      {{"-j", "2", a, b}, "'-j' goes with -d OUTDIR"},
      {{a, b, tmp.File("c.jww")}, "one name too many: '" + tmp.File("c.jww") + "'"},
      {{"--frobnicate", a, b}, "unknown option '--frobnicate'"},
      {{a, "-x"}, "unknown option '-x'"},
      {{a, b, "--paper"}, "'--paper' goes before the names of the drawings"},
      {{"--paper", a, b}, "'--paper' is for a .dxf output, not '" + b + "'"},
      {{"--paper", a}, "no output named after '" + a + "'"},
      {{"-d"}, "'-d' needs a folder after it"},
      {{"-d", dir}, "no drawing named to convert into '" + dir + "'"},
      {{"-d", "", a}, "'-d' names no folder"},
      {{"-d", dir, "-d", dir, a}, "'-d' is given twice"},
      {{"-d", dir, "--dxf", "--dxf", a}, "'--dxf' is given twice"},
      {{"-d", dir, "--paper", a}, "'--paper' goes with --dxf"},
      {{"-d", dir, "--frobnicate", a}, "unknown option '--frobnicate'"},
      {{"-d", dir, "-j", "0", a}, "'-j' takes the number of drawings at a time, 1 or more, not '0'"},
      {{"-d", dir, "-jx", a}, "not 'x'"},
      {{"--info"}, "'--info' takes one drawing"},
      {{"--svg", a}, "'--svg' takes a drawing and its picture"},
      {{"--print", "--svg", a, tmp.File("p.svg")}, "'--print' goes right after --svg or --preview"},
      {{"--help", "me"}, "'--help' takes nothing more"},
  };
  for (const auto& [args, fault] : cases) {
    const TSaid said = Said(args, kC, tmp);
    SCOPED_TRACE(testing::Message() << (args.empty() ? "" : args[0]) << " ... (" << args.size() << " words)");
    EXPECT_EQ(said.Exit, 2);
    EXPECT_EQ(said.Out, "");
    const std::string hint = "Try 'quorvex-convert --help' for more information.\n";
    ASSERT_GT(said.Err.size(), hint.size()) << said.Err;
    EXPECT_EQ(said.Err.substr(said.Err.size() - hint.size()), hint) << said.Err;
    const std::string line = said.Err.substr(0, said.Err.size() - hint.size());
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_EQ(line.rfind("quorvex-convert: ", 0), 0u) << line;
    EXPECT_NE(line.find(fault), std::string::npos) << line;
  }
  EXPECT_TRUE(Names(dir).empty());
  EXPECT_FALSE(FileExists(b));
  // Past the first input every word is an input, an option's name too.
  EXPECT_EQ(Said({"-d", dir, a, "-j"}, kC, tmp).Exit, 6);
  EXPECT_EQ(Names(dir), std::set<std::string>{"a.jww"});
}

TEST_F(Cli, ABatchIntoAFolderThatIsNotThereSaysSoOnceAndStops) {
  std::filesystem::copy_file(a, tmp.File("c.jww"));
  WriteFile(tmp.File("file"), {'x'});
  // The status of a bad output name, and one line however many drawings.
  const std::pair<std::string, std::string> cases[] = {{tmp.File("missing"), "no such folder"},
                                                       {tmp.File("missing/deeper"), "no such folder"},
                                                       {tmp.File("file"), "not a folder"}};
  for (const auto& [dir, why] : cases) {
    for (const char* kind : {"--dxf", "-j1"}) {
      const TSaid said = Said({"-d", dir, kind, a, tmp.File("c.jww")}, kC, tmp);
      EXPECT_EQ(said.Exit, 4) << dir;
      EXPECT_EQ(said.Out, "");
      EXPECT_EQ(said.Err, "quorvex-convert: " + dir + ": " + why + "\n");
    }
  }
  EXPECT_FALSE(FileExists(tmp.File("missing")));
  // A folder reached through a link is a folder.
  ASSERT_TRUE(std::filesystem::create_directory(tmp.File("real")));
  std::filesystem::create_directory_symlink(tmp.File("real"), tmp.File("link"));
  EXPECT_EQ(Said({"-d", tmp.File("link"), a}, kC, tmp).Exit, 0);
  EXPECT_TRUE(FileExists(tmp.File("real/a.jww")));
}

TEST_F(Cli, AFolderGivenAsADrawingIsSaidToBeAFolder) {
  const std::string dir = tmp.File("out");
  for (const char* name : {"plans", "plans.jww"}) ASSERT_TRUE(std::filesystem::create_directory(tmp.File(name)));
  for (const char* name : {"plans", "plans.jww"}) {
    const std::string folder = tmp.File(name);
    SCOPED_TRACE(folder);
    const std::string said = "quorvex-convert: " + folder + ": is a folder, not a .jww file\n";
    const TSaid one = Said({folder, b}, kC, tmp), picture = Said({"--svg", folder, tmp.File("p.svg")}, kC, tmp);
    EXPECT_EQ(one.Exit, 3);
    EXPECT_EQ(one.Err, said);
    EXPECT_EQ(picture.Exit, 3);
    EXPECT_EQ(picture.Err, said);
    ASSERT_TRUE(std::filesystem::create_directories(dir));
    const TSaid batch = Said({"-d", dir, folder, a}, kC, tmp);
    EXPECT_EQ(batch.Exit, 6);
    EXPECT_EQ(batch.Err, said);
    EXPECT_TRUE(FileExists(dir + "/a.jww"));  // the rest go on
    std::filesystem::remove_all(dir);
  }
  // What is no folder is still no existing .jww file.
  EXPECT_EQ(Said({tmp.File("missing.jww"), b}, kC, tmp).Err,
            "quorvex-convert: " + tmp.File("missing.jww") + ": not an existing .jww file\n");
}

// What a user needs to know of a DXF is what this drawing lost: the
// explode's counts only when it exploded something, and never the
// character spacing that no DXF text has (each is fitted to its width, as
// the help says once).
TEST_F(Cli, ADxfsLineSaysWhatThisDrawingLostAndNothingOfEveryDrawing) {
  TEntJwwText spaced = MakeText(N("spaced"));
  spaced.Spacing = 1;
  TJwwData plain = NewDrawing(600);
  AddToDrawing(plain, MakeLine(0, 0, 10, 0)), AddToDrawing(plain, spaced);
  ASSERT_EQ(WriteDrawingFile(plain, tmp.File("plain.jww"), 600, TWriterFallbacks{}, nullptr), 0);
  TEntJwwPoint mark = MakePoint(1, 1);
  mark.PenStyle = 100, mark.Code = 3;
  TJwwData marked = NewDrawing(600);
  AddToDrawing(marked, spaced), AddToDrawing(marked, mark);
  ASSERT_EQ(WriteDrawingFile(marked, tmp.File("marked.jww"), 600, TWriterFallbacks{}, nullptr), 0);
  const std::string plainDxf = tmp.File("plain.dxf"), markedDxf = tmp.File("marked.dxf");
  EXPECT_EQ(Said({tmp.File("plain.jww"), plainDxf}, kC, tmp).Out, tmp.File("plain.jww") + " -> " + plainDxf + ": written\n");
  EXPECT_EQ(Said({tmp.File("marked.jww"), markedDxf}, kC, tmp).Out,
            tmp.File("marked.jww") + " -> " + markedDxf + ": not carried: the mark of 1 point\n");
  AddToDrawing(marked, mark);
  ASSERT_EQ(WriteDrawingFile(marked, tmp.File("marked.jww"), 600, TWriterFallbacks{}, nullptr), 0);
  EXPECT_EQ(Said({"--paper", tmp.File("marked.jww"), markedDxf}, kC, tmp).Out,
            tmp.File("marked.jww") + " -> " + markedDxf + ": not carried: the marks of 2 points\n");
  // Two dimensions exploded.
  EXPECT_EQ(Said({a, tmp.File("a.dxf")}, kC, tmp).Out,
            a + " -> " + tmp.File("a.dxf") + ": 2 dimensions exploded, 6 lines and 8 points added\n");
  // A drawing's own conversion tells its counts, none exploded too.
  EXPECT_EQ(Said({tmp.File("plain.jww"), b}, kC, tmp).Out,
            tmp.File("plain.jww") + " -> " + b + ": 0 dimensions exploded, 0 lines and 0 points added\n");
  // The help says once what becomes of spaced texts.
  EXPECT_NE(Said({"--help"}, kC, tmp).Out.find("character spacing: each is fitted to the width it takes"),
            std::string::npos);
}

// The Japanese settings of a user whose numbers are written the German way
// (with a decimal comma), whatever the test's own environment says.
std::optional<std::string> JapaneseUser() {
  const std::optional<std::string> locales = TestLocales();
  if (!locales) return std::nullopt;
  return *locales + "LC_ALL= LC_MESSAGES= LC_CTYPE= LANGUAGE= LANG=ja_JP.UTF-8 LC_NUMERIC=de_DE.UTF-8 ";
}
#define QUORVEX_REQUIRE_JAPANESE()                                                                    \
  if (!JapaneseUser()) GTEST_SKIP() << "no Japanese locale: localedef and Debian's locales are needed"; \
  if (!FileExists(QUORVEX_JAPANESE_CATALOG)) GTEST_SKIP() << "the messages' catalogs were not built (msgfmt)"

// The columns of the widest line of a text.
size_t WidestLine(const std::string& text) {
  size_t widest = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    widest = std::max(widest, Columns(std::string_view(text).substr(at, end - at)));
    at = end + 1;
  }
  return widest;
}

TEST_F(Cli, UnderAJapaneseLocaleTheMessagesAreJapaneseAndNothingElseChanges) {
  QUORVEX_REQUIRE_JAPANESE();
  const std::string ja = *JapaneseUser();
  WriteFile(tmp.File("junk.jww"), {'j', 'u', 'n', 'k', 'j', 'u', 'n', 'k', 'j', 'u', 'n', 'k'});
  // Wrong usage, a run's line and a drawing that cannot be read.
  const TSaid usage = Said({a}, ja, tmp);
  EXPECT_EQ(usage.Exit, 2);
  EXPECT_EQ(usage.Err, "quorvex-convert: '" + a +
                           "' の後に出力が指定されていません\n詳しくは 'quorvex-convert --help' を実行してください。\n");
  EXPECT_EQ(Said({a, tmp.File("ja.jww")}, ja, tmp).Out,
            a + " -> " + tmp.File("ja.jww") + ": 寸法図形 2 個を分解、線 6 本と点 8 個を追加\n");
  const TSaid junk = Said({tmp.File("junk.jww"), b}, ja, tmp);
  EXPECT_EQ(junk.Exit, 1);
  EXPECT_EQ(junk.Err, "quorvex-convert: " + tmp.File("junk.jww") +
                          ": 12 バイト目で途切れています（ヘッダーの読み込み中）。このファイルは図面ファイルの形で始まって"
                          "いません\n");
  EXPECT_EQ(Said({"-d", tmp.File("missing"), a}, ja, tmp).Err,
            "quorvex-convert: " + tmp.File("missing") + ": そのようなフォルダーはありません\n");
  // The help: every option and exit status of the English one, its words
  // in lines a terminal of 80 columns holds (after the synopsis, which is
  // the same in every language).
  const std::string english = Said({"--help"}, kC, tmp).Out, help = Said({"--help"}, ja, tmp).Out;
  EXPECT_NE(help, english);
  EXPECT_EQ(help.rfind("使い方: quorvex-convert INPUT.jww OUTPUT.jww\n", 0), 0u) << help;
  EXPECT_LE(WidestLine(help.substr(help.find("\n\n"))), 80u) << help;
  for (size_t at = 0; at < english.size();) {
    const size_t end = english.find('\n', at);
    const std::string line = english.substr(at, end - at);
    at = end + 1;
    if (line.rfind("  -", 0) != 0 && !(line.size() > 3 && line[2] >= '0' && line[2] <= '9')) continue;
    const std::string word = line.substr(0, line.find(' ', 2));
    EXPECT_NE(help.find("\n" + word + " "), std::string::npos) << word;
  }
  // For scripts: LC_ALL=C is English whatever LANG says.
  EXPECT_EQ(Said({a}, "LC_ALL=C LANG=ja_JP.UTF-8 ", tmp).Err,
            "quorvex-convert: no output named after '" + a + "'\nTry 'quorvex-convert --help' for more information.\n");
  // Only the messages: every output is the one a run in C writes.
  for (const std::vector<std::string>& run :
       {std::vector<std::string>{a, "OUT.jww"}, {a, "OUT.dxf"}, {"--paper", a, "OUT.dxf"}, {"--preview", a, "OUT.svg"}}) {
    std::vector<std::string> c = run, j = run;
    c.back() = tmp.File("c-" + run.back()), j.back() = tmp.File("j-" + run.back());
    ASSERT_EQ(Said(c, kC, tmp).Exit, 0);
    ASSERT_EQ(Said(j, ja, tmp).Exit, 0);
    EXPECT_TRUE(ReadFile(c.back()) == ReadFile(j.back())) << run.back();
    std::filesystem::remove(c.back()), std::filesystem::remove(j.back());
  }
#ifdef QUORVEX_THUMBNAIL_BIN
  const char* thumbnailer = QUORVEX_THUMBNAIL_BIN;
  const TSaid thumbUsage = Said({a}, ja, tmp, thumbnailer);
  EXPECT_EQ(thumbUsage.Exit, 2);
  EXPECT_EQ(thumbUsage.Err, "使い方: quorvex-thumbnail [-s SIZE] [--print] INPUT.jww OUTPUT.png\n");
  const std::string thumbHelp = Said({"--help"}, ja, tmp, thumbnailer).Out;
  EXPECT_NE(thumbHelp.find("\n  -s SIZE     画像の長い辺のピクセル数"), std::string::npos) << thumbHelp;
  EXPECT_LE(WidestLine(thumbHelp), 80u) << thumbHelp;
  const TSaid thumbJunk = Said({tmp.File("junk.jww"), tmp.File("junk.png")}, ja, tmp, thumbnailer);
  EXPECT_EQ(thumbJunk.Exit, 1);
  EXPECT_EQ(thumbJunk.Err.rfind("quorvex-thumbnail: " + tmp.File("junk.jww") + ": 図面として読み込めません: 12 バイト目", 0),
            0u)
      << thumbJunk.Err;
  ASSERT_EQ(Said({a, tmp.File("c.png")}, kC, tmp, thumbnailer).Exit, 0);
  ASSERT_EQ(Said({a, tmp.File("j.png")}, ja, tmp, thumbnailer).Exit, 0);
  EXPECT_TRUE(ReadFile(tmp.File("c.png")) == ReadFile(tmp.File("j.png")));
#endif
}

// Qt, which a PDF needs, takes the whole locale from the environment as
// it starts; the lines after it still write their numbers as in C.
TEST_F(Cli, APdfBatchWritesTheNumbersOfItsLinesWithAPointInEveryCountry) {
  if (!TestLocales()) GTEST_SKIP() << "no German locale: localedef and Debian's locales are needed";
  TJwwData d = NewDrawing(600);
  d.Header.SheetSize = 7;  // of no known size: the page is fitted to the ink, in tenths of millimetres
  AddToDrawing(d, MakeLine(0, 0, 100.25, 33.3));
  for (const char* name : {"odd1.jww", "odd2.jww"})
    ASSERT_EQ(WriteDrawingFile(d, tmp.File(name), 600, TWriterFallbacks{}, nullptr), 0);
  const std::string c = tmp.File("c"), german = tmp.File("de");
  for (const std::string& dir : {c, german}) ASSERT_TRUE(std::filesystem::create_directory(dir));
  const std::vector<std::string> inputs = {tmp.File("odd1.jww"), tmp.File("odd2.jww")};
  auto batch = [&](const std::string& dir) {
    std::vector<std::string> args = {"-d", dir, "--pdf", "-j", "1"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    return args;
  };
  const TSaid inC = Said(batch(c), kC, tmp);
  const TSaid inGerman = Said(batch(german), *TestLocales() + "LANGUAGE= LC_ALL=de_DE.UTF-8 ", tmp);
  ASSERT_EQ(inC.Exit, 0) << inC.Err;
  EXPECT_NE(inC.Out.find(" mm fitted to its ink\n"), std::string::npos) << inC.Out;
  std::string expected = inC.Out;
  for (size_t at; (at = expected.find(c + "/")) != std::string::npos;) expected.replace(at, c.size(), german);
  EXPECT_EQ(inGerman.Out, expected);
}

TEST_F(Cli, ALineTheStandardOutputRefusesIsSaidToBeLost) {
  // The drawing is written; its line is not, and the run says so.
  const std::string errors = tmp.File("errors");
  const int status = std::system(
      (std::string(QUORVEX_CONVERT_BIN) + " '" + a + "' '" + b + "' >/dev/full 2>'" + errors + "'").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_TRUE(FileExists(b));
  const std::vector<uint8_t> said = ReadFile(errors);
  EXPECT_EQ(std::string(said.begin(), said.end()),
            "quorvex-convert: standard output: cannot be written: No space left on device\n");
}

TEST_F(Cli, APipeNamedJwwIsRefusedWithoutBeingOpened) {
  // Opening a pipe for reading waits for a writer that never comes.
  const std::string fifo = tmp.File("pipe.jww"), out = tmp.File("out");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_TRUE(std::filesystem::create_directory(out));
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{"--info", fifo}, 1}, {{fifo, b}, 3}, {{"--svg", fifo, tmp.File("p.svg")}, 3},
      {{"--preview", fifo, tmp.File("p.svg")}, 3}, {{"-d", out, fifo}, 6}};
  for (const auto& [args, code] : cases) EXPECT_EQ(RunWithoutOpeningForReading(args, fifo), code) << args[0];
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
    TKeptImages kept(tmp.File("images" + n + "/"));
    TImageStore& store = kept.Store;
    TJwwData back;
    EXPECT_TRUE(std::filesystem::create_directory(kept.Files.Folder) && ReadDrawingFile(tmp.File("out" + n + ".jww"), back, &store) &&
                ScratchBytes(store, N("big.bmp.gz")) == Pattern(2000000, n[0])) << n;
  }
  // Each run removed its own scratch folder: a.jww, in*, out* and images* are left.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 7);
}

TEST_F(Cli, ABatchNeverOverwritesAnOutputItWrote) {
  // Two drawings of one name from two folders: the second would replace the
  // first one's output.
  const std::string dir = tmp.File("out"), x = tmp.File("x/plan.jww"), y = tmp.File("y/plan.jww");
  for (const char* d : {"out", "x", "y"}) ASSERT_TRUE(std::filesystem::create_directory(tmp.File(d)));
  std::filesystem::copy_file(a, x);
  TJwwData other = NewDrawing(600);
  AddToDrawing(other, MakeLine(0, 0, 1, 1));
  ASSERT_EQ(WriteDrawingFile(other, y, 600, TWriterFallbacks{}, nullptr), 0);
  ASSERT_EQ(Exit({x, tmp.File("expected.jww")}), 0);
  const auto [exit, out] = Finish(Start({"-d", dir, x, y, a}, "", tmp.File("errors")));
  EXPECT_EQ(exit, 6);
  EXPECT_TRUE(ReadFile(dir + "/plan.jww") == ReadFile(tmp.File("expected.jww")));  // the first drawing's
  EXPECT_TRUE(FileExists(dir + "/a.jww"));                                          // the rest go on
  const std::string errors = [&] { const auto b = ReadFile(tmp.File("errors")); return std::string(b.begin(), b.end()); }();
  EXPECT_TRUE(errors.find(x) != errors.npos && errors.find(y) != errors.npos) << errors;
}

TEST_F(Cli, TheOutputsExtensionChoosesDxfAndABatchWritesDxfWithItsOwnRules) {
  const std::string dir = tmp.File("out");
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  const std::pair<std::vector<std::string>, int> cases[] = {
      {{a, tmp.File("a.dxf")}, 0}, {{a, tmp.File("A.DXF")}, 0}, {{"--paper", a, tmp.File("p.dxf")}, 0},
      {{a, tmp.File("a.txt")}, 4}, {{"--paper", a, tmp.File("a.txt")}, 4},
      // The sheet of a drawing is the drawing: --paper asks for a DXF.
      {{"--paper", a, b}, 2}, {{"-d", dir, "--paper", a}, 2}, {{"-d", dir, "--dxf", "--dxf", a}, 2},
      {{"--dxf", a, tmp.File("d.dxf")}, 2}};
  for (const auto& [args, code] : cases) EXPECT_EQ(Exit(args), code) << args[0] << " " << args.back();
  EXPECT_FALSE(FileExists(b) || FileExists(tmp.File("a.txt")));
  // A batch: each to OUTDIR/NAME.dxf, options in any order; two inputs of
  // one name from two folders: the later one is refused.
  const std::string x = tmp.File("x/plan.jww"), y = tmp.File("y/plan.jww");
  for (const char* d : {"x", "y"}) ASSERT_TRUE(std::filesystem::create_directory(tmp.File(d)));
  std::filesystem::copy_file(a, x), std::filesystem::copy_file(a, y);
  const auto [exit, out] = Finish(Start({"--paper", "-j2", "--dxf", "-d", dir, x, y, a}));
  EXPECT_EQ(exit, 6);
  EXPECT_EQ(Names(dir), (std::set<std::string>{"a.dxf", "plan.dxf"}));
  EXPECT_NE(out.find(dir + "/a.dxf: 2 dimensions exploded"), out.npos) << out;
  EXPECT_EQ(ReadFile(dir + "/a.dxf"), ReadFile(tmp.File("p.dxf")));  // --paper, as the single run's
}

// Each kind of output is one row of its table, which the command line, the
// batch, the help and the messages follow: a conversion to its extension,
// its own option, a batch with its option (each output named as the input
// with the kind's extension) and that option with another kind's.
TEST_F(Cli, EachKindOfOutputIsARowTheCommandLineTheBatchAndTheHelpFollow) {
  const std::string help = Finish(Start({"--help"})).second;
  const std::string errors = tmp.File("errors");
  for (const TOutputKind& k : OutputKinds()) {
    const std::string ext = k.Extension;
    SCOPED_TRACE(ext);
    const std::string one = tmp.File("one" + ext);
    const auto [exit, said] = Finish(Start({a, one}));
    EXPECT_EQ(exit, 0);
    EXPECT_TRUE(FileExists(one));
    EXPECT_EQ(said.rfind(a + " -> " + one + ": ", 0), 0u) << said;
    const std::string option = k.Option ? std::string(k.Option) : "";
    EXPECT_NE(help.find((option.empty() ? " " : " [" + option + "] ") + "INPUT.jww OUTPUT" + ext + "\n"), help.npos);
    if (k.Option) {
      EXPECT_EQ(Exit({k.Option, a, tmp.File("own" + ext)}), 0);
      EXPECT_NE(help.find("\n  " + option + " "), help.npos);
    }
    if (!k.BatchOption) continue;
    const std::string dir = tmp.File("batch" + ext);
    ASSERT_TRUE(std::filesystem::create_directory(dir));
    std::filesystem::copy_file(a, tmp.File("Plan.JWW"));
    EXPECT_EQ(Exit({"-d", dir, k.BatchOption, tmp.File("Plan.JWW")}), 0);
    EXPECT_TRUE(FileExists(dir + "/Plan" + ext));
    std::filesystem::remove(tmp.File("Plan.JWW"));
    EXPECT_NE(help.find("\n  " + std::string(k.BatchOption) + " "), help.npos);
    if (k.Option) {
      EXPECT_EQ(Exit({"-d", dir, k.Option, k.BatchOption, a}), 0);
    }
    for (const TOutputKind& other : OutputKinds()) {
      if (other.Option && &other != &k) {
        EXPECT_EQ(Exit({"-d", dir, k.BatchOption, other.Option, a}), 2) << other.Option;
      }
    }
  }
  // A name of no kind: the message names every kind's extension.
  EXPECT_EQ(Finish(Start({a, tmp.File("x.txt")}, "", errors)).first, 4);
  const std::vector<uint8_t> message = ReadFile(errors);
  for (const TOutputKind& k : OutputKinds())
    EXPECT_NE(std::string(message.begin(), message.end()).find(k.Extension), std::string::npos) << k.Extension;
}

TEST_F(Cli, AParallelBatchPrintsWritesAndExitsAsOneAtATime) {
  // The first drawing is slow (it carries an 8 MB image), so that the jobs
  // after it finish first; the later plan.jww would then be converted before
  // the earlier one and its lines printed out of order.
  for (const char* d : {"x", "y", "scratch"}) ASSERT_TRUE(std::filesystem::create_directory(tmp.File(d)));
  const std::string x = tmp.File("x/plan.jww"), y = tmp.File("y/plan.jww"), junk = tmp.File("junk.jww");
  TJwwData slow = NewDrawing(700);
  AddToDrawing(slow, MakeText(N("^@BM%temp%big.bmp,0,0,10,10")));
  WriteFile(x, WithImages(Serialize(slow, 700), {{N("big.bmp"), Pattern(8 << 20, 5)}}));
  std::filesystem::copy_file(a, y);
  WriteFile(junk, {'j', 'u', 'n', 'k'});
  struct TRun {
    int Exit;
    std::string Out, Err;
    std::map<std::string, std::vector<uint8_t>> Files;
  };
  const std::string dir = tmp.File("out"), errors = tmp.File("errors");
  auto run = [&](const char* jobs) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directory(dir);
    TRun r;
    std::tie(r.Exit, r.Out) = Finish(Start({"-d", dir, "-j", jobs, x, junk, tmp.File("missing.jww"), y, a},
                                           "TMPDIR='" + tmp.File("scratch") + "' ", errors));
    const std::vector<uint8_t> err = ReadFile(errors);
    r.Err.assign(err.begin(), err.end());
    for (const std::string& n : Names(dir)) r.Files[n] = ReadFile(dir + "/" + n);
    return r;
  };
  const TRun one = run("1"), two = run("2");
  ASSERT_EQ(one.Exit, 6);
  ASSERT_EQ(one.Files.size(), 2u) << one.Out << one.Err;  // x's plan.jww and a.jww
  EXPECT_EQ(two.Exit, one.Exit);
  EXPECT_EQ(two.Out, one.Out);
  EXPECT_EQ(two.Err, one.Err);
  EXPECT_TRUE(two.Files == one.Files);
  EXPECT_EQ(Names(tmp.File("scratch")), std::set<std::string>{});  // every job's scratch folder
}

// A drawing carrying a 32 MB image: its conversion takes a moment.
class CliInterrupt : public Cli {
 protected:
  void SetUp() override {
    Cli::SetUp();
    TJwwData d = NewDrawing(700);
    AddToDrawing(d, MakeText(N("^@BM%temp%big.bmp,0,0,10,10")));
    WriteFile(big, WithImages(Serialize(d, 700), {{N("big.bmp"), Pattern(32 << 20, 3)}}));
    for (const std::string& f : {scratch, outs}) ASSERT_TRUE(std::filesystem::create_directory(f));
  }
  // Scratch folders go to a folder of the test's own; with named true the
  // output is written through a named hidden file, as on file systems that
  // have no unnamed ones.
  std::vector<std::string> Env(bool named) const {
    std::vector<std::string> env = {"TMPDIR=" + scratch, "XDG_RUNTIME_DIR=" + scratch};
    if (named) env.push_back("QUORVEX_TEST_NAMED_TEMP=1");
    return env;
  }
  const std::string big = tmp.File("big.jww"), scratch = tmp.File("scratch"), outs = tmp.File("outs");
};

TEST_F(CliInterrupt, InterruptedRunsRemoveWhatTheyMadeAndExitWith128PlusTheSignal) {
  for (bool named : {false, true}) for (int sig : kInterrupts) {
    SCOPED_TRACE(testing::Message() << "signal " << sig << (named ? ", named temporary" : ""));
    const pid_t pid = Spawn({big, outs + "/big.jww"}, Env(named));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntilWriting(pid, outs)) << "finished before it could be interrupted";
    ::kill(pid, sig);
    EXPECT_EQ(Wait(pid), 128 + sig);
    EXPECT_EQ(Names(outs), std::set<std::string>{});
    EXPECT_EQ(Names(scratch), std::set<std::string>{});
  }
}

TEST_F(CliInterrupt, AnInterruptedDxfRemovesItsFolderOfImagesAndLeavesTheOldOnes) {
  // A drawing showing a 32 MB bitmap: it goes into the folder of images
  // while the DXF waits.
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeText(N("^@BM%temp%big.bmp,10,10")));
  const std::string drawing = tmp.File("photo.jww"), images = outs + "/photo-images";
  WriteFile(drawing, WithImages(Serialize(d, 700), {{N("big.bmp"), CaseBitmap(4096, 2731)}}));
  for (bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    ASSERT_TRUE(std::filesystem::create_directory(images));
    WriteFile(images + "/image-1.bmp", {'o', 'l', 'd'});
    const pid_t pid = Spawn({drawing, outs + "/photo.dxf"}, Env(named));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntilWriting(pid, outs)) << "finished before it could be interrupted";
    ::kill(pid, SIGTERM);
    EXPECT_EQ(Wait(pid), 128 + SIGTERM);
    EXPECT_EQ(Names(outs), std::set<std::string>{"photo-images"});
    EXPECT_EQ(ReadFile(images + "/image-1.bmp"), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(Names(scratch), std::set<std::string>{});
    std::filesystem::remove_all(images);
  }
}

TEST_F(CliInterrupt, AnInterruptedParallelBatchRemovesWhatEveryJobMade) {
  const std::string big2 = tmp.File("big2.jww");
  std::filesystem::copy_file(big, big2);
  for (bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    const pid_t pid = Spawn({"-d", outs, "-j", "2", big, big2}, Env(named));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntilWriting(pid, outs)) << "finished before it could be interrupted";
    ::kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 128 + SIGINT);
    EXPECT_EQ(Names(scratch), std::set<std::string>{});  // both jobs' scratch folders
    // Only whole outputs stay: those of jobs done before the signal.
    for (const std::string& n : Names(outs)) {
      EXPECT_TRUE(n == "big.jww" || n == "big2.jww") << n;
      EXPECT_EQ(std::filesystem::file_size(outs + "/" + n), std::filesystem::file_size(big)) << n;
      std::filesystem::remove(outs + "/" + n);
    }
  }
}

TEST_F(CliInterrupt, ABatchWhoseReaderGoesAwayRemovesWhatItMade) {
  // quorvex-convert -d outs -j 2 a.jww big.jww big2.jww | head -c1: the pipe's
  // reader is gone when the small drawing's line is printed, while the big
  // ones are at work.
  const std::string big2 = tmp.File("big2.jww");
  std::filesystem::copy_file(big, big2);
  ASSERT_EQ(Exit({a, tmp.File("a-done.jww")}), 0);
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  ::close(pipe[0]);
  const pid_t pid = Spawn({"-d", outs, "-j", "2", a, big, big2}, Env(false), pipe[1]);
  ::close(pipe[1]);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(Wait(pid), 128 + SIGPIPE);
  EXPECT_EQ(Names(scratch), std::set<std::string>{});
  for (const std::string& n : Names(outs)) {  // only whole outputs
    if (n == "a.jww") EXPECT_TRUE(ReadFile(outs + "/" + n) == ReadFile(tmp.File("a-done.jww")));
    else EXPECT_EQ(std::filesystem::file_size(outs + "/" + n), std::filesystem::file_size(big)) << n;
  }
}

#ifdef QUORVEX_THUMBNAIL_BIN
TEST_F(CliInterrupt, AThumbnailerStoppedByTheFileManagerRemovesWhatItMade) {
  // File managers stop a slow thumbnailer with SIGTERM; this one is copying
  // a large image into its scratch folder. (Private, the folder is taken by
  // Qt as the runtime folder too, instead of making one of its own there.)
  std::filesystem::permissions(scratch, std::filesystem::perms::owner_all);
  const pid_t pid = Spawn({big, outs + "/big.png"}, Env(false), -1, QUORVEX_THUMBNAIL_BIN);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitUntilWriting(pid, scratch)) << "finished before it could be stopped";
  ::kill(pid, SIGTERM);
  EXPECT_EQ(Wait(pid), 128 + SIGTERM);
  EXPECT_EQ(Names(scratch), std::set<std::string>{});
  EXPECT_EQ(Names(outs), std::set<std::string>{});
}
#endif

TEST_F(CliInterrupt, TheNextRunSweepsAwayAKilledRunButNeverALiveOne) {
  for (bool named : {false, true}) {
    SCOPED_TRACE(named ? "named temporary" : "unnamed temporary");
    // A run that is writing while another starts and finishes.
    const pid_t live = Spawn({big, outs + "/live.jww"}, Env(named));
    ASSERT_TRUE(live > 0 && WaitUntilWriting(live, outs));
    EXPECT_EQ(Wait(Spawn({a, outs + "/small.jww"}, Env(named))), 0);
    EXPECT_EQ(Wait(live), 0);
    EXPECT_EQ(ReadFile(outs + "/live.jww").size(), std::filesystem::file_size(big));
    // A run killed while writing: the next one leaves nothing of it.
    const pid_t killed = Spawn({big, outs + "/killed.jww"}, Env(named));
    ASSERT_TRUE(killed > 0 && WaitUntilWriting(killed, outs));
    ::kill(killed, SIGKILL);
    EXPECT_EQ(Wait(killed), 1000 + SIGKILL);
    EXPECT_EQ(Wait(Spawn({a, outs + "/next.jww"}, Env(named))), 0);
    EXPECT_EQ(Names(outs), (std::set<std::string>{"live.jww", "next.jww", "small.jww"}));
    EXPECT_EQ(Names(scratch), std::set<std::string>{});
    for (const std::string& n : Names(outs)) std::filesystem::remove(outs + "/" + n);
  }
}

TEST_F(CliInterrupt, TheSweepRemovesOnlyWhatThisProgramMade) {
  // A user's own files and folders with names near the program's: an
  // unpacked source archive, a backup, a settings file, and names of the
  // short form that scratch folders and hidden outputs once had.
  const std::vector<std::string> mine = {scratch + "/quorvex-master/NOTES.txt", scratch + "/quorvex-backup/drawing.jww",
                                         scratch + "/quorvex-scratch-Ab3xZ9/keep", outs + "/.quorvex-config",
                                         outs + "/.quorvex-Ab3xZ9", outs + "/.quorvex-output-Ab3xZ9"};
  for (const std::string& f : mine) {
    std::filesystem::create_directories(std::filesystem::path(f).parent_path());
    WriteFile(f, {'u', 's', 'e', 'r'});
  }
  const std::set<std::string> userScratch = Names(scratch), userOuts = Names(outs);
  // A run killed while writing through a named hidden file leaves that file
  // and its scratch folder; the next run clears both and nothing else.
  const pid_t killed = Spawn({big, outs + "/killed.jww"}, Env(true));
  ASSERT_TRUE(killed > 0 && WaitUntilWriting(killed, outs));
  ::kill(killed, SIGKILL);
  EXPECT_EQ(Wait(killed), 1000 + SIGKILL);
  EXPECT_EQ(Names(scratch).size(), userScratch.size() + 1);
  EXPECT_EQ(Names(outs).size(), userOuts.size() + 1);
  EXPECT_EQ(Wait(Spawn({a, outs + "/next.jww"}, Env(true))), 0);
  EXPECT_EQ(Names(scratch), userScratch);
  std::set<std::string> expected = userOuts;
  expected.insert("next.jww");
  EXPECT_EQ(Names(outs), expected);
  for (const std::string& f : mine) EXPECT_EQ(ReadFile(f), (std::vector<uint8_t>{'u', 's', 'e', 'r'})) << f;
}

}  // namespace
}  // namespace qtest
