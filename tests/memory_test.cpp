// Memory of a conversion stays in proportion to the input's bytes, whatever
// the input: at most 64 MiB + 16 times the file's size at the peak of a
// quorvex-convert run, for files made of the shortest objects of each kind
// and for block trees that fan out to almost a million nodes; and it runs
// with no more address space than 64 MiB + 8 times the file's size.
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <sys/stat.h>

#include <cstdio>
#include <functional>

#include "reader_util.h"

extern char** environ;

namespace qtest {
namespace {

constexpr size_t kMiB = size_t(1) << 20;

size_t ReadFileSize(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

struct TRun {
  int exit = -1;
  size_t peak = 0;  // the child's peak resident set, bytes
};

// Runs the converter in a child process and measures its peak memory; with
// addressSpace, the child may map no more than that many bytes (as under
// `ulimit -v`). The kernel counts into a child's peak the peak of the
// process that started it, so this process must stay small: the inputs
// are built in children.
TRun Convert(std::vector<std::string> args, size_t addressSpace = 0) {
  args.insert(args.begin(), QUORVEX_CONVERT_BIN);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  TRun r;
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1), ::dup2(null, 2);
    const struct rlimit limit = {addressSpace, addressSpace};
    if (addressSpace != 0 && ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), environ);
    ::_exit(127);
  }
  int status = 0;
  struct rusage usage{};
  if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peak = static_cast<size_t>(usage.ru_maxrss) * 1024;
  }
  return r;
}

// A version-300 drawing (13-byte common parts, no dimension parts) of n
// copies of one record.
template <class R>
std::vector<uint8_t> Many(const R& record, size_t n) {
  TJwwData d = NewDrawing(300);
  for (size_t i = 0; i < n; ++i) AddToDrawing(d, record);
  return Serialize(d, 300);
}

// Definition 1 places definition 2 `fan` times, which places definition 3
// `fan` times; the drawing places definition 1 once: 1 + fan + fan² nodes.
std::vector<uint8_t> FanOut(int fan, size_t nameLength) {
  TJwwData d = NewDrawing(600);
  for (int32_t n = 1; n <= 3; ++n) {
    TEntJwwBlockDef& def = AddBlockDef(d, n, N(n == 1 ? "A" : std::string(nameLength, char('A' + n - 1))));
    for (int i = 0; n < 3 && i < fan; ++i) Add(def, def.EntityCount, MakeBlockRef(n + 1, i, 0));
  }
  AddToDrawing(d, MakeBlockRef(1));
  return Serialize(d, 600);
}

// Writes the bytes that `make` gives to `path`, building them in a child
// process; returns the file's size.
template <class F>
size_t MakeFile(const std::string& path, F make) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    WriteFile(path, make());
    ::_exit(0);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 0;
  return ReadFileSize(path);
}

}  // namespace

TEST(Memory, PeakStaysInProportionToTheFileForAnyInput) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' own memory would be measured";
  if (Convert({"--version"}).peak > 48 * kMiB)
    GTEST_SKIP() << "this test process grew large before the test, and a child's peak includes it; run the test "
                    "on its own (as ctest does)";
  constexpr size_t kTarget = 8 * kMiB;
  // Each input is made by a function, in a child process.
  std::vector<std::pair<std::string, std::function<std::vector<uint8_t>()>>> inputs;
  // The shortest objects of each kind, fields and strings empty.
  inputs.emplace_back("lines", [] { return Many(MakeLine(0, 0, 1, 1), kTarget / 47); });
  inputs.emplace_back("arcs", [] { return Many(MakeArc(0, 0, 1), kTarget / 75); });
  inputs.emplace_back("points", [] { return Many(MakePoint(0, 0), kTarget / 35); });
  inputs.emplace_back("texts", [] {
    TEntJwwText text = MakeText(N(""));
    text.FontName = N("");
    return Many(text, kTarget / 85);
  });
  inputs.emplace_back("dimensions", [] {
    TEntJwwDimension dim = MakeDimension(N(""), false);  // without value: the explode adds a line for each
    dim.ValueText.FontName = N("");
    return Many(dim, kTarget / 143);
  });
  inputs.emplace_back("solids", [] { return Many(MakeSolid(), kTarget / 79); });
  inputs.emplace_back("insertions", [] { return Many(MakeBlockRef(1), kTarget / 59); });  // each a tree node
  inputs.emplace_back("block definitions", [] {
    TJwwData d = NewDrawing(300);
    for (size_t i = 0; i < kTarget / 30; ++i) AddBlockDef(d, int32_t(i), N(""));
    return SerializeAllDefs(d, 300);
  });
  inputs.emplace_back("image entries", [] {
    // 5 bytes an entry: an empty name and a size of 0.
    ByteBuilder b;
    b.Append(HeaderBytes(700)).Count(0).Count(0).I32(int32_t(2 * kTarget / 5));
    for (size_t i = 0; i < 2 * kTarget / 5; ++i) b.U8(0).I32(0);
    return b.Bytes();
  });
  // 999,001 block tree nodes, just under the limit; then with two names of
  // 60,000 bytes that no node may copy.
  inputs.emplace_back("fan-out", [] { return FanOut(999, 1); });
  inputs.emplace_back("fan-out, long names", [] { return FanOut(999, 60000); });
  TempFolder tmp;
  for (const auto& [what, make] : inputs) {
    const size_t size = MakeFile(tmp.File("in.jww"), make);
    ASSERT_GT(size, 0u) << what;
    const TRun r = Convert({tmp.File("in.jww"), tmp.File("out.jww")});
    const size_t limit = 64 * kMiB + 16 * size;
    std::printf("  %-20s %9zu bytes: peak %6.1f MiB (limit %6.1f MiB)\n", what.c_str(), size, double(r.peak) / kMiB,
                double(limit) / kMiB);
    EXPECT_EQ(r.exit, 0) << what;
    EXPECT_LE(r.peak, limit) << what << ": " << size << " bytes";
    // Address space too is taken in proportion to what is used, never for
    // the worst case a file's size would allow (as under ulimit -v or strict
    // overcommit).
    EXPECT_EQ(Convert({tmp.File("in.jww"), tmp.File("out.jww")}, 64 * kMiB + 8 * size).exit, 0) << what << ", address space limited";
  }
}

// A picture is written as it is made: --svg takes no more than a small
// fixed amount and twice the drawing's bytes, however many entities it has.
TEST(Memory, APictureIsWrittenAsItIsMadeNotHeldWhole) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers' own memory would be measured";
  if (Convert({"--version"}).peak > 48 * kMiB)
    GTEST_SKIP() << "this test process grew large before the test; run the test on its own (as ctest does)";
  TempFolder tmp;
  const size_t size = MakeFile(tmp.File("in.jww"), [] {
    TJwwData d = NewDrawing(700);
    for (int i = 0; i < 60000; ++i) {
      AddToDrawing(d, MakeLine(i, 0, i + 0.5, 1.25));
      AddToDrawing(d, MakeDimension(N("100"), true));
    }
    return Serialize(d, 700);
  });
  ASSERT_GT(size, 0u);
  const TRun r = Convert({"--svg", tmp.File("in.jww"), tmp.File("out.svg")});
  const size_t limit = 16 * kMiB + 2 * size;
  std::printf("  %zu bytes: --svg peak %.1f MiB (limit %.1f MiB), picture %zu bytes\n", size, double(r.peak) / kMiB,
              double(limit) / kMiB, ReadFileSize(tmp.File("out.svg")));
  EXPECT_EQ(r.exit, 0);
  EXPECT_LE(r.peak, limit);
}

}  // namespace qtest
