// Bad input: cut files, announced counts the file cannot hold, bad class
// tags, files that cannot be opened and randomly damaged drawings. None may
// crash; each must fail the read cleanly.
#include <filesystem>
#include <numeric>
#include <random>

#include "convert/drawingfile.h"
#include "reader_util.h"

namespace qtest {
namespace {

bool Reads(const std::vector<uint8_t>& bytes, size_t length, TImageStore* images = nullptr) {
  return TJwwData().ReadBytes(bytes.data(), length, images);
}

// Where a drawing's list begins: its count, tag, schema and name length
// come before the first class name (0 when no class is named).
size_t ListStart(const std::vector<uint8_t>& f) {
  const size_t at = std::string_view(reinterpret_cast<const char*>(f.data()), f.size()).find("CData");
  return at == std::string_view::npos ? 0 : at - 8;
}

// A drawing read successfully holds only records its order lists can name.
void ExpectConsistent(const TJwwData& d) {
  auto check = [](const TEntJwwStore& s, int32_t entityCount) {
    const size_t sizes[] = {0, s.Lines.size(), s.Arcs.size(), s.Points.size(), s.Texts.size(),
                            s.Dims.size(), s.Solids.size(), s.BlockRefs.size()};
    ASSERT_EQ(std::tuple(s.EntityOrder.size(), s.TotalCount(), std::accumulate(sizes, sizes + 8, size_t(0))),
              std::tuple(size_t(entityCount), entityCount, size_t(entityCount)));
    for (const TEntJwwListItem& item : s.EntityOrder)
      ASSERT_TRUE(item.Kind >= kLine && item.Kind <= kBlockRef && size_t(item.Index) < sizes[item.Kind]);
  };
  check(d, d.Header.EntityCount);
  ASSERT_EQ(d.BlockDefs.size(), size_t(d.BlockDefCount));
  EXPECT_EQ(d.BlockTree.size(), size_t(d.BlockTreeCount));
  for (const TEntJwwBlockDef& def : d.BlockDefs) check(def, def.EntityCount);
}

// A drawing of every kind, whose last object is a text in a block definition.
std::vector<uint8_t> Generated(int32_t version) {
  TJwwData d = NewDrawing(version);
  TEntJwwPoint p = MakePoint(1, 1);
  TEntJwwSolid s = MakeSolid();
  p.PenStyle = 100, s.PenColor = 10;
  AddToDrawing(d, MakeLine(0, 0, 1, 1)), AddToDrawing(d, MakeArc(0, 0, 1)), AddToDrawing(d, p);
  AddToDrawing(d, MakeDimension(N("5"), true)), AddToDrawing(d, s), AddToDrawing(d, MakeBlockRef(1));
  TEntJwwBlockDef& def = AddBlockDef(d, 1, N("b"));
  Add(def, def.EntityCount, MakeDimension(N(""), false));
  Add(def, def.EntityCount, MakeText(N("last")));
  return Serialize(d, version);
}

}  // namespace

TEST(Hostile, CutDrawingsFail) {
  // No proper prefix of a drawing reads: a 600 file ends with its block
  // definitions, a 700 file with its image section. Every drawing is cut one
  // byte short and at every 97th byte (at most about 200 cuts); lines-only
  // at every byte, and the generated 600 drawing at every byte of its lists.
  // Under the sanitizers header cuts, which all end at the same sticky
  // check, keep a stride.
  struct Cuts { std::vector<uint8_t> bytes; size_t from, stride; };
  std::vector<Cuts> files;
  for (int32_t v : {350, 419, 420, 600, 700}) files.push_back({Generated(v), 0, 0});
  for (const std::string& path : RealDrawings()) files.push_back({ReadFile(path), 0, 0});
  files.push_back({Generated(600), ListStart(Generated(600)), 1});
  if (!RealDir().empty()) files.push_back({ReadFile(RealDir() + "lines-only.jww"), 0, 1});
  for (auto& [bytes, from, stride] : files) {
    ASSERT_TRUE(Reads(bytes, bytes.size()));
    EXPECT_FALSE(Reads(bytes, bytes.size() - 1));
    if (stride == 0) stride = std::max<size_t>(97, bytes.size() / 200 | 1);
    for (size_t cut = from, lists = ListStart(bytes); cut < bytes.size(); cut += stride)  // a skipped cut reads 0 bytes
      EXPECT_FALSE(Reads(bytes, kSanitized && stride == 1 && cut < lists && cut % 7 ? 0 : cut)) << cut;
  }
  if (RealDir().empty()) GTEST_SKIP() << "real drawings folder is absent; only generated files were cut";
}

TEST(Hostile, ImpossibleCountsAndUnknownClassesFail) {
  const ByteBuilder line = ByteBuilder().NewClass("CDataSen").Line(600, Attrs(), 0, 0, 0, 0);
  const ByteBuilder def = ByteBuilder().Count(0).Count(1).NewClass("CDataList").Def(600, Attrs(), 1, 0).Str("b");
  std::vector<std::vector<uint8_t>> files;
  for (uint32_t count : {0x7FFFFFFFu, 0xFFFFFFFFu}) {  // of the drawing's objects and of a definition's
    files.push_back(ByteBuilder().Append(HeaderBytes(600)).Count(count).Append(line.Bytes()).Count(0).Bytes());
    files.push_back(
        ByteBuilder().Append(HeaderBytes(600)).Append(def.Bytes()).Count(count).Append(line.Bytes()).Bytes());
  }
  files.push_back(ByteBuilder().Append(HeaderBytes(600)).Count(0).Count(0x7FFFFFFF).NewClass("CDataList").Bytes());
  files.push_back(ByteBuilder().Append(HeaderBytes(700)).Count(0).Count(0).I32(0x7FFFFFFF).Str("a").I32(0).Bytes());
  files.push_back(HandFile(600, 1, ByteBuilder().NewClass("CDataFoo").Line(600, Attrs(), 0, 0, 0, 0)));
  TempFolder scratch;
  TKeptImages kept(scratch.Path());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_FALSE(Reads(files[i], files[i].size(), &kept.Store)) << i;
}

TEST(Hostile, UnopenableFilesFail) {
  TempFolder dir;
  std::filesystem::create_directory(dir.File("x.jww"));
  WriteFile(dir.File("ok.jww"), Generated(700));
  for (const char* name : {"x.jww", "missing.jww", "ok.jww"}) {
    TJwwData d;
    EXPECT_EQ(ReadDrawingFile(dir.File(name), d, nullptr), name == std::string("ok.jww")) << name;
  }
}

TEST(Hostile, RandomlyDamagedDrawingsNeverCrash) {
  // The generated drawing with two images instead of none behind its lists,
  // and the smaller real drawings.
  auto g = Generated(700);
  g.resize(g.size() - 4);
  std::vector<std::vector<uint8_t>> files = {
      ByteBuilder().Append(g).I32(2).Str("a.bmp.gz").I32(6).Raw("abcdef").Str("b.bmp").I32(2).Raw("xy").Bytes()};
  for (const std::string& path : RealDrawings())
    if (ReadFile(path).size() < 40000) files.push_back(ReadFile(path));
  TempFolder parent;
  TKeptImages kept(parent.File("scratch/"));
  TImageStore& store = kept.Store;
  std::filesystem::create_directory(kept.Files.Folder);
  std::mt19937 random(20240611);
  int read = 0;
  for (int round = 0; round < 2500 && !HasFailure(); ++round) {
    std::vector<uint8_t> bytes = files[round % files.size()];
    // Mostly damage the lists behind the header, where the structure is.
    const size_t from = round % 4 == 0 ? 0 : ListStart(bytes), at = from + random() % (bytes.size() - from);
    const size_t n = 1 + random() % 4, how = random() % 3;
    // Overwrite bytes here and there, drop a few (all behind shifts) or insert a few.
    if (how == 0) for (size_t f = 0; f < n; ++f) bytes[from + random() % (bytes.size() - from)] = uint8_t(random());
    if (how == 1) bytes.erase(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + n));
    if (how == 2) bytes.insert(bytes.begin() + at, n, uint8_t(random()));
    TJwwData d;
    if (d.ReadBytes(bytes.data(), bytes.size(), &store)) ++read, ExpectConsistent(d);
    store.DropImages();
  }
  EXPECT_GT(read, 0);
  EXPECT_EQ(Tree(parent.Path()), std::set<std::string>{"scratch"});
}

}  // namespace qtest
