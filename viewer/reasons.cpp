#include "viewer/reasons.h"

#include "convert/outputs.h"

#include <cstring>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

namespace {

QString WhileReading(quorvex::TReadPart part) {
  using quorvex::TReadPart;
  switch (part) {
    case TReadPart::kFile: return QCoreApplication::translate("Reasons", "while reading the file");
    case TReadPart::kHeader: return QCoreApplication::translate("Reasons", "while reading the header");
    case TReadPart::kEntityList: return QCoreApplication::translate("Reasons", "while reading the entity list");
    case TReadPart::kBlockDefList: return QCoreApplication::translate("Reasons", "while reading the block definitions");
    case TReadPart::kImageSection: return QCoreApplication::translate("Reasons", "while reading the images");
    case TReadPart::kBlockTree: return QCoreApplication::translate("Reasons", "while linking the block insertions");
  }
  return QCoreApplication::translate("Reasons", "while reading the file");
}

// A name found in a drawing (Shift-JIS bytes) as text to show.
QString FoundName(const std::string& bytes) {
  QString out;
  for (unsigned char c : bytes.substr(0, 64)) out += c >= 0x20 && c < 0x7F ? QChar(c) : QChar(0xFFFD);
  return out;
}

}  // namespace

QString SystemError(int errorNumber) { return QString::fromLocal8Bit(std::strerror(errorNumber)); }

QString ReadReason(const quorvex::TReadError& e) {
  using quorvex::TReadProblem;
  const QString at = QString::number(e.Offset);
  const QString part = WhileReading(e.Part);
  const QString system = e.ErrorNumber != 0 ? QStringLiteral(": ") + SystemError(e.ErrorNumber) : QString();
  switch (e.Problem) {
    case TReadProblem::kNone: break;
    case TReadProblem::kCannotOpen:
      if (e.Offset == 0) return QCoreApplication::translate("Reasons", "the file cannot be opened") + system;
      return QCoreApplication::translate("Reasons", "the file could not be read further at byte %1").arg(at) + system;
    case TReadProblem::kCutShort: return QCoreApplication::translate("Reasons", "cut short at byte %1 %2").arg(at, part);
    case TReadProblem::kOldVersion:
      return QCoreApplication::translate("Reasons", "a drawing of version %1 cannot be read (byte %2; versions from 220 on can)").arg(e.Value).arg(at);
    case TReadProblem::kUnknownClass: return QCoreApplication::translate("Reasons", "an unknown object class \"%1\" at byte %2").arg(FoundName(e.Name), at);
    case TReadProblem::kBadClassTag:
      return QCoreApplication::translate("Reasons", "the object tag 0x%1 at byte %2 names no class %3")
          .arg(QString::number(static_cast<qulonglong>(e.Value), 16).toUpper().rightJustified(4, QLatin1Char('0')), at,
               part);
    case TReadProblem::kClassNameTooLong: return QCoreApplication::translate("Reasons", "a class name of %1 bytes at byte %2 is too long").arg(e.Value).arg(at);
    case TReadProblem::kImpossibleCount:
      return QCoreApplication::translate("Reasons", "the count %1 at byte %2 does not fit in the rest of the file %3").arg(QString::number(e.Value), at, part);
    case TReadProblem::kPlacesItself: return QCoreApplication::translate("Reasons", "block definition %1 places itself (byte %2)").arg(e.Value).arg(at);
    case TReadProblem::kTreeTooLarge:
      return QCoreApplication::translate("Reasons", "the block insertions reach more than 1,000,000 placements (byte %1)").arg(at);
    case TReadProblem::kOutOfMemory: return QCoreApplication::translate("Reasons", "the memory ran out at byte %1 %2").arg(at, part);
    case TReadProblem::kScratchWrite:
      return QCoreApplication::translate("Reasons", "the carried image \"%1\" cannot be put into the scratch folder").arg(FoundName(e.Name)) + system;
    case TReadProblem::kScratchRead:
      return QCoreApplication::translate("Reasons", "the carried image \"%1\" cannot be read back from the scratch folder").arg(FoundName(e.Name)) + system;
  }
  return QCoreApplication::translate("Reasons", "it cannot be read as a drawing");
}

QString CannotReadMessage(const QString& path, const quorvex::TReadError& error) {
  QString text = QCoreApplication::translate("Reasons", "The drawing cannot be read: %1\n%2").arg(QFileInfo(path).fileName(), ReadReason(error));
  if (error.UnknownSignature) text += QLatin1Char('\n') + QCoreApplication::translate("Reasons", "The file does not begin like a drawing.");
  return text;
}

QString ConversionMessage(const QString& input, const QString& output, const quorvex::TConvertResult& r) {
  const QString name = QFileInfo(output).fileName();
  if (r.Undecodable) return QCoreApplication::translate("Reasons", "Not written: %1: its Japanese texts cannot be decoded").arg(name);
  switch (r.Code) {
    case quorvex::crBadInput: return QCoreApplication::translate("Reasons", "The drawing cannot be opened: %1").arg(QFileInfo(input).fileName());
    case quorvex::crBadOutput: return QCoreApplication::translate("Reasons", "Not written: %1 is the drawing itself, or its name ends in none of %2")
          .arg(name, QString::fromStdString(quorvex::OutputExtensionsText()));
    case quorvex::crReadFailed: return CannotReadMessage(input, r.ReadError);
    case quorvex::crWriteFailed:
      if (r.OutputPlaced)
        return QCoreApplication::translate("Reasons", "%1 was written, but its folder could not be synced: %2").arg(name, SystemError(r.ErrorNumber));
      if (r.ReadError.IsWriteSide()) return QCoreApplication::translate("Reasons", "Not written: %1\n%2").arg(name, ReadReason(r.ReadError));
      return QCoreApplication::translate("Reasons", "Not written: %1\n%2").arg(name, SystemError(r.ErrorNumber));
    case quorvex::crOutOfMemory: return QCoreApplication::translate("Reasons", "Not written: %1: the memory ran out").arg(name);
    case quorvex::crDone: break;
  }
  const QLocale numbers;
  if (r.Kind && !r.Kind->Explodes) return QCoreApplication::translate("Reasons", "Written: %1").arg(name);
  if (r.Exploded.DimensionsExploded == 0)
    return QCoreApplication::translate("Reasons", "Written: %1\nNo dimension without a value: no figure changed").arg(name);
  return QCoreApplication::translate("Reasons", "Written: %1\n%2 dimensions exploded: %3 lines and %4 points added")
      .arg(name, numbers.toString(static_cast<qlonglong>(r.Exploded.DimensionsExploded)),
           numbers.toString(static_cast<qlonglong>(r.Exploded.LinesAdded)),
           numbers.toString(static_cast<qlonglong>(r.Exploded.PointsAdded)));
}

QString PictureMessage(const QString& input, const QString& output, const quorvex::TPictureResult& r) {
  const QString name = QFileInfo(output).fileName();
  switch (r.Code) {
    case quorvex::TPictureCode::kDone: return QCoreApplication::translate("Reasons", "Written: %1").arg(name);
    case quorvex::TPictureCode::kBadInput: return QCoreApplication::translate("Reasons", "The drawing cannot be opened: %1").arg(QFileInfo(input).fileName());
    case quorvex::TPictureCode::kBadOutput: return QCoreApplication::translate("Reasons", "Not written: %1 is no .svg name").arg(name);
    case quorvex::TPictureCode::kReadFailed: return CannotReadMessage(input, r.ReadError);
    case quorvex::TPictureCode::kScratchFailed: return QCoreApplication::translate("Reasons", "Not written: %1\n%2").arg(name, ReadReason(r.ReadError));
    case quorvex::TPictureCode::kWriteFailed:
      if (r.OutputPlaced)
        return QCoreApplication::translate("Reasons", "%1 was written, but its folder could not be synced: %2").arg(name, SystemError(r.ErrorNumber));
      return QCoreApplication::translate("Reasons", "Not written: %1\n%2").arg(name, SystemError(r.ErrorNumber));
    case quorvex::TPictureCode::kOutOfMemory: return QCoreApplication::translate("Reasons", "Not written: %1: the memory ran out").arg(name);
    case quorvex::TPictureCode::kNoConverter:
      return QCoreApplication::translate("Reasons", "Not written: %1: its Japanese texts cannot be decoded").arg(name);
  }
  return QCoreApplication::translate("Reasons", "Not written: %1").arg(name);
}
