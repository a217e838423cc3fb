// The PDF output as a user meets it through the converter: the page of the
// drawing's sheet (or one fitted to its ink, said on the line), a PDF that
// would not show the whole drawing refused with a reason and the old file
// kept, a batch that goes on past a failure, and Qt loaded for PDFs only.
// What other programs read in the PDFs is checked by pdf_check.py.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "convert/drawingfile.h"
#include "writer_util.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

struct TRun {
  int Exit = -1;
  std::string Out, Err;
};

// Runs a program with these arguments after a prefix of environment
// settings; the test's paths hold no quote.
TRun RunProgram(const std::vector<std::string>& args, const std::string& env = "",
         const std::string& program = QUORVEX_CONVERT_BIN) {
  TempFolder streams;
  std::string command = env + " '" + program + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  command += " >'" + streams.File("out") + "' 2>'" + streams.File("err") + "'";
  const int status = std::system(command.c_str());
  TRun r;
  r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto out = ReadFile(streams.File("out")), err = ReadFile(streams.File("err"));
  r.Out.assign(out.begin(), out.end());
  r.Err.assign(err.begin(), err.end());
  return r;
}

// The environment that preloads the library of outside failures with this
// one chosen.
std::string LoadFault(const char* fault) {
  return std::string("QUORVEX_LOAD_FAULT=") + fault + " LD_PRELOAD='" QUORVEX_LOAD_FAULTS_LIB
         "' ASAN_OPTIONS=verify_asan_link_order=0";
}

// The page of a PDF as its file states it (/MediaBox), in points.
std::pair<double, double> PageOf(const std::string& pdf) {
  const std::vector<uint8_t> bytes = ReadFile(pdf);
  const std::string text(bytes.begin(), bytes.end());
  std::smatch m;
  if (!std::regex_search(text, m, std::regex(R"(/MediaBox \[0 0 ([\d.]+) ([\d.]+)\])"))) return {0, 0};
  return {std::stod(m[1]), std::stod(m[2])};
}

// Whether a file is a whole PDF: its header first, its end mark last.
bool WholePdf(const std::string& path) {
  const std::vector<uint8_t> b = ReadFile(path);
  const std::string text(b.begin(), b.end());
  return text.rfind("%PDF-", 0) == 0 && text.find("%%EOF", text.size() > 16 ? text.size() - 16 : 0) != text.npos;
}

constexpr double kPointsPerMm = 72 / 25.4;

// A line from (0, 0) to (100, 80) and a Japanese text (東京) on the sheet
// of this number.
void WriteSheetDrawing(const std::string& path, int32_t sheet) {
  TJwwData d = NewDrawing(600);
  d.Header.SheetSize = sheet;
  AddToDrawing(d, MakeLine(0, 0, 100, 80));
  AddToDrawing(d, MakeText(N("\x93\x8c\x8b\x9e")));
  WriteFile(path, Serialize(d, 600));
}

TEST(Pdf, ThePageIsTheDrawingsSheetOrOneFittedToItsInk) {
  TempFolder tmp;
  struct TCase {
    int32_t Sheet;
    std::string Said;
    double Width, Height;  // mm
  };
  const TCase cases[] = {
      {0, "on its A0 sheet, 1189 x 841 mm", 1189, 841},  {2, "on its A2 sheet, 594 x 420 mm", 594, 420},
      {4, "on its A4 sheet, 297 x 210 mm", 297, 210},    {8, "on its 2A sheet, 1682 x 1189 mm", 1682, 1189},
      {11, "on its 5A sheet, 4756 x 3364 mm", 4756, 3364},
      // Sheet numbers of no known size: the ink, 100 x 80 mm, with the
      // pictures' margin of 4% of its longer side around it.
      {15, "sheet 15 is of no known size: on a page of 108 x 88 mm fitted to its ink", 108, 88},
      {-1, "sheet -1 is of no known size: on a page of 108 x 88 mm fitted to its ink", 108, 88},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Sheet);
    const std::string in = tmp.File("s" + std::to_string(c.Sheet) + ".jww"), out = in + ".pdf";
    WriteSheetDrawing(in, c.Sheet);
    const TRun r = RunProgram({in, out});
    EXPECT_EQ(r.Exit, 0) << r.Err;
    EXPECT_EQ(r.Out, in + " -> " + out + ": " + c.Said + "\n");
    const auto [w, h] = PageOf(out);
    EXPECT_NEAR(w, c.Width * kPointsPerMm, 1);
    EXPECT_NEAR(h, c.Height * kPointsPerMm, 1);
  }
}

// Each way a PDF cannot show what the drawing holds fails the conversion
// with 5 and a reason, the file that stood at the output kept and nothing
// else left beside it.
TEST(Pdf, APdfThatCouldNotShowTheWholeDrawingIsNotWrittenAndSaysWhy) {
  TempFolder tmp;
  const std::string fonts = tmp.File("fonts.conf"), noFonts = tmp.File("no-fonts");
  ASSERT_TRUE(fs::create_directory(noFonts));
  // A font configuration that knows no font at all.
  const std::string conf = "<?xml version=\"1.0\"?>\n<fontconfig><dir>" + noFonts + "</dir><cachedir>" + noFonts +
                           "</cachedir></fontconfig>\n";
  WriteFile(fonts, std::vector<uint8_t>(conf.begin(), conf.end()));
  const std::string japanese = tmp.File("japanese.jww");
  WriteSheetDrawing(japanese, 3);
  // Images that carry a known signature but cannot be read, and of no
  // known format.
  auto withImage = [&](const std::string& name, std::vector<uint8_t> data) {
    TJwwData d = NewDrawing(700);
    AddToDrawing(d, MakeLine(0, 0, 100, 80));
    AddToDrawing(d, MakeText(N("^@BM%temp%pic.png,10,10,40,30")));
    WriteFile(tmp.File(name), WithImages(Serialize(d, 700), {{N("pic.png"), std::move(data)}}));
    return tmp.File(name);
  };
  std::vector<uint8_t> brokenPng = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (int i = 0; i < 64; ++i) brokenPng.push_back(static_cast<uint8_t>(i * 7));
  const std::string broken = withImage("broken.jww", brokenPng);
  const std::string unknown = withImage("unknown.jww", Pattern(300, 4));
  // Insertions that place more shapes than a page is painted with: 1001
  // placements of a definition of 2000 lines.
  const std::string fanned = tmp.File("fanned.jww");
  {
    TJwwData d = NewDrawing(700);
    TEntJwwBlockDef& lines = AddBlockDef(d, 1, N("lines"));
    for (int i = 0; i < 2000; ++i) Add(lines, lines.EntityCount, MakeLine(0, i * 0.01, 10, i * 0.01));
    TEntJwwBlockDef& many = AddBlockDef(d, 2, N("many"));
    for (int i = 0; i < 1001; ++i) Add(many, many.EntityCount, MakeBlockRef(1, 0, i * 0.1));
    AddToDrawing(d, MakeBlockRef(2));
    WriteFile(fanned, Serialize(d, 700));
  }
  // The converter without its PDF module beside it.
  const std::string alone = tmp.File("alone/quorvex-convert");
  ASSERT_TRUE(fs::create_directory(tmp.File("alone")));
  fs::copy_file(QUORVEX_CONVERT_BIN, alone);
  fs::permissions(alone, fs::perms::owner_all);

  struct TCase {
    const char* What;
    std::string Input, Env, Program, Reason;
  };
  const TCase cases[] = {
      {"no font", japanese, "FONTCONFIG_FILE='" + fonts + "'", QUORVEX_CONVERT_BIN,
       "not converted: no font on this system shows the characters of 1 text (the first: '\xe6\x9d\xb1' (U+6771))"},
      {"an image Qt cannot read", broken, "", QUORVEX_CONVERT_BIN, "not converted: 1 image it carries cannot be read"},
      {"an image of no known format", unknown, "", QUORVEX_CONVERT_BIN,
       "not converted: 1 image it carries cannot be shown"},
      {"insertions beyond the painted", fanned, "", QUORVEX_CONVERT_BIN,
       "not converted: its block insertions place more than 2000000 shapes"},
      {"no Shift-JIS converter", japanese, LoadFault("iconv"), QUORVEX_CONVERT_BIN,
       "not converted: its Japanese texts cannot be decoded"},
      {"no module", japanese, "", alone, "not converted: no PDF can be made: its module cannot be loaded: "},
  };
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    const std::string out = tmp.File("out/plan.pdf");
    fs::remove_all(tmp.File("out"));
    ASSERT_TRUE(fs::create_directory(tmp.File("out")));
    WriteFile(out, old);
    const TRun r = RunProgram({c.Input, out}, c.Env, c.Program);
    EXPECT_EQ(r.Exit, 5);
    EXPECT_EQ(r.Out, "");
    // One line of the converter's (libpng says on its own what it could not
    // read, before it).
    const size_t line = r.Err.rfind("\nquorvex-convert: ") + 1;
    EXPECT_EQ(r.Err.find("quorvex-convert: " + c.Input + ": " + c.Reason, line), line) << r.Err;
    EXPECT_EQ(r.Err.find("quorvex-convert: "), line) << r.Err;
    EXPECT_EQ(r.Err.back(), '\n');
    EXPECT_EQ(ReadFile(out), old);
    EXPECT_EQ(Names(tmp.File("out")), std::set<std::string>{"plan.pdf"});
  }
  // The same converter writes drawings and DXF files without its module.
  EXPECT_EQ(RunProgram({japanese, tmp.File("alone/plan.jww")}, "", alone).Exit, 0);
  EXPECT_EQ(RunProgram({japanese, tmp.File("alone/plan.dxf")}, "", alone).Exit, 0);
}

TEST(Pdf, ABatchWritesEachPdfAndGoesOnPastAFailure) {
  TempFolder tmp;
  const std::string out = tmp.File("out");
  ASSERT_TRUE(fs::create_directory(out));
  const std::string a = tmp.File("a.jww"), junk = tmp.File("junk.jww"), c = tmp.File("C.JWW");
  WriteSheetDrawing(a, 4);
  WriteSheetDrawing(c, 15);
  WriteFile(junk, {'j', 'u', 'n', 'k'});
  for (const bool mono : {false, true}) {
    SCOPED_TRACE(mono ? "--mono" : "in colour");
    std::vector<std::string> args = {"-d", out, "--pdf", "-j", "2"};
    if (mono) args.push_back("--mono");
    args.insert(args.end(), {a, junk, c});
    const TRun r = RunProgram(args);
    EXPECT_EQ(r.Exit, 6);
    EXPECT_EQ(r.Out, a + " -> " + out + "/a.pdf: on its A4 sheet, 297 x 210 mm\n" + c + " -> " + out +
                         "/C.pdf: sheet 15 is of no known size: on a page of 108 x 88 mm fitted to its ink\n");
    EXPECT_EQ(r.Err.rfind("quorvex-convert: " + junk + ": ", 0), 0u) << r.Err;
    EXPECT_EQ(Names(out), (std::set<std::string>{"a.pdf", "C.pdf"}));
    EXPECT_TRUE(WholePdf(out + "/a.pdf") && WholePdf(out + "/C.pdf"));
    for (const auto& e : fs::directory_iterator(out)) fs::remove(e.path());
  }
  // One kind of output per batch, and the options of the PDF for PDFs only.
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"-d", out, "--pdf", "--paper", a}, {"-d", out, "--dxf", "--mono", a},
        {"-d", out, "--pdf", "--dxf", a}, {"--mono", a, tmp.File("a.dxf")}, {"--mono", a, tmp.File("b.jww")}}) {
    EXPECT_EQ(RunProgram(wrong).Exit, 2) << wrong[1] << " " << wrong[2];
  }
  EXPECT_TRUE(Names(out).empty());
}

// A spaced text comes out with its characters where the SVG puts them:
// Qt widens a letter spacing on a device of another resolution than the
// screen's and rounds it to 1/64 of a pixel, which a text of 40 characters
// would sum to millimetres. Read back with poppler's pdftotext.
TEST(Pdf, SpacedTextsKeepTheirSpacing) {
  if (std::system("pdftotext -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext is missing (poppler-utils)";
  TempFolder tmp;
  const std::string in = tmp.File("spaced.jww"), pdf = tmp.File("spaced.pdf"), svg = tmp.File("spaced.svg");
  TJwwData d = NewDrawing(600);
  d.Header.SheetSize = 3;
  std::string text;
  for (int i = 0; i < 20; ++i) text += "\x93\x8c\x8b\x9e";  // 東京, 40 characters
  TEntJwwText t = MakeText(N(text));
  t.StartX = -150, t.StartY = 0, t.EndX = 150;
  t.SizeX = 3.3, t.SizeY = 4.7, t.Spacing = 2.3;
  AddToDrawing(d, t);
  WriteFile(in, Serialize(d, 600));
  ASSERT_EQ(RunProgram({in, pdf}).Exit, 0);
  ASSERT_EQ(RunProgram({"--svg", "--print", in, svg}).Exit, 0);
  // From the SVG: where the text starts and how far apart its characters
  // (each one em wide) stand.
  const std::vector<uint8_t> svgBytes = ReadFile(svg);
  const std::string svgText(svgBytes.begin(), svgBytes.end());
  std::smatch m;
  ASSERT_TRUE(std::regex_search(svgText, m, std::regex(R"re(<text[^>]*matrix\(([-\d.e]+) [-\d.e]+ [-\d.e]+ [-\d.e]+ ([-\d.e]+) [-\d.e]+\)" y="[-\d.e]+" font-size="([\d.e]+)" letter-spacing="([\d.e]+)")re")));
  const double stretch = std::stod(m[1]), startX = std::stod(m[2]), size = std::stod(m[3]), spacing = std::stod(m[4]);
  const double step = (size + spacing) * stretch;
  // From the PDF: each character a word of its own (the gaps are wide).
  const TRun r = RunProgram({"-bbox", pdf, tmp.File("boxes.html")}, "", "pdftotext");
  ASSERT_EQ(r.Exit, 0);
  const std::vector<uint8_t> boxes = ReadFile(tmp.File("boxes.html"));
  const std::string html(boxes.begin(), boxes.end());
  std::vector<double> lefts;
  const std::regex word(R"re(<word xMin="([\d.]+)")re");
  for (std::sregex_iterator i(html.begin(), html.end(), word), end; i != end; ++i)
    lefts.push_back(std::stod((*i)[1]) / kPointsPerMm - 420.0 / 2);  // paper millimetres on the A3 page
  ASSERT_EQ(lefts.size(), 40u);
  for (size_t i = 1; i < lefts.size(); ++i) {
    EXPECT_NEAR(lefts[i] - lefts[0], i * step, 0.02) << i;
  }
  EXPECT_NEAR(lefts[0], startX, 0.5);  // the glyph's own side bearing apart
}

// The converter loads Qt (with the PDF module) for a PDF only: a drawing or
// a DXF starts without it, as fast as before there were PDFs.
TEST(Pdf, OnlyAPdfLoadsQt) {
  TempFolder tmp;
  const std::string in = tmp.File("plan.jww");
  WriteSheetDrawing(in, 3);
  for (const char* out : {"plan.jww.jww", "plan.dxf", "plan.pdf"}) {
    SCOPED_TRACE(out);
    const TRun r = RunProgram({in, tmp.File(out)}, "LD_DEBUG=files");
    EXPECT_EQ(r.Exit, 0);
    const bool pdf = std::string(out).ends_with(".pdf");
    EXPECT_EQ(r.Err.find("libQt6Gui") != std::string::npos, pdf);
    EXPECT_EQ(r.Err.find("quorvex-pdf.so") != std::string::npos, pdf);
  }
}

}  // namespace
}  // namespace qtest
