// The main window driven as a user would: clicks on its buttons, with the
// file-open dialog, the beep and the message box answered by a recording
// stand-in. Runs without a display (offscreen platform).

#include <cerrno>
#include <memory>
#include <optional>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Unit1.h"
#include "app/ui_services.h"

namespace {

class TRecordingUi : public TUiServices {
 public:
  void Beep() override { ++Beeps; }
  std::optional<QString> OpenFile(QWidget*, const TOpenRequest& request) override {
    Requests.append(request);
    return Answers.isEmpty() ? std::nullopt : Answers.takeFirst();
  }
  void Message(QWidget* parent, const QString& text, TMessageKind kind) override {
    Messages.append(text);
    Kinds.append(kind);
    EnabledAtMessage.append(parent && parent->isEnabled());
  }

  int Beeps = 0;
  QList<TOpenRequest> Requests;
  QList<std::optional<QString>> Answers;  // given out in order, then "cancel"
  QStringList Messages;
  QList<TMessageKind> Kinds;
  QList<bool> EnabledAtMessage;
};

// A drawing the core reads: QUORVEX_TEST_DRAWING, the bundled sample, or one
// of the real drawings kept beside the project.
QString FindInputDrawing() {
  const QString env = qEnvironmentVariable("QUORVEX_TEST_DRAWING");
  QStringList candidates;
  if (!env.isEmpty()) candidates << env;
  const QString root = QStringLiteral(QUORVEX_SOURCE_DIR);
  candidates << root + QStringLiteral("/samples/sample.jww")
             << root + QStringLiteral("/../shared/real/plan-test1.jww")
             << root + QStringLiteral("/../shared/real/lines-only.jww");
  for (const QString& c : candidates)
    if (QFileInfo(c).isFile()) return QFileInfo(c).absoluteFilePath();
  return QString();
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Ends whatever modal window runs, so that a wrong guess cannot hang a test.
bool CloseModal() {
  QWidget* w = QApplication::activeModalWidget();
  return w && w->close();
}

}  // namespace

class TestForm1 : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvex")); }
  void init();
  void cleanup();

  void layoutMatchesTheDesign();
  void captionsRenderInAJapaneseFont();
  void tabOrder();
  void startUpAndClose();

  void browseTakesOnlyDrawingFiles();
  void realDialogsAreSetUpAsDesigned();

  void badNamesBeepAndMoveTheFocus_data();
  void badNamesBeepAndMoveTheFocus();
  void unreadableDrawingIsSilent();
  void goodPairConvertsLikeTheDirectCall();
  void unwritableOutputShowsTheErrorNumber();

 private:
  void Browse(QPushButton* button, const QString& answer);
  void Convert() { QTest::mouseClick(form_->Button3, Qt::LeftButton); }
  QString Path(const QString& name) const { return dir_->filePath(name); }
  QString RequireDrawing();

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TRecordingUi> ui_;
  std::unique_ptr<TForm1> form_;
};

void TestForm1::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  QVERIFY(dir_->isValid());
  ui_ = std::make_unique<TRecordingUi>();
  form_ = std::make_unique<TForm1>(*ui_, quorvex::TScratchPlace::Private);
  form_->show();
  QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  form_->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

void TestForm1::cleanup() {
  form_.reset();
  ui_.reset();
  dir_.reset();
}

void TestForm1::Browse(QPushButton* button, const QString& answer) {
  ui_->Answers.append(answer);
  QTest::mouseClick(button, Qt::LeftButton);
}

QString TestForm1::RequireDrawing() {
  const QString input = FindInputDrawing();
  if (input.isEmpty()) return QString();
  // Work on a copy in the test folder so every output lands there too.
  const QString copy = Path(QStringLiteral("input.jww"));
  QFile::copy(input, copy);
  return copy;
}

#define REQUIRE_DRAWING(var)                                                          \
  const QString var = RequireDrawing();                                               \
  if (var.isEmpty())                                                                  \
    QSKIP("no input drawing: set QUORVEX_TEST_DRAWING or add samples/sample.jww");

void TestForm1::layoutMatchesTheDesign() {
  TForm1& f = *form_;
  QCOMPARE(f.objectName(), QStringLiteral("Form1"));
  QCOMPARE(f.windowTitle(), QStringLiteral("Jwwデータにて、寸法値のない寸法図形を分解するテストプログラム"));
  QCOMPARE(f.size(), QSize(557, 166));
  QCOMPARE(f.minimumSize(), f.maximumSize());
  QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
  QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);
  QVERIFY(!f.windowIcon().isNull());

  const struct {
    QWidget* Widget;
    const char* Name;
    QRect Geometry;
  } controls[] = {
      {f.Label1, "Label1", {8, 8, 130, 13}},    {f.Button1, "Button1", {16, 32, 41, 25}},
      {f.Edit1, "Edit1", {64, 32, 481, 21}},    {f.Label2, "Label2", {8, 64, 130, 13}},
      {f.Button2, "Button2", {16, 88, 41, 25}}, {f.Edit2, "Edit2", {64, 88, 481, 21}},
      {f.Button3, "Button3", {192, 120, 169, 41}},
  };
  for (const auto& c : controls) {
    QCOMPARE(c.Widget->objectName(), QLatin1String(c.Name));
    QCOMPARE(c.Widget->geometry(), c.Geometry);
    QVERIFY(c.Widget->isVisible());
  }

  QCOMPARE(f.Label1->text(), QStringLiteral("入力図面ファイル名："));
  QCOMPARE(f.Label2->text(), QStringLiteral("出力図面ファイル名："));
  QCOMPARE(f.Button1->text(), QStringLiteral("参照"));
  QCOMPARE(f.Button2->text(), QStringLiteral("参照"));
  QCOMPARE(f.Button3->text(), QStringLiteral("変換"));
  QVERIFY(f.Edit1->isReadOnly());
  QVERIFY(f.Edit2->isReadOnly());

  QCOMPARE(f.font().pixelSize(), 13);
  QCOMPARE(f.Label1->font().pixelSize(), 13);
  QCOMPARE(f.Button3->font().pixelSize(), 21);
}

void TestForm1::captionsRenderInAJapaneseFont() {
  const QStringList japanese = GothicFamilies();
  for (QWidget* w : {static_cast<QWidget*>(form_->Label1), static_cast<QWidget*>(form_->Button3)}) {
    const QFontInfo info(w->font());
    QVERIFY2(japanese.contains(info.family()), qPrintable(info.family()));
    const QFontMetrics metrics(w->font());
    const QString captions = form_->windowTitle() + form_->Label1->text() +
                             form_->Label2->text() + form_->Button1->text() +
                             form_->Button3->text();
    for (const QChar ch : captions)
      QVERIFY2(metrics.inFont(ch), qPrintable(QStringLiteral("no glyph for ") + ch));
  }
}

void TestForm1::tabOrder() {
  form_->Button1->setFocus();
  QCOMPARE(QApplication::focusWidget(), form_->Button1);
  const QList<QWidget*> expected = {form_->Edit1, form_->Button2, form_->Edit2, form_->Button3,
                                    form_->Button1};
  for (QWidget* next : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), next);
  }
}

void TestForm1::startUpAndClose() {
  QVERIFY(form_->Session().Started());
  QVERIFY(form_->Session().Attributes != nullptr);
  QCOMPARE(form_->Edit1->text(), QString());
  QCOMPARE(form_->Edit2->text(), QString());
  form_->close();
  QVERIFY(!form_->Session().Started());
  QVERIFY(form_->Session().Attributes == nullptr);
}

void TestForm1::browseTakesOnlyDrawingFiles() {
  const QString drawing = QStringLiteral("/home/user/図面/plan.JWW");
  Browse(form_->Button1, drawing);
  QCOMPARE(form_->Edit1->text(), drawing);
  QCOMPARE(ui_->Requests[0].Directory, QString());  // an empty field gives no start
  QCOMPARE(ui_->Requests[0].FileName, QString());

  for (const char* other : {"/tmp/plan.dxf", "/tmp/plan.jww.bak", "/tmp/jww"})
    Browse(form_->Button1, QString::fromUtf8(other));
  QTest::mouseClick(form_->Button1, Qt::LeftButton);  // cancelled
  QCOMPARE(form_->Edit1->text(), drawing);
  QCOMPARE(ui_->Requests.last().Directory, QStringLiteral("/home/user/図面/"));
  QCOMPARE(ui_->Requests.last().FileName, QStringLiteral("plan.JWW"));

  const QString output = QStringLiteral("/tmp/出力.jww");
  Browse(form_->Button2, output);
  QCOMPARE(form_->Edit2->text(), output);
  QCOMPARE(form_->Edit1->text(), drawing);
  QCOMPARE(ui_->Requests.last().Directory, QString());  // from its own field
  QCOMPARE(ui_->Beeps, 0);
  QVERIFY(ui_->Messages.isEmpty());
}

void TestForm1::realDialogsAreSetUpAsDesigned() {
  TQtUiServices real;
  QStringList seen;
  // Answers the modal dialog once it runs: records what it shows, then
  // types a new name without extension and accepts.
  QTimer::singleShot(0, this, [&seen] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!d) return CloseModal();
    seen << d->windowTitle() << d->nameFilters().join(QLatin1Char('|')) << d->defaultSuffix()
         << d->directory().absolutePath();
    d->selectFile(QStringLiteral("new-name"));
    // A dialog that refuses the name says so in a box of its own: close it.
    QTimer::singleShot(0, d, [d] {
      QWidget* w = QApplication::activeModalWidget();
      if (d->isVisible() && w && w != d) w->close();
    });
    static_cast<QDialog*>(d)->accept();  // runs the dialog's own checks
    if (d->isVisible()) d->reject();
    return true;
  });
  const std::optional<QString> chosen =
      real.OpenFile(form_.get(), {dir_->path() + QLatin1Char('/'), QStringLiteral("start.jww")});
  QCOMPARE(seen, (QStringList{QStringLiteral("Jw_cad図面ファイルを指定して下さい"),
                              QStringLiteral("Jw_cad図面ファイル(*.jww)"), QStringLiteral("jww"),
                              QDir(dir_->path()).absolutePath()}));
  QCOMPARE(chosen, std::optional<QString>(Path(QStringLiteral("new-name.jww"))));

  seen.clear();
  QTimer::singleShot(0, this, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return CloseModal();
    seen << box->windowTitle() << box->text();
    box->accept();
    return true;
  });
  real.Message(form_.get(), QStringLiteral("変換終了しました"), TMessageKind::Information);
  QCOMPARE(seen, (QStringList{QStringLiteral("Quorvex"), QStringLiteral("変換終了しました")}));
}

void TestForm1::badNamesBeepAndMoveTheFocus_data() {
  QTest::addColumn<QString>("input");
  QTest::addColumn<bool>("inputExists");
  QTest::addColumn<QString>("output");
  QTest::addColumn<QString>("focus");
  QTest::newRow("both empty at start") << "" << false << "" << "Button1";
  QTest::newRow("no such input") << "absent.jww" << false << "" << "Button1";
  QTest::newRow("input not a drawing") << "in.jww.bak" << true << "out.jww" << "Button1";
  QTest::newRow("output empty") << "in.jww" << true << "" << "Button2";
  QTest::newRow("output not a drawing") << "in.JWW" << true << "out.dxf" << "Button2";
  QTest::newRow("same name, other case") << "Plan.jww" << true << "PLAN.JWW" << "Button2";
}

void TestForm1::badNamesBeepAndMoveTheFocus() {
  QFETCH(QString, input);
  QFETCH(bool, inputExists);
  QFETCH(QString, output);
  QFETCH(QString, focus);
  // Straight into the fields: the browse buttons would not take some of these.
  if (!input.isEmpty()) form_->Edit1->setText(Path(input));
  if (!output.isEmpty()) form_->Edit2->setText(Path(output));
  if (inputExists) QVERIFY(WriteFile(Path(input), "not looked at"));

  Convert();
  QCOMPARE(ui_->Beeps, 1);
  QCOMPARE(QApplication::focusWidget()->objectName(), focus);
  QVERIFY(ui_->Messages.isEmpty());
  QVERIFY(form_->isEnabled());
  if (!output.isEmpty()) QVERIFY(!QFileInfo::exists(Path(output)));
}

void TestForm1::unreadableDrawingIsSilent() {
  const QString input = Path(QStringLiteral("x.jww"));
  QVERIFY(WriteFile(input, QByteArray("garbage, not a drawing at all\n").repeated(8)));
  const QString output = Path(QStringLiteral("y.jww"));
  Browse(form_->Button1, input);
  Browse(form_->Button2, output);
  Convert();
  QCOMPARE(ui_->Beeps, 0);
  QVERIFY(ui_->Messages.isEmpty());
  QVERIFY(!QFileInfo::exists(output));
  QVERIFY(form_->isEnabled());
}

void TestForm1::goodPairConvertsLikeTheDirectCall() {
  REQUIRE_DRAWING(input);
  const QString by_window = Path(QStringLiteral("出力.jww"));
  Browse(form_->Button1, input);
  Browse(form_->Button2, by_window);
  Convert();
  QCOMPARE(ui_->Beeps, 0);
  QCOMPARE(ui_->Messages, QStringList{QStringLiteral("変換終了しました")});
  QCOMPARE(ui_->Kinds.first(), TMessageKind::Information);
  QCOMPARE(ui_->EnabledAtMessage.first(), true);
  QCOMPARE(QApplication::focusWidget(), form_->Button3);

  const QString direct = Path(QStringLiteral("direct.jww"));
  quorvex::TConversionSession session;
  session.StartUp(quorvex::TScratchPlace::Private);
  const quorvex::TConvertResult r = session.ConvertDrawing(ToLocalPath(input), ToLocalPath(direct));
  session.CleanUp();
  QCOMPARE(r.Code, quorvex::crDone);
  const QByteArray bytes = ReadAll(by_window);
  QVERIFY(!bytes.isEmpty());
  QVERIFY(bytes == ReadAll(direct));

  // The same pair again: the window is ready for another run.
  Convert();
  QCOMPARE(ui_->Messages.size(), 2);
  QVERIFY(ReadAll(by_window) == bytes);
}

void TestForm1::unwritableOutputShowsTheErrorNumber() {
  REQUIRE_DRAWING(input);
  Browse(form_->Button1, input);
  Browse(form_->Button2, Path(QStringLiteral("no-such-folder/out.jww")));
  Convert();
  QCOMPARE(ui_->Beeps, 0);
  QCOMPARE(ui_->Messages, QStringList{QStringLiteral("I/O エラー (%1)").arg(ENOENT)});
  QCOMPARE(ui_->Kinds.first(), TMessageKind::Error);
  QCOMPARE(ui_->EnabledAtMessage.first(), true);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
