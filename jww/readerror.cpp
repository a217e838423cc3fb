#include "jww/readerror.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "text/messages.h"

namespace quorvex {
namespace {

// A class or file name as printable text: bytes below 0x20, the quote and
// the backslash escaped, long names cut.
std::string Printable(const std::string& s) {
  constexpr size_t kMax = 64;
  std::string out;
  for (size_t i = 0; i < s.size() && i < kMax; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  if (s.size() > kMax) out += "...";
  return out;
}

// "while reading the entity list": the part of the file being read, as a
// message ends with it.
const char* WhileReading(TReadPart part) {
  switch (part) {
    case TReadPart::kFile: break;
    case TReadPart::kHeader: return Tr("while reading the header");
    case TReadPart::kEntityList: return Tr("while reading the entity list");
    case TReadPart::kBlockDefList: return Tr("while reading the block definitions");
    case TReadPart::kImageSection: return Tr("while reading the image section");
    case TReadPart::kBlockTree: return Tr("while reading the block insertions");
  }
  return Tr("while reading the file");
}

}  // namespace

const char* PartName(TReadPart part) {
  switch (part) {
    case TReadPart::kFile: return "the file";
    case TReadPart::kHeader: return "the header";
    case TReadPart::kEntityList: return "the entity list";
    case TReadPart::kBlockDefList: return "the block definitions";
    case TReadPart::kImageSection: return "the image section";
    case TReadPart::kBlockTree: return "the block insertions";
  }
  return "the file";
}

std::string TReadError::Describe() const {
  std::string text = Reason();
  if (UnknownSignature) text += Tr("; the file does not begin like a drawing");
  return text;
}

std::string TReadError::Reason() const {
  const unsigned long long at = Offset;
  const long long value = Value;
  const char* part = WhileReading(Part);
  const char* system = std::strerror(ErrorNumber);
  switch (Problem) {
    case TReadProblem::kNone: return Format(Tr("read at byte %llu"), at);
    case TReadProblem::kCannotOpen:
      // A pipe, a device or a socket is refused by its type, unopened.
      return Format(Tr("cannot be loaded at byte %llu: %s"), at,
                  ErrorNumber == EINVAL ? Tr("not a regular file") : system);
    case TReadProblem::kCutShort:
      // TRANSLATORS: here and below, the last %s says what was being read:
      // "while reading the entity list".
      return Format(Tr("cut short at byte %llu %s"), at, part);
    case TReadProblem::kOldVersion:
      return Format(Tr("version %lld at byte %llu is older than 220, the oldest version read"), value, at);
    case TReadProblem::kUnknownClass:
      return Format(Tr("unknown object class \"%s\" at byte %llu"), Printable(Name).c_str(), at);
    case TReadProblem::kBadClassTag:
      return Format(Tr("object tag 0x%04llX at byte %llu names no class %s"), static_cast<unsigned long long>(Value),
                  at, part);
    case TReadProblem::kClassNameTooLong:
      return Format(Tr("class name of %lld bytes at byte %llu is too long"), value, at);
    case TReadProblem::kImpossibleCount:
      return Format(Tr("count of %lld at byte %llu is more than the rest of the file can hold %s"), value, at, part);
    case TReadProblem::kPlacesItself: return Format(Tr("block definition %lld places itself (at byte %llu)"), value, at);
    case TReadProblem::kTreeTooLarge:
      return Format(Tr("block insertions reach more than 1,000,000 placements through block definition %lld (at "
                     "byte %llu)"),
                  value, at);
    case TReadProblem::kOutOfMemory: return Format(Tr("out of memory at byte %llu %s"), at, part);
    case TReadProblem::kScratchWrite:
      if (Name.empty()) {
        if (Folder.empty()) return Format(Tr("no scratch folder for its carried images can be made: %s"), system);
        return Format(Tr("no scratch folder for its carried images can be made in %s: %s"), Folder.c_str(), system);
      }
      if (Folder.empty())
        return Format(Tr("carried image \"%s\" at byte %llu cannot be put into the scratch folder: %s"),
                    Printable(Name).c_str(), at, system);
      return Format(Tr("carried image \"%s\" at byte %llu cannot be put into the scratch folder %s: %s"),
                  Printable(Name).c_str(), at, Folder.c_str(), system);
    case TReadProblem::kScratchRead:
      if (Folder.empty())
        return Format(Tr("carried image \"%s\" cannot be read back from the scratch folder: %s"),
                    Printable(Name).c_str(), system);
      return Format(Tr("carried image \"%s\" cannot be read back from the scratch folder %s: %s"),
                  Printable(Name).c_str(), Folder.c_str(), system);
  }
  return Format(Tr("cannot be read at byte %llu"), at);
}

}  // namespace quorvex
