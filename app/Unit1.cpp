#include "app/Unit1.h"

#include <exception>
#include <functional>
#include <system_error>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QUrl>

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

// Runs work on a thread of its own and turns the event loop meanwhile, so
// that the window keeps repainting; returns when the work has ended, also
// when the application is told to quit in between.
void RunWhileRepainting(const std::function<void()>& work) {
  QEventLoop loop;
  std::thread worker;
  try {
    worker = std::thread([&work, &loop] {
      work();
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
  } catch (const std::system_error&) {
    work();  // no thread to be had: the window waits without repainting
    return;
  }
  loop.exec();
  worker.join();
}

bool IsDrawingName(const QString& path) { return quorvex::LowerExtension(ToLocalPath(path)) == ".jww"; }

// What a drag brings: the path of one local .jww file, or why it is not
// taken (Path empty; Fault empty too when it brings no address at all).
struct TDragged {
  QString Path;
  QString Fault;
};

TDragged Dragged(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  const QList<QUrl> urls = data->urls();
  if (urls.isEmpty()) return {};
  if (urls.size() != 1) return {QString(), SeveralFilesFault()};
  if (!urls.first().isLocalFile()) return {QString(), NotLocalFault()};
  const QString path = urls.first().toLocalFile();
  if (!IsDrawingName(path)) return {QString(), NotADrawingFault()};
  return {path, QString()};
}

// Whether a drag brings addresses, taken or refused at the drop.
bool BringsAddresses(const QMimeData* data) {
  const TDragged d = Dragged(data);
  return !d.Path.isEmpty() || !d.Fault.isEmpty();
}

}  // namespace

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
    // Enter (and keypad Enter) presses the focused button, as Space does.
    b->setAutoDefault(true);
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

  Mark1 = std::make_unique<TFieldMark>(Label1, Edit1);
  Mark2 = std::make_unique<TFieldMark>(Label2, Edit2);

  setTabOrder(Button1, Edit1);
  setTabOrder(Edit1, Button2);
  setTabOrder(Button2, Edit2);
  setTabOrder(Edit2, Button3);

  // A drawing dragged over a read-only field, which refuses it, comes to the
  // window (dropEvent).
  setAcceptDrops(true);

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
  // The conversion still uses the session: the window stays until it ends.
  if (converting_) {
    event->ignore();
    return;
  }
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

void TForm1::Button1Click() {
  ClearMarks();
  Browse(Edit1);
}

void TForm1::Button2Click() {
  ClearMarks();
  Browse(Edit2);
}

TFieldMark& TForm1::MarkOf(QLineEdit* field) { return field == Edit2 ? *Mark2 : *Mark1; }

void TForm1::ClearMarks() {
  Mark1->Clear();
  Mark2->Clear();
}

void TForm1::Browse(QLineEdit* field) {
  const QString current = field->text();
  const qsizetype slash = current.lastIndexOf(QLatin1Char('/'));
  const TOpenRequest request{current.left(slash + 1), current.mid(slash + 1)};

  const std::optional<QString> chosen = ui_.OpenFile(this, request);
  if (!chosen) return;
  // Only drawing files are taken; anything else leaves the field as it
  // was, and says why beside it.
  if (!IsDrawingName(*chosen)) {
    MarkOf(field).Show(NotADrawingFault());
    return;
  }
  field->setText(*chosen);
}

void TForm1::Take(QLineEdit* field, const QString& path) {
  field->setText(path);
  ui_.Chosen(path);
}

void TForm1::OpenInput(const QString& path) {
  ClearMarks();
  const QString full = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  const quorvex::TInputNameCheck check = quorvex::CheckInputName(ToLocalPath(full));
  if (check.Problem != quorvex::TInputNameProblem::kNone) {
    // Said out loud: the user did not choose this name in the window, and
    // a beep alone (inaudible on many desktops) would leave them guessing.
    ui_.Beep();
    ui_.Message(this, InputNameMessage(full, check), TMessageKind::Error);
    Button1->setFocus();
    return;
  }
  Take(Edit1, full);
}

// Files the window refuses are let through to the drop, where the refusal
// is explained.
void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!converting_ && BringsAddresses(event->mimeData())) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
  if (!converting_ && BringsAddresses(event->mimeData())) event->acceptProposedAction();
}

QLineEdit* TForm1::FieldAt(const QPoint& point) const {
  // The output row: its label, its browse button and its field.
  const QRect output_row(0, Label2->y(), width(), Edit2->geometry().bottom() + 1 - Label2->y());
  return output_row.contains(point) ? Edit2 : Edit1;
}

void TForm1::dropEvent(QDropEvent* event) {
  if (converting_) return;
  const TDragged dragged = Dragged(event->mimeData());
  if (dragged.Path.isEmpty() && dragged.Fault.isEmpty()) return;
  ClearMarks();
  QLineEdit* field = FieldAt(event->position().toPoint());
  if (dragged.Path.isEmpty()) {
    // Refused: the source is told nothing was taken.
    MarkOf(field).Show(dragged.Fault);
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    return;
  }
  Take(field, dragged.Path);
  event->acceptProposedAction();
}

quorvex::TConvertResult TForm1::Convert(const std::string& input, const std::string& output) {
  return session_.ConvertDrawing(input, output);
}

void TForm1::Button3Click() {
  if (converting_) return;
  ClearMarks();
  const std::string input = ToLocalPath(Edit1->text());
  const std::string output = ToLocalPath(Edit2->text());

  quorvex::TConvertResult result;
  std::exception_ptr failure;
  {
    TBusyWindow busy(this);
    converting_ = true;
    RunWhileRepainting([&] {
      try {
        result = Convert(input, output);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    converting_ = false;
  }
  if (failure) {
    // Nothing is expected to escape the core; if something does, the user
    // is told and the window stays usable.
    QString what = QStringLiteral("予期しないエラーが発生しました");
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      what = QString::fromLocal8Bit(e.what());
    } catch (...) {
    }
    Tell(what, TMessageKind::Error);
    return;
  }
  ShowResult(result);
}

void TForm1::ShowResult(const quorvex::TConvertResult& result) {
  switch (result.Code) {
    case quorvex::crBadInput:
      ui_.Beep();
      Mark1->Show(InputFault(Edit1->text()));
      Button1->setFocus();
      break;
    case quorvex::crBadOutput:
      ui_.Beep();
      Mark2->Show(OutputFault(Edit2->text()));
      Button2->setFocus();
      break;
    case quorvex::crReadFailed:
      // Said out loud: silence would let an old output pass for the result.
      ui_.Beep();
      Tell(ReadFailureMessage(Edit1->text(), result.ReadError), TMessageKind::Error);
      break;
    case quorvex::crWriteFailed:
      Tell(WriteFailureMessage(Edit2->text(), result), TMessageKind::Error);
      break;
    case quorvex::crOutOfMemory:
      ui_.Beep();
      Tell(OutOfMemoryMessage(Edit1->text(), result), TMessageKind::Error);
      break;
    case quorvex::crDone:
      Tell(DoneMessage(result.Exploded), TMessageKind::Information);
      break;
  }
}

void TForm1::Tell(const QString& text, TMessageKind kind) {
  ui_.Message(this, text, kind);
  // Back on 変換 after the message, whatever had the focus before.
  Button3->setFocus();
}
