// Reading the image section of a version-700 drawing into the scratch
// folder, each image in a file the store names by number whatever the
// image's own name, and deleting the scratch files afterwards.
#include <filesystem>

#include "reader_util.h"

namespace qtest {
namespace {

std::vector<uint8_t> Data(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
  return v;
}

// A drawing of this version with empty lists, followed by `section`.
std::vector<uint8_t> ImageFile(const ByteBuilder& section, int32_t version = 700) {
  return ByteBuilder().Append(HeaderBytes(version)).Count(0).Count(0).Append(section.Bytes()).Bytes();
}

ByteBuilder& Entry(ByteBuilder& b, std::string_view name, const std::vector<uint8_t>& data) {
  return b.Str(name).I32(static_cast<int32_t>(data.size())).Append(data);
}

// A scratch folder inside a parent folder, so that anything written beside
// or above it shows in the parent's tree.
struct Scratch {
  Scratch() { std::filesystem::create_directory(kept.Files.Folder); }
  std::set<std::string> Files() const { return Tree(kept.Files.Folder); }
  TempFolder parent;
  TKeptImages kept{parent.File("scratch/")};
  TImageStore& store = kept.Store;
};

}  // namespace

TEST(Images, EmptySectionsAndFilesWithoutOne) {
  // A count of 0 or below holds no image; a 600 file ends after its block
  // definitions, so an entry behind them is not read.
  const std::pair<int32_t, int32_t> cases[] = {{700, 0}, {700, -5}, {600, 1}};
  for (const auto& [version, count] : cases) {
    Scratch s;
    ByteBuilder b;
    b.I32(count);
    if (version == 600) Entry(b, "x.bmp", Data(10, 1));
    bool ok = false;
    const int read = Parse(ImageFile(b, version), &ok, &s.store).ImageEntriesRead;
    EXPECT_EQ(std::tuple(ok, read, s.store.BoundImages.size(), s.Files().size()), std::tuple(true, 0, 0u, 0u)) << count;
  }
}

TEST(Images, EntriesAreCopiedWholeUnderNumbersAndDeleted) {
  Scratch s;
  const auto big = Data(5000, 3);
  ByteBuilder b;
  Entry(b.I32(7), "x.bmp.gz", big);
  b.Str("z.bmp").I32(0).Str("").I32(12);             // size 0 and an empty name: no data follow
  b.Str("neg.bmp").I32(-4);                          // negative size: an empty scratch file
  b.WideStr(u"\u56f3.bmp.gz").I32(3).Append(Data(3, 9));
  Entry(b, "\x95\x5C.bmp", Data(2048, 5));                // Shift-JIS character whose second byte is '\'
  Entry(b, "Y.BMP.GZ", Data(10, 3));
  bool ok = false;
  TJwwData d = Parse(ImageFile(b), &ok, &s.store);
  ASSERT_EQ(std::tuple(ok, d.ImageEntriesRead, s.store.BoundImageCount()), std::tuple(true, 7, 7));
  const auto& e = s.store.BoundImages;
  EXPECT_EQ(std::tuple(e[0].FileName, e[0].DataSize, e[3].DataSize, e[4].FileName),
            std::tuple(N("x.bmp.gz"), 5000, -4, W(u"\u56f3.bmp.gz")));
  // One file for each entry with data, named by its number in the store.
  EXPECT_EQ(s.Files(), (std::set<std::string>{"image-1", "image-2", "image-3", "image-4", "image-5"}));
  EXPECT_EQ(std::tuple(e[1].ScratchNumber, e[2].ScratchNumber, e[6].ScratchNumber), std::tuple(0u, 0u, 5u));
  EXPECT_EQ(ScratchBytes(s.store, N("x.bmp.gz")), big);
  EXPECT_EQ(ScratchBytes(s.store, N("\x95\x5C.bmp")), Data(2048, 5));
  EXPECT_TRUE(ReadFile(s.kept.Files.PathOf(e[3].ScratchNumber)).empty());
  // Without a store the data are stepped over.
  EXPECT_EQ(Parse(ImageFile(b), &ok, nullptr).ImageEntriesRead, 7);
  EXPECT_TRUE(ok);
  // Deleting takes the scratch files and nothing else; the next reading
  // numbers on, so that a file that could not be deleted is never reused.
  for (const char* f : {"x.bmp", "Y.BMP", "other.bmp"}) WriteFile(s.kept.Files.Folder + f, {1});
  s.store.DropImages();
  EXPECT_EQ(s.Files(), (std::set<std::string>{"x.bmp", "Y.BMP", "other.bmp"}));
  Parse(ImageFile(b), &ok, &s.store);
  EXPECT_EQ(s.store.BoundImages[0].ScratchNumber, 6u);
}

TEST(Images, NoNameBecomesAPath) {
  // Names that would reach outside the folder or name nothing there, names
  // longer than a file name may be, and a name given twice: each entry gets
  // a file of its own inside the folder, with its own bytes.
  Scratch s;
  const std::vector<std::string> names = {"../evil.gz", "a/b", "a\\b", "c:x", ".", "..", "\x95\x5C\\.bmp",
                                          std::string(252, 'n') + ".bmp", "twice.bmp", "twice.bmp"};
  ByteBuilder b;
  b.I32(static_cast<int32_t>(names.size()) + 2);
  for (size_t k = 0; k < names.size(); ++k) Entry(b, names[k], Data(40 + k, static_cast<uint8_t>(k)));
  b.WideStr(u"w\\x").I32(4).Append(Data(4, 20));
  b.WideStr(u"w\xD800x.bmp").I32(4).Append(Data(4, 21));  // unpaired surrogate: no UTF-8 form
  bool ok = false;
  Parse(ImageFile(b), &ok, &s.store);
  ASSERT_EQ(std::tuple(ok, s.store.BoundImages.size()), std::tuple(true, names.size() + 2));
  std::set<std::string> expected = {"scratch"};
  for (size_t k = 0; k < s.store.BoundImages.size(); ++k) {
    const TBindImageType& e = s.store.BoundImages[k];
    expected.insert("scratch/image-" + std::to_string(k + 1));
    const std::vector<uint8_t> want = k < names.size() ? Data(40 + k, static_cast<uint8_t>(k)) : Data(4, uint8_t(20 + k - names.size()));
    EXPECT_EQ(ReadFile(s.kept.Files.PathOf(e.ScratchNumber)), want) << k;
  }
  EXPECT_EQ(s.store.BoundImages[names.size() - 1].FileName, N("twice.bmp"));
  EXPECT_EQ(Tree(s.parent.Path()), expected);
  // Files that the names would reach survive the clean-up.
  const std::set<std::string> left = {"scratch", "evil.gz", "evil", "scratch/a\\b", "scratch/c:x", "scratch/twice.bmp"};
  for (const std::string& f : left) if (f != "scratch") WriteFile(s.parent.File(f), {1});
  s.store.DropImages();
  EXPECT_EQ(Tree(s.parent.Path()), left);
}

TEST(Images, FailuresFailTheRead) {
  // The file ends inside the second image's data; a scratch folder is
  // missing, or its path runs through a regular file.
  Scratch s;
  WriteFile(s.parent.File("plain"), {1});
  const ByteBuilder one = Entry(ByteBuilder().I32(1), "x.bmp.gz", Data(100, 1));
  const ByteBuilder cut = Entry(ByteBuilder().I32(2), "a", Data(10, 1)).Str("x.gz").I32(5000).Append(Data(3000, 1));
  const std::pair<const ByteBuilder*, std::string> cases[] = {
      {&cut, s.kept.Files.Folder}, {&one, s.parent.File("missing/")}, {&one, s.parent.File("plain/")}};
  for (const auto& [section, dir] : cases) {
    TKeptImages kept(dir);
    bool ok = true;
    Parse(ImageFile(*section), &ok, &kept.Store);
    EXPECT_FALSE(ok) << dir;
  }
  // The cut file's first image stays; the second leaves no partial file.
  EXPECT_EQ(Tree(s.parent.Path()), (std::set<std::string>{"scratch", "scratch/image-1", "plain"}));
}

}  // namespace qtest
