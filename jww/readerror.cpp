#include "jww/readerror.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

// " " and a folder, or nothing; " in " and folders, or nothing.
std::string Space(const std::string& folder) { return folder.empty() ? std::string() : " " + folder; }
std::string In(const std::string& folders) { return folders.empty() ? std::string() : " in " + folders; }

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
  if (UnknownSignature) text += "; the file does not begin like a drawing";
  return text;
}

std::string TReadError::Reason() const {
  const std::string at = "at byte " + std::to_string(Offset);
  const std::string while_ = std::string(" while reading ") + PartName(Part);
  switch (Problem) {
    case TReadProblem::kNone: return "read " + at;
    case TReadProblem::kCannotOpen:
      // A pipe, a device or a socket is refused by its type, unopened.
      return "cannot be loaded " + at + ": " +
             (ErrorNumber == EINVAL ? std::string("not a regular file") : std::strerror(ErrorNumber));
    case TReadProblem::kCutShort: return "cut short " + at + while_;
    case TReadProblem::kOldVersion:
      return "version " + std::to_string(Value) + " " + at + " is older than 220, the oldest version read";
    case TReadProblem::kUnknownClass: return "unknown object class \"" + Printable(Name) + "\" " + at;
    case TReadProblem::kBadClassTag: {
      char tag[16];
      std::snprintf(tag, sizeof tag, "0x%04llX", static_cast<unsigned long long>(Value));
      return std::string("object tag ") + tag + " " + at + " names no class" + while_;
    }
    case TReadProblem::kClassNameTooLong:
      return "class name of " + std::to_string(Value) + " bytes " + at + " is too long";
    case TReadProblem::kImpossibleCount:
      return "count of " + std::to_string(Value) + " " + at + " is more than the rest of the file can hold" + while_;
    case TReadProblem::kPlacesItself:
      return "block definition " + std::to_string(Value) + " places itself (" + at + ")";
    case TReadProblem::kTreeTooLarge:
      return "block insertions reach more than 1,000,000 placements through block definition " +
             std::to_string(Value) + " (" + at + ")";
    case TReadProblem::kOutOfMemory: return "out of memory " + at + while_;
    case TReadProblem::kScratchWrite:
      if (Name.empty())
        return "no scratch folder for its carried images can be made" + In(Folder) + ": " + std::strerror(ErrorNumber);
      return "carried image \"" + Printable(Name) + "\" " + at + " cannot be put into the scratch folder" +
             Space(Folder) + ": " + std::strerror(ErrorNumber);
    case TReadProblem::kScratchRead:
      return "carried image \"" + Printable(Name) + "\" cannot be read back from the scratch folder" +
             Space(Folder) + ": " + std::strerror(ErrorNumber);
  }
  return "cannot be read " + at;
}

}  // namespace quorvex
