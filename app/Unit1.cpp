#include "app/Unit1.h"

#include <exception>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFont>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>

TForm1* Form1 = nullptr;

namespace {

constexpr int kFontPixels = 13;
constexpr int kConvertButtonFontPixels = 21;

// Registers the Linux gothic faces as stand-ins for the designed face, once,
// so that a request by that name alone still finds a Japanese font.
void InstallFontSubstitutes() {
  static const bool done = [] {
    const QStringList families = GothicFamilies();
    QFont::insertSubstitutions(families.first(), families.mid(1));
    return true;
  }();
  (void)done;
}

QFont GothicFont(int pixels) {
  QFont f;
  f.setFamilies(GothicFamilies());
  f.setPixelSize(pixels);
  return f;
}

// Keeps the window from taking input while a conversion runs and puts it
// back, with the keyboard focus where it was, however the call ends.
class TBusyWindow {
 public:
  explicit TBusyWindow(QWidget* window) : window_(window), focus_(window->focusWidget()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    window_->setEnabled(false);
  }
  ~TBusyWindow() {
    window_->setEnabled(true);
    QApplication::restoreOverrideCursor();
    if (focus_) focus_->setFocus();
  }
  TBusyWindow(const TBusyWindow&) = delete;
  TBusyWindow& operator=(const TBusyWindow&) = delete;

 private:
  QWidget* window_;
  QPointer<QWidget> focus_;
};

}  // namespace

QString Form1Caption() {
  return QStringLiteral("Jwwデータにて、寸法値のない寸法図形を分解するテストプログラム");
}

QString DoneMessage() { return QStringLiteral("変換終了しました"); }

QString IoErrorMessage(int error_number) {
  return QStringLiteral("I/O エラー (%1)").arg(error_number);
}

QStringList GothicFamilies() {
  return {QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"), QStringLiteral("IPAGothic"),
          QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP"),
          QStringLiteral("Noto Sans Mono CJK JP")};
}

QIcon QuorvexIcon() {
  QIcon icon;
  // Scalable when the SVG image plugin is there; the PNGs always work.
  if (QImageReader::supportedImageFormats().contains("svg"))
    icon.addFile(QStringLiteral(":/quorvex/quorvex.svg"));
  icon.addFile(QStringLiteral(":/quorvex/quorvex-48.png"), QSize(48, 48));
  icon.addFile(QStringLiteral(":/quorvex/quorvex-256.png"), QSize(256, 256));
  return icon;
}

std::string ToLocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }


TForm1::TForm1(TUiServices& ui, quorvex::TScratchPlace scratch, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui_(ui),
      scratch_(scratch) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(Form1Caption());
  setWindowIcon(QuorvexIcon());
  InstallFontSubstitutes();
  setFont(GothicFont(kFontPixels));
  move(192, 107);
  setFixedSize(kClientWidth, kClientHeight);

  auto label = [this](const char* name, const QString& text, int top) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QLatin1String(name));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setGeometry(8, top, 130, 13);
    return l;
  };
  auto button = [this](const char* name, const QString& text, const QRect& r) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setGeometry(r);
    return b;
  };
  auto edit = [this](const char* name, int top) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QLatin1String(name));
    e->setReadOnly(true);
    e->setGeometry(64, top, 481, 21);
    return e;
  };

  Label1 = label("Label1", QStringLiteral("入力図面ファイル名："), 8);
  Button1 = button("Button1", QStringLiteral("参照"), QRect(16, 32, 41, 25));
  Edit1 = edit("Edit1", 32);
  Label2 = label("Label2", QStringLiteral("出力図面ファイル名："), 64);
  Button2 = button("Button2", QStringLiteral("参照"), QRect(16, 88, 41, 25));
  Edit2 = edit("Edit2", 88);
  Button3 = button("Button3", QStringLiteral("変換"), QRect(192, 120, 169, 41));
  Button3->setFont(GothicFont(kConvertButtonFontPixels));

  setTabOrder(Button1, Edit1);
  setTabOrder(Edit1, Button2);
  setTabOrder(Button2, Edit2);
  setTabOrder(Edit2, Button3);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
}

TForm1::~TForm1() {
  // A window destroyed without being closed still leaves no scratch behind.
  if (session_.Started()) session_.CleanUp();
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Restoring from the minimised state is a spontaneous show: no new start.
  if (!event->spontaneous() && !session_.Started()) FormShow();
}

void TForm1::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TForm1::FormShow() {
  Edit1->setText(QString());
  Edit2->setText(QString());
  session_.StartUp(scratch_);
}

void TForm1::FormClose() {
  if (session_.Started()) session_.CleanUp();
}

void TForm1::ResetConversion() { session_.ResetConversion(); }

void TForm1::Button1Click() { Browse(Edit1); }

void TForm1::Button2Click() { Browse(Edit2); }

void TForm1::Browse(QLineEdit* field) {
  const QString current = field->text();
  const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
  const TOpenRequest request{current.left(slash + 1), current.mid(slash + 1)};

  const std::optional<QString> chosen = ui_.OpenFile(this, request);
  if (!chosen) return;
  // Only drawing files are taken; anything else leaves the field as it was.
  if (quorvex::LowerExtension(ToLocalPath(*chosen)) != ".jww") return;
  field->setText(*chosen);
}

void TForm1::Button3Click() {
  const std::string input = ToLocalPath(Edit1->text());
  const std::string output = ToLocalPath(Edit2->text());

  quorvex::TConvertResult result;
  try {
    TBusyWindow busy(this);
    result = session_.ConvertDrawing(input, output);
  } catch (const std::exception& e) {
    // Nothing is expected to escape the core; if something does, the user
    // is told and the window stays usable.
    ui_.Message(this, QString::fromLocal8Bit(e.what()), TMessageKind::Error);
    return;
  }

  switch (result.Code) {
    case quorvex::crBadInput:
      ui_.Beep();
      Button1->setFocus();
      break;
    case quorvex::crBadOutput:
      ui_.Beep();
      Button2->setFocus();
      break;
    case quorvex::crReadFailed:
      break;  // a drawing the reader refuses is passed over in silence
    case quorvex::crWriteFailed:
      ui_.Message(this, IoErrorMessage(result.ErrorNumber), TMessageKind::Error);
      break;
    case quorvex::crDone:
      ui_.Message(this, DoneMessage(), TMessageKind::Information);
      break;
  }
}
