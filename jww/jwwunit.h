// TJwwData: one JWW drawing in memory, with its reader and writer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "jww/jwwtype.h"
#include "jww/readerror.h"
#include "os/bytes.h"

namespace quorvex {

class TImageStore;
class ByteCursor;

// The colour and line type the writer puts in place of values that the
// output version cannot hold.
struct TWriterFallbacks {
  uint8_t LineType = 1;
  uint16_t Color = 1;
};

class TJwwData : public TEntJwwStore {
 public:
  TJwwData() { Clear(); }

  // Empties the drawing to the state of a new one.
  void Clear();
  // The same as Clear, for a drawing done with: its arrays, the block
  // definitions and their stores (with the pool they share) are freed.
  void Reset();

  // Reads a whole drawing from the `size` bytes a source hands over in
  // order (a file's, convert/drawingfile.h). Carried images go to the image
  // store (pass nullptr to skip the image section's data). Returns false on
  // any failure; *error (when given) then says why.
  [[nodiscard]] bool ReadFrom(TByteSource& source, uint64_t size, TImageStore* images, TReadError* error = nullptr);
  // Reads a drawing held in memory (the same rules; for tests).
  [[nodiscard]] bool ReadBytes(const uint8_t* data, size_t size, TImageStore* images, TReadError* error = nullptr);

  // Writes the drawing as a file of the given version into a writer (in
  // memory, or filling a sink's room: a file's, convert/drawingfile.h),
  // images from the store (or none when nullptr). False when the writer
  // has failed; its Error() then holds the reason.
  [[nodiscard]] bool WriteTo(class TArchiveWriter& w, int32_t version, const TWriterFallbacks& fallbacks,
               TImageStore* images) const;

  // The first BlockDefCount block definitions (no more than BlockDefs holds).
  std::span<const TEntJwwBlockDef> Definitions() const;
  std::span<TEntJwwBlockDef> Definitions();

  // Builds BlockTree, the Used marks and NewNumber of the definitions and
  // UsedBlockDefCount. False when the walk from the drawing's insertions
  // reaches a definition that places itself, or grows beyond
  // kMaxBlockTreeNodes; *error (when given) then names the definition and
  // the byte where it starts.
  [[nodiscard]] bool PostRead(TReadError* error = nullptr);

  // A node of BlockTree: its insertion record, the common part it carries
  // (the insertion's at depth 0, else that of the definition holding the
  // insertion), its definition's name (empty when the number names none)
  // and where it places the definition in drawing coordinates.
  const TEntJwwBlockRef& BlockTreeInsertion(size_t node) const;
  const TEntJwwCommon& BlockTreeCommon(size_t node) const;
  const JwwString& BlockTreeName(size_t node) const;
  TBlockPlacement BlockTreePlacement(size_t node) const;

  TEntJwwHeader Header;
  std::vector<TEntJwwLayerGroup> LayerGroups;   // 16
  std::vector<TEntJwwLayer> Layers;             // 256: group G, layer L at G*16+L
  std::vector<TEntJwwPenSetting> PenSettings;   // 10: colours 0..9
  std::vector<TEntJwwLineTypeSetting> LineTypes;        // 8: line types 2..9
  std::vector<TEntJwwRandomLineSetting> RandomLines;    // 5: random lines 1..5
  std::vector<TEntJwwLineTypeSetting> DoubleLineTypes;  // 4: double-length types 6..9
  std::vector<TEntJwwColorExNo> ColorsEx;               // 257
  std::vector<TEntJwwLineTypeExNo> LineTypesEx;         // 33
  std::vector<TEntJwwTextStyle> TextStyles;             // 10

  // The block definitions. BlockDefCount is the number of them in use, and
  // Header.BlockDefListCount the number the file's list announced: the
  // reader sets both alike, and every walk over the definitions goes
  // through Definitions().
  TRecords<TEntJwwBlockDef> BlockDefs;
  int32_t BlockDefCount = 0;
  TRecords<TEntJwwBlockTree> BlockTree;
  int32_t BlockTreeCount = 0;
  int32_t UsedBlockDefCount = 0;

  // Number of entries the last read found in the image section (0 when the
  // file has none or announces 0 or less).
  int32_t ImageEntriesRead = 0;
  // The byte of the file where the drawing's entity list starts.
  uint64_t EntityListOffset = 0;

 private:
  // Reads the drawing through a cursor at the file's start.
  bool ReadFrom(ByteCursor& c, TImageStore* images, TReadError* error);
};

// Finds block definitions by number: the index of the first definition with
// that number, or -1. In constant time when the numbers lie close together,
// else in logarithmic time; at most eight bytes per definition either way.
class TBlockIndex {
 public:
  explicit TBlockIndex(std::span<const TEntJwwBlockDef> defs);
  int32_t Find(int32_t number) const;

 private:
  struct Entry {
    int32_t Number, Index;
  };
  TRecords<Entry> sorted_;  // by number, then index; one entry per number
  // When the numbers lie close together (as the program numbers them): the
  // index for each number from first_ on, -1 for a number no definition has.
  TRecords<int32_t> dense_;
  int64_t first_ = 0;
};

// The largest block tree the reader builds.
constexpr int32_t kMaxBlockTreeNodes = 1000000;

}  // namespace quorvex
