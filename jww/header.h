// The header section at the start of every JWW file: signature, version,
// memo, layer tables and all drawing settings, described once for reading
// and writing.
#pragma once

#include "jww/archive.h"
#include "jww/cursor.h"
#include "jww/jwwunit.h"

namespace quorvex {

// Sizes the settings tables to their fixed lengths, all zero.
void SizeSettingsTables(TJwwData& d);

// Reads the header into d.Header and the settings tables. False, with the
// cursor failed, when the version is below 220 (nothing after the version
// is read; the problem is kOldVersion) or the section is cut short.
bool ReadHeader(ByteCursor& c, TJwwData& d);

// Writes the header for the given version with the writer's substitutions;
// the signature written is always kSignature.
void WriteHeader(TArchiveWriter& w, const TJwwData& d, int32_t version);

// Decoding of the maximum drawing width as stored.
void DecodeMaxDrawWidth(int32_t stored, bool& isCode, int32_t& value);
// The packed option as written for a version.
int32_t PackedOptionFor(const TEntJwwHeader& h, int32_t version);

}  // namespace quorvex
