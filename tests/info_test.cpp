// `quorvex-convert --info`: the counts of a drawing as one JSON object.
#include <sys/wait.h>

#include <cstdio>

#include "reader_util.h"

namespace qtest {
namespace {

// Runs the converter: its exit status and what it printed on stdout (with
// `errors`, on stderr instead).
std::pair<int, std::string> Convert(const std::string& args, bool errors = false) {
  FILE* p = ::popen((QUORVEX_CONVERT_BIN " " + args + (errors ? " 2>&1 >/dev/null" : " 2>/dev/null")).c_str(), "r");
  std::string out(1 << 16, '\0');
  out.resize(p ? std::fread(out.data(), 1, out.size(), p) : 0);
  const int status = p ? ::pclose(p) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

}  // namespace

TEST(Info, CountsOfAGeneratedDrawing) {
  TJwwData d = NewDrawing(700);
  for (int i = 0; i < 3; ++i) AddToDrawing(d, MakeLine(i, 0, 0, 0));
  for (const char* value : {"10", "", " \x81\x40 "}) AddToDrawing(d, MakeDimension(N(value), true));  // blanks only
  for (int i = 0; i < 2; ++i) AddToDrawing(d, MakePoint(i, 0)), AddToDrawing(d, MakeBlockRef(1, i, i));
  AddToDrawing(d, MakeArc(0, 0, 1)), AddToDrawing(d, MakeText(N("t"))), AddToDrawing(d, MakeSolid());
  AddBlockDef(d, 1, N("outer")), AddBlockDef(d, 2, N("inner")), AddBlockDef(d, 3, N("unused"));
  Add(d.BlockDefs[0], d.BlockDefs[0].EntityCount, MakeBlockRef(2));
  Add(d.BlockDefs[1], d.BlockDefs[1].EntityCount, MakeDimension(N(""), false));
  auto bytes = SerializeAllDefs(d, 700);
  bytes.resize(bytes.size() - 4);  // two images instead of none
  bytes = ByteBuilder().Append(bytes).I32(2).Str("a.bmp.gz").I32(3).Raw("abc").Str("b.bmp").I32(1).Raw("x").Bytes();
  TempFolder tmp;
  WriteFile(tmp.File("gen.jww"), bytes);
  EXPECT_EQ(Convert("--info '" + tmp.File("gen.jww") + "'"),
            std::pair(0, std::string("{\"version\": 700, \"entities\": 13, \"lines\": 3, \"arcs\": 1, \"points\": 2, "
                                     "\"texts\": 1, \"dimensions\": 3, \"dimensionsWithoutValue\": 2, \"solids\": 1, "
                                     "\"blockInsertions\": 2, \"blockDefinitions\": 3, \"usedBlockDefinitions\": 2, "
                                     "\"blockTreeNodes\": 4, \"images\": 2}\n")));
  EXPECT_EQ(ReadFile(tmp.File("gen.jww")), bytes) << "--info leaves the drawing alone";
}

TEST(Info, CountsOfRealDrawingsCheckedByHand) {
  QUORVEX_REQUIRE_REAL();
  // lines-only holds eight lines and nothing else; blocks-two places each of
  // its two definitions once.
  const std::string lines = Convert("--info '" + RealDir() + "lines-only.jww'").second,
                    blocks = Convert("--info '" + RealDir() + "blocks-two.jww'").second;
  EXPECT_TRUE(lines.starts_with("{\"version\": 700, \"entities\": 8, \"lines\": 8, \"arcs\": 0,")) << lines;
  EXPECT_NE(blocks.find("\"blockInsertions\": 2, \"blockDefinitions\": 2, \"usedBlockDefinitions\": 2,"), blocks.npos);
}

TEST(Info, FailuresAndOtherOptions) {
  TempFolder tmp;
  WriteFile(tmp.File("bad.jww"), {'J', 'w', 'w', 'D', 'a', 't', 'a', '.', 0xBC, 0x02, 0, 0, 1});
  for (const std::string& path : {tmp.File("bad.jww"), tmp.File("missing.jww")}) {
    const auto [exit, err] = Convert("--info '" + path + "'", true);
    EXPECT_EQ(std::tuple(exit, Convert("--info '" + path + "'").second), std::tuple(1, "")) << path;
    EXPECT_TRUE(std::ranges::count(err, '\n') == 1 && err.ends_with('\n') && err.find(path) != err.npos) << err;
  }
  const auto help = Convert("--help"), version = Convert("--version");
  EXPECT_TRUE(help.first == 0 && help.second.find("--info") != std::string::npos) << help.second;
  EXPECT_TRUE(version.first == 0 && version.second.starts_with("quorvex-convert ")) << version.second;
  EXPECT_EQ(Convert("--info").first, 2);
}

}  // namespace qtest
