// What a command-line run of one drawing prints and its exit status: the
// lines of a conversion and of a picture, kept as text so that a batch can
// print each input's lines in input order, and printed whole.
#pragma once

#include <string>

#include "convert/exitcodes.h"
#include "convert/picture.h"
#include "convert/session.h"
#include "text/messages.h"  // Format

namespace quorvex {

struct TOutcome {
  int Exit = kExitOk;
  std::string Out;  // for the standard output
  std::string Err;  // for the error output
};

// Why an output was not written, to follow its name: "cannot be written:
// " and the system's reason; or, when the complete new file took the name
// all the same (placed), that it did and what that means.
std::string WriteFailureReason(int errorNumber, bool placed);

// Prints an outcome whole, so that nothing of it waits in a buffer when a
// signal ends the process; a line the standard output refuses is reported
// on the error output.
void Print(const TOutcome& o);

// Converts one drawing with the session; what it printed and its status.
// Without options the output is a drawing (.jww).
[[nodiscard]] TOutcome ConvertOne(TConversionSession& session, const std::string& in, const std::string& out,
                                  const TConvertOptions& options = {});

// Why a picture is not made when the Shift-JIS converter cannot be loaded
// (Cp932ConverterError()'s error number), for a message.
std::string NoConverterReason(int errorNumber);

// Draws one drawing into an SVG picture, as stored or (preview) as the
// conversion would write it; what it printed and its status.
[[nodiscard]] TOutcome DrawOne(bool preview, const std::string& input, const std::string& output,
                               TColorSet colors = TColorSet::kScreen);

}  // namespace quorvex
