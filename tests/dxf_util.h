// Reading back what the DXF writer wrote, for the tests: the file's groups
// checked line by line (a code right-aligned in three columns, then its
// value), gathered into header variables and objects with the section and
// block each lies in.
#pragma once

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "dxf/dxf.h"
#include "testutil.h"

namespace qtest {

struct TDxfGroup {
  int Code = 0;
  std::string Value;
};

struct TDxfObject {
  std::string Kind;     // LINE, BLOCK, LAYER, ...
  std::string Section;  // HEADER, TABLES, BLOCKS, ENTITIES, OBJECTS
  std::string Block;    // in BLOCKS: the name of the block it lies in
  std::vector<TDxfGroup> Groups;

  bool Has(int code) const {
    for (const TDxfGroup& g : Groups)
      if (g.Code == code) return true;
    return false;
  }
  // The value of the nth group of this code ("" when there is none).
  std::string Str(int code, int nth = 0) const {
    for (const TDxfGroup& g : Groups)
      if (g.Code == code && nth-- == 0) return g.Value;
    return {};
  }
  double Real(int code, int nth = 0) const { return std::strtod(Str(code, nth).c_str(), nullptr); }
  long Int(int code, int nth = 0) const { return std::strtol(Str(code, nth).c_str(), nullptr, 10); }
  std::vector<std::string> All(int code) const {
    std::vector<std::string> v;
    for (const TDxfGroup& g : Groups)
      if (g.Code == code) v.push_back(g.Value);
    return v;
  }
  std::string Handle() const { return Str(Kind == "DIMSTYLE" ? 105 : 5); }
};

struct TDxf {
  std::string Error;  // the first line that is not as DXF wants it; empty when all are
  std::map<std::string, std::vector<TDxfGroup>> Header;
  std::vector<TDxfObject> Objects;

  std::string Var(const std::string& name, int nth = 0) const {
    const auto it = Header.find(name);
    return it == Header.end() || static_cast<size_t>(nth) >= it->second.size() ? "" : it->second[nth].Value;
  }
  // The objects of a section (and, in BLOCKS, of one block), in order,
  // without the BLOCK and ENDBLK around them.
  std::vector<const TDxfObject*> In(const std::string& section, const std::string& block = {}) const;
  // The first object of this kind whose group 2 is `name`.
  const TDxfObject* Named(const std::string& kind, const std::string& name) const;
};

TDxf ParseDxf(const std::string& text);

// A DXF written in memory and read back.
struct TWritten {
  std::string Text;
  TDxf File;
  quorvex::TDxfLosses Losses;
};

// The drawing, exploded as the conversion does, written as DXF in memory.
TWritten Dxf(TJwwData& d, bool paper, const std::vector<TDxfImage>& images = {},
             const std::vector<JwwString>& entries = {});

// A drawing read back from its file, as the converter reads it.
TJwwData Read(const std::vector<uint8_t>& bytes);

// ezdxf's own decoding of a text value: caret notation ("^ " is '^', "^J"
// a line feed).
std::string CaretDecoded(const std::string& value);

}  // namespace qtest
