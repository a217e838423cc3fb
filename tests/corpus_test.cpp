// Every file of the fuzz corpus (seeds and the fuzzers' findings, fixed),
// replayed: it reads or fails with a reason; a drawing that reads is
// exploded, written with its images and read back, and drawn as SVG and
// written as DXF whole (fuzz_outputs.h); no scratch file is left.
#include <dirent.h>

#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_outputs.h"
#include "testutil.h"

namespace qtest {
namespace {

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(QUORVEX_CORPUS_DIR)) {
    while (const dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, ReadsOrFailsWithAReasonWritesEveryOutputAndNeverLeaksAScratchFile) {
  const std::vector<uint8_t> bytes = ReadFile(std::string(QUORVEX_CORPUS_DIR) + "/" + GetParam());
  TempFolder scratch;
  TScratchImages kept(scratch.Path());
  EXPECT_EQ(CheckOneInput(bytes.data(), bytes.size(), kept), "");
  EXPECT_EQ(CheckOutputs(bytes.data(), bytes.size(), kept), "");
}

INSTANTIATE_TEST_SUITE_P(Fuzz, Corpus, ::testing::ValuesIn(CorpusFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = info.param;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace qtest
