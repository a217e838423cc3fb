// quorvex-convert --svg / --preview: a picture of a drawing.
#pragma once

#include <string>

// Draws INPUT.jww into PICTURE.svg, as stored or (preview) as the
// conversion would write it; prints what was done or why not. Returns the
// converter's exit status: 0, 1 unreadable, 3 bad input name, 4 bad output
// name, 5 the picture cannot be written.
int PictureCommand(bool preview, const std::string& input, const std::string& output);
