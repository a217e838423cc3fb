#include "app/convert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace quorvex {
namespace {

bool IsRegularFile(const std::string& path, struct stat* st) {
  return ::stat(path.c_str(), st) == 0 && S_ISREG(st->st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool IsWritableFolder(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

// A new folder only this process uses, under the system's temporary
// directory; empty when none can be made.
std::string MakePrivateFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvex-XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  return pattern + "/";
}

// Removes a private scratch folder with whatever is left in it (links are
// removed, never followed).
void RemovePrivateFolder(const std::string& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace

std::string ProgramFolder() {
  std::vector<char> buf(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return "./";
  const std::string path(buf.data(), static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

std::string LowerCasePath(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string LowerExtension(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return {};
  return LowerCasePath(path.substr(dot));
}

TConversionSession::~TConversionSession() {
  if (Started()) CleanUp();
}

void TConversionSession::StartUp(TScratchPlace place) {
  Images.Clear();
  ExeDir = ProgramFolder();
  besideProgram_ = place == TScratchPlace::BesideProgram;
  TempDir.clear();
  TempDirIsPrivate = false;
  if (besideProgram_) {
    const std::string beside = ExeDir + "TEMP/";
    ::mkdir(beside.c_str(), 0755);  // an existing folder is fine
    if (IsWritableFolder(beside)) TempDir = beside;
  }
  if (TempDir.empty()) {
    TempDir = MakePrivateFolder();
    TempDirIsPrivate = !TempDir.empty();
    if (TempDir.empty()) TempDir = ExeDir + "TEMP/";  // nothing better: reads of images will fail
  }
  Images.TempDir = TempDir;
  ImageSwitchRead = ImageSwitchWrite = true;
  Drawing = std::make_unique<TJwwData>();
  Attributes = std::make_unique<TgraAttribute>();
  Attributes->SetModeByte(0);
  Attributes->SetColorScheme(0);
  Attributes->FillColors();
  Fallbacks = TWriterFallbacks{1, 1};
}

void TConversionSession::CleanUp() {
  if (besideProgram_) {
    ::unlink((ExeDir + "tmp.bmp").c_str());
    ::unlink((ExeDir + "$IMGTEMP.BMP").c_str());
  }
  ResetConversion();
  Drawing.reset();
  Attributes.reset();
  Images.Clear();
  if (TempDirIsPrivate) {
    RemovePrivateFolder(TempDir);
  } else if (!TempDir.empty()) {
    ::rmdir(TempDir.c_str());  // stays when files are left in it
  }
}

void TConversionSession::ResetConversion() {
  if (Drawing) Drawing->Reset();
  Images.DeleteScratchFiles();
}

TConvertResult TConversionSession::ConvertDrawing(const std::string& input, const std::string& output) {
  TConvertResult result;
  struct stat st{};
  if (input.empty() || LowerExtension(input) != ".jww" || !IsRegularFile(input, &st)) {
    result.Code = crBadInput;
    return result;
  }
  if (output.empty() || LowerExtension(output) != ".jww" || LowerCasePath(input) == LowerCasePath(output) ||
      SameFile(input, output)) {
    result.Code = crBadOutput;
    return result;
  }
  if (!Started()) StartUp(TScratchPlace::Private);

  ResetConversion();
  Images.TempDir = TempDir;
  if (!Drawing->Read(input, ImageSwitchRead ? &Images : nullptr, &result.ReadError)) {
    // A carried image that cannot be put into the scratch folder is a
    // failure to write, with the system's reason; anything else is the input's.
    result.Code = result.ReadError.IsWriteSide() ? crWriteFailed : crReadFailed;
    result.ErrorNumber = result.ReadError.IsWriteSide() ? result.ReadError.ErrorNumber : 0;
    return result;
  }
  result.Exploded = ExplodeDimensions(*Drawing);
  const int err = Drawing->Write(output, Drawing->Header.Version, Fallbacks, ImageSwitchWrite ? &Images : nullptr);
  if (err != 0) {
    result.Code = crWriteFailed;
    result.ErrorNumber = err;
    return result;
  }
  ResetConversion();
  result.Code = crDone;
  return result;
}

}  // namespace quorvex
