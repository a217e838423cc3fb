// quorvex-dxf-cases: writes the DXF tests' generated drawings, one file of
// each format version, into a folder (for the ezdxf checks).
//
//   quorvex-dxf-cases FOLDER
#include <cstdio>
#include <cstring>
#include <string>

#include "dxf_cases.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fputs("Usage: quorvex-dxf-cases FOLDER\nWrites case-VERSION.jww for each format version into FOLDER.\n",
               argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
  }
  for (int32_t version : qtest::kDxfCaseVersions) {
    const std::vector<uint8_t> bytes = qtest::DxfCaseFile(version);
    const std::string path = std::string(argv[1]) + "/case-" + std::to_string(version) + ".jww";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (bytes.empty() || !f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "quorvex-dxf-cases: %s: cannot be written\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
