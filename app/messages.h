// What the window says: its caption and the texts of its messages, in
// Japanese, apart from the widgets that show them.
#pragma once

#include <QString>

#include "convert/session.h"

// The window's caption.
QString Form1Caption();
// The closing message of a conversion, with a second line that says what
// the explode did (block definitions included).
QString DoneMessage(const quorvex::TExplodeSummary& done);
QString IoErrorMessage(int error_number);

// A drawing that cannot be read: "図面を読み込めません: <file name>" and, on
// a second line, why (ReadFailureReason); for a file that does not begin as
// a drawing does (a text file named .jww), that it does not.
QString ReadFailureMessage(const QString& path, const quorvex::TReadError& error);
// Why a read failed, in Japanese, in one line that names the byte where the
// reading stopped, for example
// "3000 バイト目で途切れています（図形データの読み込み中）".
QString ReadFailureReason(const quorvex::TReadError& error);
// An input drawing named on the command line that is refused: "図面を開けません:
// <path>" and, on a second line, why (the name is not .jww, with a hint
// when the file is a drawing all the same; no such file, a folder, no
// right to read, in the system's words).
QString InputNameMessage(const QString& path, const quorvex::TInputNameCheck& check);
// An output that cannot be written: "I/O エラー (n)", the output file's name
// and the system's own description of the error (in the user's language);
// for a carried image that could not be put into the scratch folder, that
// image and the byte of the input it came from too. When the complete new
// drawing took the output's name all the same (the folder could not be
// synced afterwards), it says so instead of "図面を書き込めません".
QString WriteFailureMessage(const QString& output, const quorvex::TConvertResult& result);
// The short reasons beside a field at fault (app/fieldmark.h), one line
// each. Why the input name was refused (crBadInput): no name, not .jww, no
// such file, a folder or what is no regular file.
QString InputFault(const QString& path);
// Why the output name was refused (crBadOutput), the input's having
// passed: no name, not .jww, or the input itself.
QString OutputFault(const QString& output);
// A file of another kind chosen in the dialog or dropped.
QString NotADrawingFault();
// Several files dropped at once.
QString SeveralFilesFault();
// A dropped address that is no file of this computer.
QString NotLocalFault();

// The memory ran out: "メモリが足りないため変換できません: <file name>" and,
// when it was while reading, where (ReadFailureReason).
QString OutOfMemoryMessage(const QString& input, const quorvex::TConvertResult& result);
