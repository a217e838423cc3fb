// Drawings generated to exercise the DXF writer, of every format version:
// layer groups of different scales, hidden groups and layers, every kind of
// arc, point and solid, Japanese texts, blocks nested three deep placed
// rotated and scaled, dimensions with and without a value and (from
// version 700) carried images. The DXF tests read them in memory; the
// generator quorvex-dxf-cases writes them for the ezdxf checks.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "jww/builder.h"

namespace qtest {

// The versions the cases are made in: each threshold of the format.
inline constexpr int32_t kDxfCaseVersions[] = {220, 230, 300, 351, 420, 600, 700};

// The case drawing of a version, block tree built; from version 700 its
// image texts place the entries of DxfCaseImages().
quorvex::TJwwData DxfCaseDrawing(int32_t version);

// The image entries of a case drawing: a gzip-packed BMP and a PNG, as
// (name, data) pairs.
std::vector<std::pair<quorvex::JwwString, std::vector<uint8_t>>> DxfCaseImages();

// A BMP of w x h pixels, 24 bits a pixel.
std::vector<uint8_t> CaseBitmap(uint32_t w, uint32_t h);

// The bytes of the case drawing of a version as a file, images included.
std::vector<uint8_t> DxfCaseFile(int32_t version);

}  // namespace qtest
