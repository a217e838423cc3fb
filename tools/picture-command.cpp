#include "tools/picture-command.h"

#include <cstdio>
#include <cstring>

#include "app/picture.h"

using namespace quorvex;

int PictureCommand(bool preview, const std::string& input, const std::string& output) {
  const TPictureResult r = MakePicture(input, output, preview ? TPictureMode::kPreview : TPictureMode::kAsStored);
  switch (r.Code) {
    case TPictureCode::kDone:
      if (preview) {
        std::printf("%s -> %s: %s; %lld lines and %lld points marked\n", input.c_str(), output.c_str(),
                    r.Caption.c_str(), static_cast<long long>(r.MarkedLines), static_cast<long long>(r.MarkedPoints));
      } else {
        std::printf("%s -> %s: drawn\n", input.c_str(), output.c_str());
      }
      return 0;
    case TPictureCode::kBadInput:
      std::fprintf(stderr, "quorvex-convert: %s: not an existing .jww file\n", input.c_str());
      return 3;
    case TPictureCode::kBadOutput:
      std::fprintf(stderr, "quorvex-convert: %s: the picture must be a .svg file\n", output.c_str());
      return 4;
    case TPictureCode::kReadFailed:
      if (r.ReadError.Failed()) {
        std::fprintf(stderr, "quorvex-convert: %s: cannot be read as a drawing: %s\n", input.c_str(),
                     r.ReadError.Describe().c_str());
      } else {
        std::fprintf(stderr, "quorvex-convert: %s: cannot be read as a drawing\n", input.c_str());
      }
      return 1;
    case TPictureCode::kWriteFailed:
      std::fprintf(stderr, "quorvex-convert: %s: cannot be written: %s\n", output.c_str(),
                   std::strerror(r.ErrorNumber));
      return 5;
  }
  return 2;
}
