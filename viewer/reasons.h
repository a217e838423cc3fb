// What the viewer says when a drawing cannot be read or written, in the
// user's language: the file, and on a second line why, naming the byte
// where the reading stopped.
#pragma once

#include <QString>

#include "convert/picture.h"
#include "convert/session.h"
#include "jww/readerror.h"

// "The drawing cannot be read: NAME" and why.
QString CannotReadMessage(const QString& path, const quorvex::TReadError& error);
// Why a read failed, in one line.
QString ReadReason(const quorvex::TReadError& error);
// The system's description of an error number, in the user's language.
QString SystemError(int errorNumber);
// What a conversion (to JWW or DXF) ended with: done, with what the
// explode did, or why not.
QString ConversionMessage(const QString& input, const QString& output, const quorvex::TConvertResult& result);
// What a picture (an SVG export) ended with.
QString PictureMessage(const QString& input, const QString& output, const quorvex::TPictureResult& result);
