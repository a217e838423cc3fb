// Where the format code's bytes come from and where they go: a file read a
// block at a time, and an output filled a room at a time. The drawing's
// reader and writer see only these; the files behind them are this
// folder's business.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorvex {

// Blocks of a file in order, from its start to its end.
class TByteSource {
 public:
  // The bytes of a block; kHeadroom bytes before Data may be written (the
  // reader puts there what it still needs of the block before).
  struct TBlock {
    uint8_t* Data = nullptr;
    uint64_t Offset = 0;  // the file's byte Data[0] is
    size_t Size = 0;
    int Error = 0;  // set (Size 0) where the file cannot be read further
  };
  static constexpr size_t kHeadroom = size_t(256) << 10;

  virtual ~TByteSource() = default;
  // The next block of the file, in order (an empty block with Error set
  // where the file cannot be read further, and after that).
  virtual TBlock Next() = 0;
  // Hands a block's memory back for reading on.
  virtual void Release(uint8_t* data) = 0;
};

// Where a writer's bytes go, a room at a time: Exchange takes the first
// `used` bytes of the room given last (none the first time) and gives the
// room for the next ones. 0, or the errno of a failure.
class TByteSink {
 public:
  virtual ~TByteSink() = default;
  [[nodiscard]] virtual int Exchange(size_t used, uint8_t*& room, size_t& size) = 0;
};

}  // namespace quorvex
