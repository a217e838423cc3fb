#include "dxf_util.h"

#include <sstream>

#include "explode/explode.h"

namespace qtest {

TDxf ParseDxf(const std::string& text) {
  TDxf f;
  std::vector<TDxfGroup> groups;
  size_t at = 0, line = 0;
  while (at < text.size() && f.Error.empty()) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      f.Error = "no line feed after line " + std::to_string(line + 1);
      break;
    }
    const std::string codeLine = text.substr(at, end - at);
    const size_t valueEnd = text.find('\n', end + 1);
    if (valueEnd == std::string::npos) {
      f.Error = "a code without a value at line " + std::to_string(line + 1);
      break;
    }
    // A code in three columns at least, right-aligned, digits only.
    const size_t digits = codeLine.find_first_not_of(' ');
    if (codeLine.size() < 3 || digits == std::string::npos ||
        codeLine.find_first_not_of("0123456789-", digits) != std::string::npos ||
        (codeLine.size() > 3 && digits != 0)) {
      f.Error = "not a group code at line " + std::to_string(line + 1) + ": [" + codeLine + "]";
      break;
    }
    groups.push_back({std::atoi(codeLine.c_str()), text.substr(end + 1, valueEnd - end - 1)});
    if (groups.back().Value.find('\r') != std::string::npos) f.Error = "a carriage return at line " + std::to_string(line + 2);
    at = valueEnd + 1;
    line += 2;
  }
  if (!f.Error.empty()) return f;
  if (groups.empty() || groups.back().Code != 0 || groups.back().Value != "EOF") f.Error = "no EOF at the end";

  std::string section, block;
  for (size_t i = 0; i < groups.size(); ++i) {
    const TDxfGroup& g = groups[i];
    if (g.Code != 0) continue;
    if (g.Value == "SECTION" && i + 1 < groups.size()) {
      section = groups[i + 1].Value;
      continue;
    }
    if (g.Value == "ENDSEC" || g.Value == "ENDTAB" || g.Value == "EOF") continue;
    TDxfObject o;
    o.Kind = g.Value;
    o.Section = section;
    size_t k = i + 1;
    for (; k < groups.size() && groups[k].Code != 0; ++k) o.Groups.push_back(groups[k]);
    if (o.Kind == "BLOCK") block = o.Str(2);
    o.Block = section == "BLOCKS" ? block : "";
    f.Objects.push_back(std::move(o));
  }
  // The header's variables, each with the groups after its name.
  std::string var;
  bool inHeader = false;
  for (size_t i = 0; i < groups.size(); ++i) {
    const TDxfGroup& g = groups[i];
    if (g.Code == 2 && g.Value == "HEADER") inHeader = true;
    if (!inHeader) continue;
    if (g.Code == 0) {
      if (g.Value == "ENDSEC") break;
      continue;
    }
    if (g.Code == 9) {
      var = g.Value;
      f.Header[var];
    } else if (!var.empty()) {
      f.Header[var].push_back(g);
    }
  }
  return f;
}

TWritten Dxf(TJwwData& d, bool paper, const std::vector<TDxfImage>& images, const std::vector<JwwString>& entries) {
  ExplodeDimensions(d);
  TDxfOptions o;
  o.Paper = paper;
  o.Images = images;
  o.ImageEntries = entries;
  TArchiveWriter w;
  TWritten out;
  out.Losses = WriteDxf(d, o, w);
  EXPECT_TRUE(w.Ok());
  const std::vector<uint8_t> bytes = w.Data();
  out.Text.assign(bytes.begin(), bytes.end());
  out.File = ParseDxf(out.Text);
  EXPECT_EQ(out.File.Error, "");
  return out;
}

TJwwData Read(const std::vector<uint8_t>& bytes) {
  bool ok = false;
  TJwwData d = Parse(bytes, &ok);
  EXPECT_TRUE(ok);
  return d;
}

std::vector<const TDxfObject*> TDxf::In(const std::string& section, const std::string& block) const {
  std::vector<const TDxfObject*> v;
  for (const TDxfObject& o : Objects) {
    if (o.Section != section || (section == "BLOCKS" && o.Block != block)) continue;
    if (o.Kind == "BLOCK" || o.Kind == "ENDBLK") continue;
    v.push_back(&o);
  }
  return v;
}

const TDxfObject* TDxf::Named(const std::string& kind, const std::string& name) const {
  for (const TDxfObject& o : Objects)
    if (o.Kind == kind && o.Str(2) == name) return &o;
  return nullptr;
}

std::string CaretDecoded(const std::string& value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '^' && i + 1 < value.size()) {
      out += static_cast<char>((static_cast<unsigned char>(value[i + 1]) - 64 + 126) % 126);
      ++i;
    } else {
      out += value[i];
    }
  }
  return out;
}

}  // namespace qtest
