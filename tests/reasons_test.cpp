// Why a read failed: the part of the file, the byte where the failing field
// starts and what was wrong there, from the reader up to what the converter
// prints; and a scratch folder that fills up, which is a failure to write.
#include <sys/mount.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "bytes_util.h"
#include "convert/drawingfile.h"
#include "convert/session.h"
#include "reader_util.h"
#include "writer_util.h"

namespace qtest {
namespace {

// Runs the converter: its exit status and what it printed on stderr.
std::pair<int, std::string> ConvertErrors(const std::string& args, const std::string& env = "") {
  FILE* p = ::popen((env + QUORVEX_CONVERT_BIN " " + args + " 2>&1 >/dev/null").c_str(), "r");
  std::string out(1 << 16, '\0');
  out.resize(p ? std::fread(out.data(), 1, out.size(), p) : 0);
  const int status = p ? ::pclose(p) : -1;
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TReadError ReadError(const std::vector<uint8_t>& bytes) {
  TReadError e;
  TempFolder scratch;
  TKeptImages kept(scratch.Path());
  EXPECT_FALSE(TJwwData().ReadBytes(bytes.data(), bytes.size(), &kept.Store, &e));
  return e;
}

}  // namespace

TEST(ReadReasons, EachFailureNamesThePartTheByteAndTheProblem) {
  const std::vector<uint8_t> header = HeaderBytes(600);
  const size_t h = header.size();
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    TReadProblem problem;
    TReadPart part;
    size_t offset;
    int64_t value = 0;
  };
  std::vector<Case> cases;
  {
    // Two lines, the second cut inside its Layer field, which starts 9 bytes
    // into its common part: the byte named is that field's, not the end.
    ByteBuilder b;
    b.Append(header).Count(2).NewClass("CDataSen").Line(600, Attrs(), 0, 0, 1, 1).ClassRef(1);
    const size_t second = b.Bytes().size();
    b.Line(600, Attrs(), 0, 0, 1, 1);
    cases.push_back({"cut in a line", Head(b.Bytes(), second + 10), TReadProblem::kCutShort, TReadPart::kEntityList,
                     second + 9});
  }
  cases.push_back({"unknown class", HandFile(600, 1, ByteBuilder().NewClass("CDataFoo").Line(600, Attrs(), 0, 0, 0, 0)),
                   TReadProblem::kUnknownClass, TReadPart::kEntityList, h + 2});
  cases.push_back({"tag naming no class", HandFile(600, 1, ByteBuilder().ClassRef(5).Line(600, Attrs(), 0, 0, 0, 0)),
                   TReadProblem::kBadClassTag, TReadPart::kEntityList, h + 2, 0x8005});
  cases.push_back({"impossible count", ByteBuilder().Append(header).Count(0x7FFFFFFF).Count(0).Bytes(),
                   TReadProblem::kImpossibleCount, TReadPart::kEntityList, h, 0x7FFFFFFF});
  // Behind the count 139 bytes: room for 3 objects of the shortest kind (35
  // bytes), not 4. A count of 4 is refused at the count; with 3 the reading
  // starts and stops at the first tag, which names no class.
  for (uint32_t n : {4u, 3u}) {
    const bool impossible = n == 4;
    cases.push_back({"count at the limit", ByteBuilder().Append(header).Count(n).Raw(std::string(139, '\0')).Bytes(),
                     impossible ? TReadProblem::kImpossibleCount : TReadProblem::kBadClassTag, TReadPart::kEntityList,
                     impossible ? h : h + 2, impossible ? 4 : 0});
  }
  // The longest class name that can be looked up, and one byte more.
  cases.push_back({"2048-byte class name", HandFile(600, 1, ByteBuilder().NewClass(std::string(2048, 'C'))),
                   TReadProblem::kUnknownClass, TReadPart::kEntityList, h + 2});
  cases.push_back({"2049-byte class name", HandFile(600, 1, ByteBuilder().NewClass(std::string(2049, 'C'))),
                   TReadProblem::kClassNameTooLong, TReadPart::kEntityList, h + 2, 2049});
  // A text cut inside the units of its string, narrow or wide: the byte
  // named is the string's first.
  for (bool wide : {false, true}) {
    std::vector<uint8_t> text =
        ByteBuilder().Append(header).Count(1).NewClass("CDataMoji").Text(600, Attrs(), "F", "").Bytes();
    text.pop_back();  // the empty text's string
    const size_t string = text.size();
    ByteBuilder b = ByteBuilder().Append(text);
    if (wide) {
      b.U8(0xFF).U16(0xFFFE).Len(300).Units(u"abc");
    } else {
      b.Len(300).Raw("abc");
    }
    cases.push_back({"cut in a string", b.Bytes(), TReadProblem::kCutShort, TReadPart::kEntityList, string});
  }
  {
    auto old = header;
    old[8] = 219, old[9] = 0;
    cases.push_back({"old version", old, TReadProblem::kOldVersion, TReadPart::kHeader, 8, 219});
  }
  {
    // The second definition, number 12, places itself; the drawing places it.
    ByteBuilder b;
    b.Append(header).Count(1).NewClass("CDataBlock").Common(600, Attrs()).F64(0).F64(0).F64(1).F64(1).F64(0).I32(12);
    b.Count(2).NewClass("CDataList").Def(600, Attrs(), 5, 0).Str("five").Count(0);
    const size_t twelve = b.Bytes().size();
    b.ClassRef(3).Def(600, Attrs(), 12, 0).Str("twelve").Count(1).ClassRef(1).Common(600, Attrs());
    b.F64(0).F64(0).F64(1).F64(1).F64(0).I32(12);
    cases.push_back({"self-placing definition", b.Bytes(), TReadProblem::kPlacesItself, TReadPart::kBlockTree, twelve, 12});
  }
  {
    // Definition 7 places definition 8 1001 times, which places 9 1000 times.
    TJwwData d = NewDrawing(600);
    AddToDrawing(d, MakeBlockRef(7));
    for (int32_t n : {7, 8, 9}) {
      TEntJwwBlockDef& def = AddBlockDef(d, n, N("d"));
      for (int i = 0; n < 9 && i < 1001 - (n - 7); ++i) Add(def, def.EntityCount, MakeBlockRef(n + 1, i, 0));
    }
    const auto bytes = SerializeAllDefs(d, 600);
    const size_t seven = Find(bytes, B("CDataList")) - 6;  // its tag names the class
    cases.push_back({"tree over the limit", bytes, TReadProblem::kTreeTooLarge, TReadPart::kBlockTree, seven, 7});
  }
  {
    // An image count the rest cannot hold; an image whose data are cut.
    const ByteBuilder lists = ByteBuilder().Append(HeaderBytes(700)).Count(0).Count(0);
    const size_t at = lists.Bytes().size();
    cases.push_back({"image count", ByteBuilder(lists).I32(1000).Str("a").I32(0).Bytes(), TReadProblem::kImpossibleCount,
                     TReadPart::kImageSection, at, 1000});
    cases.push_back({"image data", ByteBuilder(lists).I32(1).Str("a.gz").I32(100).Raw("abc").Bytes(),
                     TReadProblem::kCutShort, TReadPart::kImageSection, at + 4 + 5 + 4});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TReadError e = ReadError(c.bytes);
    EXPECT_EQ(std::tuple(e.Problem, e.Part, e.Offset, e.Value, e.UnknownSignature),
              std::tuple(c.problem, c.part, uint64_t(c.offset), c.value, false));
    EXPECT_NE(e.Describe().find("byte " + std::to_string(c.offset)), std::string::npos) << e.Describe();
  }
  EXPECT_EQ(ReadError(cases[1].bytes).Describe(), "unknown object class \"CDataFoo\" at byte " + std::to_string(h + 2));
  // Text saved under a drawing's name: cut short in the header, and no
  // drawing's signature.
  const TReadError text = ReadError(B("Meeting notes: move the north wall by 300.\nCall the client on Monday.\n"));
  EXPECT_EQ(std::tuple(text.Problem, text.Part, text.UnknownSignature),
            std::tuple(TReadProblem::kCutShort, TReadPart::kHeader, true));
  EXPECT_TRUE(text.Describe().ends_with("while reading the header; the file does not begin like a drawing"))
      << text.Describe();
  // Files that cannot be loaded say why.
  TempFolder tmp;
  std::filesystem::create_directory(tmp.File("folder.jww"));
  for (const auto& [name, err] : {std::pair{"folder.jww", EISDIR}, std::pair{"missing.jww", ENOENT}}) {
    TReadError e;
    TJwwData d;
    EXPECT_FALSE(ReadDrawingFile(tmp.File(name), d, nullptr, &e));
    EXPECT_EQ(std::tuple(e.Problem, e.ErrorNumber), std::tuple(TReadProblem::kCannotOpen, err)) << name;
  }
}

TEST(ReadReasons, TheConverterPrintsTheReasonOfACutDrawing) {
  TempFolder tmp;
  TJwwData d = GeneratedDrawing(700, false);
  const std::vector<uint8_t> whole = Serialize(d, 700);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
      {"notes.jww", B("Site meeting, 3 May.\nBring the revised plan.\n")}};
  for (size_t cut : {size_t(0), size_t(7), size_t(300), whole.size() / 2, whole.size() - 40, whole.size() - 1})
    inputs.emplace_back("cut" + std::to_string(cut) + ".jww", Head(whole, cut));
  for (const auto& [name, bytes] : inputs) {
    const std::string path = tmp.File(name);
    WriteFile(path, bytes);
    for (const std::string& args : {"'" + path + "' '" + tmp.File("out.jww") + "'", "--info '" + path + "'"}) {
      const auto [exit, err] = ConvertErrors(args);
      // "quorvex-convert: PATH: cut short at byte N while reading ...", N within the file.
      const std::string prefix = "quorvex-convert: " + path + ": ";
      const size_t at = err.find(" byte ");
      ASSERT_TRUE(exit == 1 && err.starts_with(prefix) && at != std::string::npos && err.ends_with("\n")) << err;
      EXPECT_LE(std::stoull(err.substr(at + 6)), bytes.size()) << err;
      EXPECT_NE(err.find("while reading the "), std::string::npos) << err;
    }
  }
  EXPECT_FALSE(FileExists(tmp.File("out.jww")));
}

TEST(ReadReasons, OutOfMemoryIsSaidAsSuchWithAStatusOfItsOwn) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers take more address space than the limit allows";
  // Definition 1 places definition 2 999 times, which places definition 3
  // 999 times: a block tree of 999,001 nodes (16 MB). The converter gets
  // 12 MB of address space: enough to start and load the small drawing.
  TJwwData d = NewDrawing(600);
  for (int32_t n = 1; n <= 3; ++n) {
    TEntJwwBlockDef& def = AddBlockDef(d, n, N("b"));
    for (int i = 0; n < 3 && i < 999; ++i) Add(def, def.EntityCount, MakeBlockRef(n + 1, i, 0));
  }
  AddToDrawing(d, MakeBlockRef(1));
  TempFolder tmp;
  WriteFile(tmp.File("fan.jww"), Serialize(d, 600));
  // Not an unreadable drawing (1): the drawing may be sound.
  const std::string fan = "'" + tmp.File("fan.jww") + "' ";
  for (const std::string& args : {fan + "'" + tmp.File("out.jww") + "'", "--info " + fan,
                                  "--svg " + fan + "'" + tmp.File("out.svg") + "'"}) {
    const auto [exit, err] = ConvertErrors(args, "ulimit -v 12000; ");
    EXPECT_EQ(exit, 7) << args;
    EXPECT_NE(err.find(": out of memory at byte "), std::string::npos) << err;
  }
  EXPECT_FALSE(FileExists(tmp.File("out.jww")) || FileExists(tmp.File("out.svg")));
}

TEST(ReadReasons, AFullScratchFolderIsAWriteFailureWithTheSystemsReason) {
  // A 1 MiB file system as the scratch folder, and a drawing carrying a
  // 3 MB image.
  TempFolder tmp;
  const std::string small = tmp.File("small");
  std::filesystem::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a small file system here (" << std::strerror(errno) << "); needs root";
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount(path.c_str()); }
  } unmount{small};
  TJwwData d = NewDrawing(700);
  AddToDrawing(d, MakeText(N("^@BM%temp%photo.bmp,0,0,100,80")));
  const std::string in = tmp.File("photo.jww"), out = tmp.File("out.jww");
  WriteFile(in, WithImages(Serialize(d, 700), {{N("photo.bmp.gz"), Pattern(3000000, 1)}}));

  TConversionSession session;
  session.StartUp(TScratchPlace{small});
  const TConvertResult r = session.ConvertDrawing(in, out);
  EXPECT_EQ(std::tuple(r.Code, r.ErrorNumber, r.ReadError.Problem, r.ReadError.Name),
            std::tuple(crWriteFailed, ENOSPC, TReadProblem::kScratchWrite, std::string("photo.bmp.gz")));
  EXPECT_TRUE(std::filesystem::is_empty(session.TempDir)) << "the partial scratch file is deleted";
  session.CleanUp();
  EXPECT_TRUE(std::filesystem::is_empty(small));

  // The converter keeps its scratch folder under TMPDIR.
  const auto [exit, err] = ConvertErrors("'" + in + "' '" + out + "'", "XDG_RUNTIME_DIR= TMPDIR='" + small + "' ");
  EXPECT_EQ(exit, 5);
  EXPECT_NE(err.find("No space left on device"), std::string::npos) << err;
  EXPECT_TRUE(std::filesystem::is_empty(small));
  EXPECT_FALSE(FileExists(out));
}

}  // namespace qtest
