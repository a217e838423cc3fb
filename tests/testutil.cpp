#include "testutil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "jww/header.h"

namespace qtest {
namespace {

TEntJwwCommon Attributes(uint8_t style) {
  TEntJwwCommon c;
  c.PenStyle = style;
  c.PenColor = 1;
  return c;
}

}  // namespace

std::string RealDir() {
  const std::string dir = QUORVEX_REAL_DIR;
  struct stat st{};
  return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? dir + "/" : std::string();
}

std::vector<std::string> RealDrawings() {
  std::vector<std::string> out;
  const std::string dir = RealDir();
  if (dir.empty()) return out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".jww") == 0) out.push_back(dir + n);
    }
    ::closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<uint8_t> ScratchBytes(const TImageStore& store, const JwwString& name) {
  for (const TBindImageType& e : store.BoundImages)
    if (e.FileName == name) return e.ScratchNumber == 0 ? std::vector<uint8_t>{} : ReadFile(store.ScratchPath(e));
  return {};
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0;
}

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvex-test-XXXXXX";
  if (::mkdtemp(pattern.data())) path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

TJwwData NewDrawing(int32_t version) {
  TJwwData d;
  SizeSettingsTables(d);
  d.Header.Version = version;
  return d;
}

std::vector<uint8_t> Serialize(TJwwData& d, int32_t version, TImageStore* images) {
  d.PostRead();  // Used marks and numbers, as after a read
  TArchiveWriter w;
  d.WriteTo(w, version, TWriterFallbacks{}, images);
  EXPECT_TRUE(w.Ok());
  return w.Data();
}

TJwwData Parse(const std::vector<uint8_t>& bytes, bool* ok, TImageStore* images) {
  TJwwData d;
  const bool r = d.ReadBytes(bytes.data(), bytes.size(), images);
  if (ok) *ok = r;
  return d;
}

TEntJwwLine MakeLine(double x1, double y1, double x2, double y2) {
  TEntJwwLine l;
  static_cast<TEntJwwCommon&>(l) = Attributes(1);
  l.StartX = x1, l.StartY = y1, l.EndX = x2, l.EndY = y2;
  return l;
}

TEntJwwArc MakeArc(double cx, double cy, double r) {
  TEntJwwArc a;
  static_cast<TEntJwwCommon&>(a) = Attributes(1);
  a.CenterX = cx, a.CenterY = cy, a.Radius = r, a.ArcAngle = 6.283185307179586, a.Flatness = 1, a.FullCircle = 1;
  return a;
}

TEntJwwPoint MakePoint(double x, double y) {
  TEntJwwPoint p;
  static_cast<TEntJwwCommon&>(p) = Attributes(1);
  p.X = x, p.Y = y, p.Scale = 1.0;
  return p;
}

TEntJwwText MakeText(const JwwString& text) {
  TEntJwwText t;
  static_cast<TEntJwwCommon&>(t) = Attributes(1);
  t.EndX = 10, t.TextType = 1, t.SizeX = 2.5, t.SizeY = 2.5;
  t.FontName = text.SameForm("MS Gothic");
  t.Text = text;
  return t;
}

TEntJwwSolid MakeSolid() {
  TEntJwwSolid s;
  static_cast<TEntJwwCommon&>(s) = Attributes(1);
  s.X2 = 1, s.X3 = 1, s.Y3 = 1, s.Y4 = 1;
  return s;
}

TEntJwwBlockRef MakeBlockRef(int32_t number, double x, double y) {
  TEntJwwBlockRef b;
  static_cast<TEntJwwCommon&>(b) = Attributes(1);
  b.RefX = x, b.RefY = y, b.ScaleX = 1, b.ScaleY = 1, b.BlockNumber = number;
  return b;
}

TEntJwwDimension MakeDimension(const JwwString& value, bool withParts) {
  TEntJwwDimension d;
  static_cast<TEntJwwCommon&>(d) = Attributes(1);
  d.DimLine = MakeLine(0, 10, 100, 10);
  d.ValueText = MakeText(value);
  if (withParts) {
    d.PartsFlag = 1;
    d.AuxLine1 = MakeLine(0, 5, 0, 10);
    d.AuxLine2 = MakeLine(100, 5, 100, 10);
    d.Point1 = MakePoint(0, 10);
    d.Point2 = MakePoint(100, 10);
    d.AuxPoint1 = MakePoint(0, 5);
    d.AuxPoint2 = MakePoint(100, 5);
    for (TEntJwwPoint* p : {&d.Point1, &d.Point2, &d.AuxPoint1, &d.AuxPoint2}) p->Scale = 0;
  }
  return d;
}

TEntJwwBlockDef& AddBlockDef(TJwwData& d, int32_t number, const JwwString& name) {
  d.BlockDefs.resize(static_cast<size_t>(d.BlockDefCount));
  TEntJwwBlockDef def;
  def.PenStyle = 1;
  def.PenColor = 1;
  def.Number = number;
  def.Name = name;
  d.BlockDefs.push_back(def);
  ++d.BlockDefCount;
  d.Header.BlockDefListCount = d.BlockDefCount;
  return d.BlockDefs.back();
}

JwwString N(const std::string& bytes) { return JwwString::Narrow(bytes); }
JwwString W(const std::u16string& units) { return JwwString::Wide(units); }

}  // namespace qtest
