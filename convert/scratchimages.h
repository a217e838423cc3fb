// The conversion's keeper of the images a drawing carries: a file for each
// in a scratch folder (the session's own, os/scratch.h), named by the
// number the image store gives it ("image-1", "image-2", ...), never by the
// drawing, holding the image's bytes exactly as stored.
#pragma once

#include <cstdint>
#include <string>

#include "jww/images.h"
#include "os/fdio.h"

namespace quorvex {

class TScratchImages : public TImageKeeper {
 public:
  TScratchImages() = default;
  explicit TScratchImages(std::string folder) : Folder(std::move(folder)) {}

  // The folder, with its trailing '/'.
  std::string Folder;
  // The file of image `number`.
  std::string PathOf(uint32_t number) const { return Folder + "image-" + std::to_string(number); }

  // A new file (an old file or link of that name is replaced, never
  // followed), written, closed; removed again unless kept.
  int Start(uint32_t number) override;
  int Append(const uint8_t* data, size_t size) override;
  int Finish(uint32_t number, bool keep) override;
  // Gone only when nothing stands at the file's name.
  bool Gone(uint32_t number) override;
  // The file opened for reading (a link is not followed).
  int Open(uint32_t number, uint64_t& size) override;
  int Read(uint8_t* data, size_t size, size_t& got) override;
  void Drop(uint32_t number) override;

 private:
  TFd writing_, reading_;
};

}  // namespace quorvex
