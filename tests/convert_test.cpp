#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "convert/drawingfile.h"
#include "convert/session.h"
#include "os/outputfile.h"
#include "writer_util.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

class Convert : public ::testing::Test {
 protected:
  void SetUp() override {
    session.StartUp();
    TJwwData d = GeneratedDrawing(600, false);
    ASSERT_EQ(WriteDrawingFile(d, in, 600, TWriterFallbacks{}, nullptr), 0);
  }
  TConvertCode Code(const std::string& input, const std::string& output) {
    return session.ConvertDrawing(input, output).Code;
  }
  TempFolder tmp;
  TConversionSession session;
  const std::string in = tmp.File("in.jww");
  const std::string out = tmp.File("out.jww");
};

TEST_F(Convert, NamesAreCheckedInputFirst) {
  WriteFile(tmp.File("in.jww.bak"), ReadFile(in));
  WriteFile(tmp.File("UP.JWW"), ReadFile(in));
  ASSERT_TRUE(fs::create_directory(tmp.File("folder.jww")));
  fs::create_symlink(in, tmp.File("link.jww"));
  fs::create_hard_link(in, tmp.File("hard.jww"));
  const std::tuple<std::string, std::string, TConvertCode> cases[] = {
      {"", "", crBadInput}, {"", out, crBadInput}, {tmp.File("missing.jww"), "", crBadInput},
      {tmp.File("in.jww.bak"), out, crBadInput}, {tmp.File("folder.jww"), out, crBadInput}, {in, "", crBadOutput},
      {in, tmp.File("out.dxf"), crBadOutput}, {in, tmp.File("out.jww.bak"), crBadOutput},
      {in, tmp.File("IN.JWW"), crBadOutput}, {in, fs::relative(in).string(), crBadOutput}, {in, tmp.Path() + "./in.jww", crBadOutput},
      {in, tmp.File("link.jww"), crBadOutput}, {tmp.File("link.jww"), in, crBadOutput}, {in, tmp.File("hard.jww"), crBadOutput},
      {tmp.File("UP.JWW"), tmp.File("up.JWW.jww"), crDone}, {tmp.File("link.jww"), out, crDone},  // another file
  };
  for (const auto& [input, output, code] : cases) EXPECT_EQ(Code(input, output), code) << input << " -> " << output;
}

TEST_F(Convert, FailedReadsAndWritesLeaveNothingBehind) {
  auto old = ReadFile(in);
  old[8] = 219, old[9] = 0;  // the version after the 8-byte signature
  WriteFile(tmp.File("old.jww"), old);
  EXPECT_EQ(Code(tmp.File("old.jww"), out), crReadFailed);
  WriteFile(tmp.File("junk.jww"), std::vector<uint8_t>(40, 'x'));
  EXPECT_EQ(Code(tmp.File("junk.jww"), out), crReadFailed);
  const TConvertResult missing = session.ConvertDrawing(in, tmp.File("nowhere/out.jww"));
  EXPECT_EQ(std::tuple(missing.Code, missing.ErrorNumber), std::tuple(crWriteFailed, ENOENT));
  // An output name that is a folder: the rename fails, the folder stays as it was.
  ASSERT_TRUE(fs::create_directory(tmp.File("taken.jww")));
  WriteFile(tmp.File("taken.jww/keep"), {'k'});
  const TConvertResult folder = session.ConvertDrawing(in, tmp.File("taken.jww"));
  EXPECT_TRUE(folder.Code == crWriteFailed && folder.ErrorNumber != 0) << folder.ErrorNumber;
  EXPECT_EQ(ReadFile(tmp.File("taken.jww/keep")), std::vector<uint8_t>{'k'});
  // Only in, old, junk and taken.jww: no output, no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), fs::directory_iterator{}), 4);
  EXPECT_EQ(Code(in, out), crDone);      // the session goes on
  // An output name at the file-name length limit is written too.
  const std::string longest = tmp.File(std::string(251, 'n') + ".jww");
  EXPECT_EQ(Code(in, longest), crDone);
  EXPECT_FALSE(ReadFile(longest).empty());
}

TEST_F(Convert, ReplacedOutputsKeepTheirModeAndOwner) {
  // A private drawing stays private, a read-only one read-only; as root the
  // owner and group stay too.
  const bool root = ::geteuid() == 0;
  for (const mode_t mode : {0600, 0640, 0444}) {
    fs::remove(out);
    WriteFile(out, {'o', 'l', 'd'});
    ASSERT_EQ(::chmod(out.c_str(), mode), 0);
    if (root) {
      ASSERT_EQ(::chown(out.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(Code(in, out), crDone);
    struct stat st{};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode);
    if (root) {
      EXPECT_EQ(std::tuple(st.st_uid, st.st_gid), std::tuple(65534u, 65534u)) << std::oct << mode;
    }
  }
  // A new output gets 0666 less the umask.
  fs::remove(out);
  const mode_t umask = ::umask(027);
  const TConvertCode code = Code(in, out);
  ::umask(umask);
  struct stat st{};
  ASSERT_EQ(code, crDone);
  ASSERT_EQ(::stat(out.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  // An output name that is a link lends nothing: the link is replaced by a
  // new file with 0666 less the umask, and its target (a setuid program's
  // mode, a world-writable device's) is left as it was. As root the owner
  // is the writer's, not the target's.
  const std::string target = tmp.File("target");
  WriteFile(target, {'t'});
  if (root) {
    ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(::chmod(target.c_str(), 04751), 0);  // after the chown, which clears the setuid bit
  for (const std::string& to : {target, std::string("/dev/null")}) {
    fs::remove(out);
    fs::create_symlink(to, out);
    const mode_t before = ::umask(022);
    const TConvertCode linked = Code(in, out);
    ::umask(before);
    ASSERT_EQ(linked, crDone) << to;
    ASSERT_EQ(::lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << to;
    EXPECT_EQ(std::tuple(st.st_mode & 07777, st.st_uid), std::tuple(0644u, ::geteuid())) << to;
  }
  EXPECT_EQ(ReadFile(target), std::vector<uint8_t>{'t'});
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 04751u);
}

TEST(OutputFile, AFailureWhileWritingLeavesNoFileAndNoDescriptor) {
  TempFolder tmp;
  const std::string out = tmp.File("out.jww");
  WriteFile(out, {'o', 'l', 'd'});
  auto openFiles = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}); };
  const auto before = openFiles();
  for (const bool named : {false, true}) {
    SetUnnamedOutputFiles(!named);
    try {
      TOutputFile file;
      ASSERT_EQ(file.Open(out), 0);
      ASSERT_EQ(::write(file.Fd(), "new", 3), 3);
      throw std::runtime_error("failed while writing");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(openFiles(), before) << named;
    EXPECT_EQ(ReadFile(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), fs::directory_iterator{}), 1) << named;
  }
  SetUnnamedOutputFiles(true);
}

// A large output is written by a thread of its own; when a write of that
// thread fails, the output must fail as a whole: no truncated drawing takes
// the output's name, and the file that stood there stays.
TEST(OutputFile, AWriteThatFailsPastTheFirstMegabyteFailsTheOutput) {
  TJwwData d = NewDrawing(700);
  for (int i = 0; i < 60000; ++i) AddToDrawing(d, MakeLine(i, 0, 1, 1));  // about 3 MB
  TempFolder tmp;
  const std::string out = tmp.File("out.jww");
  WriteFile(out, {'o', 'l', 'd'});
  // No file of this process may grow beyond 1.5 MB: writing on fails (EFBIG).
  struct rlimit limit{}, old{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  limit = old;
  limit.rlim_cur = 3 << 19;
  const auto xfsz = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  const int err = WriteDrawingFile(d, out, 700, TWriterFallbacks{}, nullptr);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, xfsz);
  EXPECT_EQ(err, EFBIG);
  EXPECT_EQ(ReadFile(out), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), fs::directory_iterator{}), 1);
}

TEST_F(Convert, DoneLeavesTheDrawingEmptyAndNoScratchFiles) {
  TJwwData d = GeneratedDrawing(700, true);
  AddToDrawing(d, MakeText(W(u"^@BM%temp%photo.jpg,0,0,100,80")));
  WriteFile(tmp.File("pic.jww"), WithImages(Serialize(d, 700), {{W(u"other.bmp.gz"), Pattern(9, 1)},
                                                                {W(u"photo.jpg.gz"), Pattern(3000, 5)}}));
  const TConvertResult r = session.ConvertDrawing(tmp.File("pic.jww"), out);
  ASSERT_EQ(r.Code, crDone);
  // One dimension in the drawing, one in the definition.
  EXPECT_EQ(std::tuple(r.Exploded.DimensionsExploded, r.Exploded.LinesAdded, r.Exploded.PointsAdded),
            std::tuple(2, 6, 8));
  ASSERT_TRUE(session.Drawing);
  const TJwwData& left = *session.Drawing;
  EXPECT_EQ(std::tuple(left.Header.EntityCount, left.TotalCount(), left.BlockDefCount, session.Images.BoundImageCount()),
            std::tuple(0, 0, 0, 0));
  EXPECT_TRUE(fs::is_empty(session.TempDir));
}

TEST_F(Convert, GeneratedDrawingsOfEveryVersionLoseTheirUnvaluedDimensions) {
  for (int32_t v : {220, 223, 225, 230, 299, 300, 350, 351, 419, 420, 600, 700}) for (bool wide : {false, true}) {
    SCOPED_TRACE(testing::Message() << "version " << v << (wide ? " wide" : " narrow"));
    TJwwData d = GeneratedDrawing(v, wide);
    ASSERT_EQ(WriteDrawingFile(d, in, v, TWriterFallbacks{}, nullptr), 0);
    ASSERT_EQ(Code(in, out), crDone);
    TJwwData back;
    ASSERT_TRUE(ReadDrawingFile(out, back, nullptr));
    const TEntJwwBlockDef& def = back.BlockDefs.at(0);
    const int32_t parts = v >= kVersionExtended;  // the split dimension gave 3 lines and 4 points
    EXPECT_EQ(std::tuple(back.Header.Version, back.BlockDefCount, back.DimCount, back.LineCount, back.PointCount),
              std::tuple(v, 2, 1, 2 + 2 * parts, 1 + 4 * parts));
    EXPECT_EQ(std::tuple(def.DimCount, def.LineCount), std::tuple(1, 2 + 2 * parts));
    EXPECT_EQ(back.ArcCount + back.TextCount + back.SolidCount + back.BlockRefCount, 6);
    // The disc stays a disc and the small placement small.
    const TEntJwwSolid& disc = back.Solids.at(1);
    EXPECT_EQ(std::tuple(IsRoundSolid(disc), disc.X1, disc.X2, disc.Y4), std::tuple(true, 30.0, 4.0, kFilledRoundShape));
    EXPECT_EQ(back.BlockRefs.at(1).ScaleX, 0.01);
    EXPECT_FALSE(IsDimensionWithoutValue(back.Dims.at(0)) || IsDimensionWithoutValue(def.Dims.at(0)));
    EXPECT_EQ(std::tuple(back.Texts.at(0).Text, back.Header.Memo, back.Layers[3].Name, def.Name),
              std::tuple(Ascii("note", wide), Ascii("memo", wide), Ascii("walls", wide), Ascii("block", wide)));
  }
}

TEST_F(Convert, RealDrawingsConvertToAFixedPoint) {
  QUORVEX_REQUIRE_REAL();
  for (const std::string& path : RealDrawings()) {
    SCOPED_TRACE(path);
    ASSERT_EQ(Code(path, out), crDone);
    ASSERT_EQ(Code(out, tmp.File("again.jww")), crDone);
    EXPECT_EQ(ReadFile(out), ReadFile(tmp.File("again.jww")));
  }
}

TEST_F(Convert, EveryPlacedImageIsCarriedUnderItsOwnNameWhateverTheName) {
  // Names that would reach outside the scratch folder, one longer than a
  // file name may be (90 kanji: 274 bytes in UTF-8), and one name given to
  // two images, of which a text places the first.
  const std::u16string kanji = std::u16string(90, u'\u56f3') + u".bmp.gz";
  const std::vector<std::pair<JwwString, std::vector<uint8_t>>> images = {
      {N("../x.bmp"), Pattern(100, 1)}, {N("/tmp/y.bmp"), Pattern(50, 2)}, {W(kanji), Pattern(3000, 3)},
      {N("twice.bmp"), Pattern(70, 4)}, {N("twice.bmp"), Pattern(80, 5)}};
  TJwwData d = NewDrawing(700);
  for (const char* name : {"../x.bmp", "/tmp/y.bmp", "twice.bmp"})
    AddToDrawing(d, MakeText(N("^@BM%temp%" + std::string(name) + ",0,0,10,10")));
  AddToDrawing(d, MakeText(W(u"^@BM%temp%" + kanji + u",0,0,10,10")));
  const std::string input = tmp.File("images.jww"), base = tmp.File("base");
  WriteFile(input, WithImages(Serialize(d, 700), images));
  ASSERT_TRUE(fs::create_directory(base));
  TConversionSession own;
  own.StartUp({base});
  ASSERT_EQ(own.ConvertDrawing(input, out).Code, crDone);
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator{}), 1);  // the scratch folder alone
  own.CleanUp();
  TKeptImages back(tmp.File("back/"));
  ASSERT_TRUE(fs::create_directory(back.Files.Folder));
  TJwwData read;
  ASSERT_TRUE(ReadDrawingFile(out, read, &back.Store));
  std::vector<std::pair<JwwString, std::vector<uint8_t>>> carried;
  for (const TBindImageType& e : back.Store.BoundImages)
    carried.emplace_back(e.FileName, ReadFile(back.Files.PathOf(e.ScratchNumber)));
  EXPECT_TRUE(carried == std::vector(images.begin(), images.end() - 1));
}

TEST(ConvertSession, CleanUpRemovesThePrivateFolderWithWhatIsLeftInIt) {
  TConversionSession s;
  s.StartUp();
  ASSERT_TRUE(fs::is_directory(s.TempDir));
  const std::string folder = s.TempDir;
  WriteFile(folder + "left.bmp", {1, 2, 3});
  s.CleanUp();
  EXPECT_FALSE(s.Started() || FileExists(folder));
}

TEST(ConvertSession, WindowsOpenAtOnceKeepTheirImagesApart) {
  // Two drawings placing an image of one name, pic0.jpg, with other bytes.
  TempFolder tmp;
  const std::vector<uint8_t> pictures[2] = {std::vector<uint8_t>(3 << 20, 0xAA), std::vector<uint8_t>(3 << 20, 0xBB)};
  std::string in[2], out[2];
  for (int i : {0, 1}) {
    TJwwData d = NewDrawing(700);
    AddToDrawing(d, MakeText(N("^@BM%temp%pic0.jpg,0,0,10,10")));
    in[i] = tmp.File("in" + std::to_string(i) + ".jww"), out[i] = tmp.File("out" + std::to_string(i) + ".jww");
    WriteFile(in[i], WithImages(Serialize(d, 700), {{N("pic0.jpg"), pictures[i]}}));
  }
  auto picture = [&](int i) {
    TKeptImages kept(tmp.File("back" + std::to_string(i) + "/"));
    fs::create_directory(kept.Files.Folder);
    TJwwData back;
    return ReadDrawingFile(out[i], back, &kept.Store) ? ScratchBytes(kept.Store, N("pic0.jpg")) : std::vector<uint8_t>{};
  };
  // Started as the window starts them, then converting at the same time.
  TConversionSession sessions[2];
  for (TConversionSession& s : sessions) s.StartUp();
  for (int round = 0; round < 8; ++round) {
    TConvertCode codes[2];
    std::thread runs[2];
    for (int i : {0, 1}) runs[i] = std::thread([&, i] { codes[i] = sessions[i].ConvertDrawing(in[i], out[i]).Code; });
    for (std::thread& t : runs) t.join();
    for (int i : {0, 1}) {
      ASSERT_EQ(codes[i], crDone) << "round " << round << ", drawing " << i;
      ASSERT_TRUE(picture(i) == pictures[i]) << "round " << round << ": drawing " << i << " lost its own image";
    }
  }
  // Closing one window leaves the other's scratch folder, and its conversions, alone.
  const std::string other = sessions[1].TempDir;
  sessions[0].CleanUp();
  EXPECT_TRUE(fs::is_directory(other));
  EXPECT_EQ(sessions[1].ConvertDrawing(in[1], out[1]).Code, crDone);
  EXPECT_TRUE(picture(1) == pictures[1]);
  sessions[1].CleanUp();
  EXPECT_FALSE(FileExists(other));
}

}  // namespace
}  // namespace qtest
