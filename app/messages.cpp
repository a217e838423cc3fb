#include "app/messages.h"

#include <cerrno>
#include <cstring>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>

namespace {

// The system's own description of an error number, in the user's language
// (the application has set the locale from the environment).
QString SystemErrorText(int error_number) { return QString::fromLocal8Bit(std::strerror(error_number)); }

// A class or file name found in a drawing (Shift-JIS bytes) as text to show:
// control characters escaped, long names cut.
QString DrawingName(const std::string& bytes) {
  constexpr qsizetype kMax = 64;
  const QByteArray raw = QByteArray::fromStdString(bytes);
  QStringDecoder sjis("Shift_JIS");
  QString decoded = sjis.isValid() ? sjis.decode(raw) : QString();
  if (!sjis.isValid() || sjis.hasError()) decoded = QString::fromLatin1(raw);
  QString out;
  for (const QChar ch : decoded.left(kMax)) {
    if (ch.unicode() < 0x20 || ch.unicode() == 0x7F)
      out += QStringLiteral("\\x") + QString::number(ch.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
    else
      out += ch;
  }
  if (decoded.size() > kMax) out += QStringLiteral("…");
  return out;
}

// "（図形データの読み込み中）": the part of the file being read.
QString WhileReading(quorvex::TReadPart part) {
  using quorvex::TReadPart;
  switch (part) {
    case TReadPart::kFile: return QStringLiteral("（ファイルの読み込み中）");
    case TReadPart::kHeader: return QStringLiteral("（ヘッダーの読み込み中）");
    case TReadPart::kEntityList: return QStringLiteral("（図形データの読み込み中）");
    case TReadPart::kBlockDefList: return QStringLiteral("（ブロック定義の読み込み中）");
    case TReadPart::kImageSection: return QStringLiteral("（画像データの読み込み中）");
    case TReadPart::kBlockTree: return QStringLiteral("（ブロック図形の組み立て中）");
  }
  return QStringLiteral("（ファイルの読み込み中）");
}

}  // namespace

QString Form1Caption() {
  return QStringLiteral("Jwwデータにて、寸法値のない寸法図形を分解するテストプログラム");
}

QString DoneMessage(const quorvex::TExplodeSummary& done) {
  const QString title = QStringLiteral("変換終了しました");
  if (done.DimensionsExploded == 0)
    return title + QStringLiteral("\n寸法値のない寸法図形はありませんでした（図形は変更していません）");
  const QLocale numbers(QLocale::Japanese, QLocale::Japan);
  return title + QStringLiteral("\n寸法図形 %1 個を分解し、線 %2 本と点 %3 個を追加（ブロック定義内を含む）")
                     .arg(numbers.toString(static_cast<qlonglong>(done.DimensionsExploded)),
                          numbers.toString(static_cast<qlonglong>(done.LinesAdded)),
                          numbers.toString(static_cast<qlonglong>(done.PointsAdded)));
}

QString IoErrorMessage(int error_number) {
  return QStringLiteral("I/O エラー (%1)").arg(error_number);
}

QString ReadFailureMessage(const QString& path, const quorvex::TReadError& error) {
  // A text file or a picture renamed .jww: that is the reason, the user may
  // have picked the wrong file; where its bytes stopped reading as a
  // drawing's says nothing more.
  const QString why = error.UnknownSignature ? QStringLiteral("このファイルは図面ファイルの形で始まっていません")
                                             : ReadFailureReason(error);
  return QStringLiteral("図面を読み込めません: %1\n%2").arg(QFileInfo(path).fileName(), why);
}

QString ReadFailureReason(const quorvex::TReadError& error) {
  using quorvex::TReadProblem;
  const QString byte = QStringLiteral("%1 バイト目").arg(error.Offset);
  const QString value = QString::number(error.Value);
  const QString part = WhileReading(error.Part);
  const QString system = error.ErrorNumber != 0 ? QStringLiteral(": ") + SystemErrorText(error.ErrorNumber) : QString();
  switch (error.Problem) {
    case TReadProblem::kNone: break;  // no detail was given
    case TReadProblem::kCannotOpen:
      if (error.Offset == 0) return QStringLiteral("ファイルを開けません") + system;
      return byte + QStringLiteral("でファイルを読めなくなりました") + system;
    case TReadProblem::kCutShort: return byte + QStringLiteral("で途切れています") + part;
    case TReadProblem::kOldVersion:
      return QStringLiteral("バージョン %1 の図面は読めません（%2、読めるのはバージョン 220 以降）").arg(value, byte);
    case TReadProblem::kUnknownClass:
      return byte + QStringLiteral("に知らないオブジェクトクラス「%1」があります").arg(DrawingName(error.Name));
    case TReadProblem::kBadClassTag:
      return byte +
             QStringLiteral("のオブジェクトタグ 0x%1 はどのクラスも指していません")
                 .arg(QString::number(static_cast<qulonglong>(error.Value), 16).toUpper().rightJustified(4, QLatin1Char('0'))) +
             part;
    case TReadProblem::kClassNameTooLong:
      return byte + QStringLiteral("のクラス名が長すぎます（%1 バイト）").arg(value);
    case TReadProblem::kImpossibleCount:
      return byte + QStringLiteral("の個数 %1 はファイルの残りに収まりません").arg(value) + part;
    case TReadProblem::kPlacesItself:
      return QStringLiteral("ブロック定義 %1 が自分自身を配置しています（%2）").arg(value, byte);
    case TReadProblem::kTreeTooLarge:
      return QStringLiteral("ブロック図形の配置が 1,000,000 個を超えます（%1）").arg(byte);
    case TReadProblem::kOutOfMemory: return byte + QStringLiteral("でメモリが足りなくなりました") + part;
    case TReadProblem::kScratchWrite:
      return QStringLiteral("埋め込み画像「%1」を作業フォルダーに書き出せません（%2）")
                 .arg(DrawingName(error.Name), byte) +
             system;
    case TReadProblem::kScratchRead:
      return QStringLiteral("埋め込み画像「%1」を作業フォルダーから読み戻せません").arg(DrawingName(error.Name)) + system;
  }
  return QStringLiteral("図面として読めません");
}

QString InputNameMessage(const QString& path, const quorvex::TInputNameCheck& check) {
  using quorvex::TInputNameProblem;
  QString why;
  switch (check.Problem) {
    case TInputNameProblem::kNone: break;
    case TInputNameProblem::kEmpty: why = QStringLiteral("ファイル名がありません"); break;
    case TInputNameProblem::kNotJww:
      why = QStringLiteral("名前が .jww で終わっていません");
      if (check.BeginsLikeADrawing) why += QStringLiteral("\n中身は図面です。名前の末尾を .jww に変えると開けます");
      break;
    case TInputNameProblem::kCannotOpen:
      why = check.ErrorNumber == EISDIR   ? QStringLiteral("フォルダーです")
            : check.ErrorNumber == EINVAL ? QStringLiteral("通常のファイルではありません")
                                          : SystemErrorText(check.ErrorNumber);
      break;
  }
  return QStringLiteral("図面を開けません: %1\n%2").arg(path, why);
}

QString InputFault(const QString& path) {
  if (path.isEmpty()) return QStringLiteral("入力図面が選ばれていません");
  const quorvex::TInputNameCheck check = quorvex::CheckInputName(QFile::encodeName(path).toStdString());
  switch (check.Problem) {
    case quorvex::TInputNameProblem::kEmpty: return QStringLiteral("入力図面が選ばれていません");
    case quorvex::TInputNameProblem::kNotJww: return QStringLiteral("名前が .jww で終わっていません");
    case quorvex::TInputNameProblem::kNone: break;
    case quorvex::TInputNameProblem::kCannotOpen:
      switch (check.ErrorNumber) {
        case ENOENT:
        case ENOTDIR: return QStringLiteral("ファイルがありません");
        case EISDIR: return QStringLiteral("フォルダーです");
        case EINVAL: return QStringLiteral("通常のファイルではありません");
        default: return SystemErrorText(check.ErrorNumber);
      }
  }
  // Gone when the conversion looked, there again now.
  return QStringLiteral("ファイルがありません");
}

QString OutputFault(const QString& output) {
  if (output.isEmpty()) return QStringLiteral("出力図面が選ばれていません");
  if (quorvex::LowerExtension(QFile::encodeName(output).toStdString()) != ".jww")
    return QStringLiteral("名前が .jww で終わっていません");
  return QStringLiteral("入力図面と同じファイルです");
}

QString NotADrawingFault() { return QStringLiteral("図面ファイル（.jww）ではありません"); }

QString SeveralFilesFault() { return QStringLiteral("図面は 1 つずつドロップしてください"); }

QString NotLocalFault() { return QStringLiteral("このコンピューター上のファイルではありません"); }

QString WriteFailureMessage(const QString& output, const quorvex::TConvertResult& result) {
  const bool scratch = result.ReadError.IsWriteSide();
  const int error_number = result.ErrorNumber != 0 || !scratch ? result.ErrorNumber : result.ReadError.ErrorNumber;
  if (result.OutputPlaced)
    return IoErrorMessage(error_number) + QStringLiteral("\n図面は書き込みましたが、フォルダーを同期できませんでした: ") +
           QFileInfo(output).fileName() +
           QStringLiteral("\n元のファイルは新しい図面に置き換わっています（停電などでこの置き換えが失われることがあります）\n") +
           SystemErrorText(error_number);
  QString text = IoErrorMessage(error_number) + QStringLiteral("\n図面を書き込めません: ") + QFileInfo(output).fileName();
  if (scratch)
    text += QLatin1Char('\n') + ReadFailureReason(result.ReadError);
  else if (error_number != 0)
    text += QLatin1Char('\n') + SystemErrorText(error_number);
  return text;
}

QString OutOfMemoryMessage(const QString& input, const quorvex::TConvertResult& result) {
  QString text = QStringLiteral("メモリが足りないため変換できません: ") + QFileInfo(input).fileName();
  if (result.ReadError.Failed()) text += QLatin1Char('\n') + ReadFailureReason(result.ReadError);
  return text;
}
