#include "convert/scratchimages.h"

namespace quorvex {

int TScratchImages::Start(uint32_t number) { return CreateNewFile(PathOf(number), writing_); }

int TScratchImages::Append(const uint8_t* data, size_t size) { return WriteAll(writing_.Get(), data, size); }

int TScratchImages::Finish(uint32_t number, bool keep) {
  const int err = CloseWritten(writing_);
  if (err != 0 || !keep) RemoveFile(PathOf(number));
  return err;
}

bool TScratchImages::Gone(uint32_t number) { return PathMissing(PathOf(number)); }

int TScratchImages::Open(uint32_t number, uint64_t& size) {
  return OpenRegularFile(PathOf(number), false, reading_, size);
}

int TScratchImages::Read(uint8_t* data, size_t size, size_t& got) { return ReadSome(reading_.Get(), data, size, got); }

void TScratchImages::Drop(uint32_t number) { RemoveFile(PathOf(number)); }

}  // namespace quorvex
