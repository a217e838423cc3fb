// The main window driven as a user would: clicks on its buttons, with the
// file-open dialog, the beep and the message box answered by a recording
// stand-in. Runs without a display (offscreen platform).

#include <cerrno>
#include <cstring>
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
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <unistd.h>

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
  void Message(QWidget*, const QString& text, TMessageKind kind) override {
    Messages.append(text);
    Kinds.append(kind);
  }
  void Chosen(const QString& path) override { ChosenPaths.append(path); }

  int Beeps = 0;
  QList<TOpenRequest> Requests;
  QList<std::optional<QString>> Answers;  // given out in order, then "cancel"
  QStringList Messages;
  QList<TMessageKind> Kinds;
  QStringList ChosenPaths;  // chosen without the dialog
};

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The window with its conversion answered by a given result when one is set,
// for failures the core cannot be made to give on demand.
class TTestForm : public TForm1 {
 public:
  using TForm1::TForm1;
  std::optional<quorvex::TConvertResult> Canned;

 protected:
  quorvex::TConvertResult Convert(const std::string& input, const std::string& output) override {
    return Canned ? *Canned : TForm1::Convert(input, output);
  }
};

}  // namespace

#define REQUIRE_DRAWING(var)     \
  const QString var = RequireDrawing(); \
  if (var.isEmpty()) QSKIP("no input drawing: set QUORVEX_TEST_DRAWING or add samples/sample.jww");

class TestForm1 : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setApplicationName(QStringLiteral("Quorvex")); }
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    ui_ = std::make_unique<TRecordingUi>();
    form_ = std::make_unique<TTestForm>(*ui_);
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }

  void cleanup() {
    form_.reset();
    ui_.reset();
    dir_.reset();
  }

  void layoutMatchesTheDesign() {
    TForm1& f = *form_;
    QCOMPARE(f.objectName(), QStringLiteral("Form1"));
    QCOMPARE(f.windowTitle(), QStringLiteral("Jwwデータにて、寸法値のない寸法図形を分解するテストプログラム"));
    QCOMPARE(f.size(), QSize(557, 166));
    QCOMPARE(f.minimumSize(), f.maximumSize());
    QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(f.windowFlags() & Qt::WindowMinimizeButtonHint);

    const struct { QWidget* Widget; const char* Name; QRect Geometry; QString Text; } controls[] = {
        {f.Label1, "Label1", {8, 8, 130, 13}, QStringLiteral("入力図面ファイル名：")},
        {f.Button1, "Button1", {16, 32, 41, 25}, QStringLiteral("参照")},
        {f.Edit1, "Edit1", {64, 32, 481, 21}, QString()},
        {f.Label2, "Label2", {8, 64, 130, 13}, QStringLiteral("出力図面ファイル名：")},
        {f.Button2, "Button2", {16, 88, 41, 25}, QStringLiteral("参照")},
        {f.Edit2, "Edit2", {64, 88, 481, 21}, QString()},
        {f.Button3, "Button3", {192, 120, 169, 41}, QStringLiteral("変換")},
    };
    for (const auto& c : controls) {
      QCOMPARE(c.Widget->objectName(), QLatin1String(c.Name));
      QCOMPARE(c.Widget->geometry(), c.Geometry);
      QCOMPARE(c.Widget->property("text").toString(), c.Text);
      QVERIFY(c.Widget->isVisible());
    }
    QVERIFY(f.Edit1->isReadOnly());
    QVERIFY(f.Edit2->isReadOnly());

    QCOMPARE(f.font().pixelSize(), 13);
    QCOMPARE(f.Label1->font().pixelSize(), 13);
    QCOMPARE(f.Button3->font().pixelSize(), 21);
  }

  void captionsRenderInAJapaneseFont() {
    for (QWidget* w : {static_cast<QWidget*>(form_->Label1), static_cast<QWidget*>(form_->Button3)}) {
      QVERIFY2(GothicFamilies().contains(QFontInfo(w->font()).family()), qPrintable(QFontInfo(w->font()).family()));
      for (const QChar ch : form_->windowTitle() + form_->Label1->text() + form_->Label2->text() +
                                form_->Button1->text() + form_->Button3->text())
        QVERIFY2(QFontMetrics(w->font()).inFont(ch), qPrintable(QStringLiteral("no glyph for ") + ch));
    }
  }

  void tabOrder() {
    form_->Button1->setFocus();
    QCOMPARE(QApplication::focusWidget(), form_->Button1);
    for (QWidget* next : QList<QWidget*>{form_->Edit1, form_->Button2, form_->Edit2, form_->Button3, form_->Button1}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
  }

  void startUpAndClose() {
    QVERIFY(form_->Session().Started());
    QVERIFY(form_->Session().Attributes != nullptr);
    form_->close();
    QVERIFY(!form_->Session().Started());
    QVERIFY(form_->Session().Attributes == nullptr);
  }

  void browseTakesOnlyDrawingFiles() {
    const QString drawing = QStringLiteral("/home/user/図面/plan.JWW");
    Browse(form_->Button1, drawing);
    QCOMPARE(form_->Edit1->text(), drawing);
    QCOMPARE(ui_->Requests[0].Directory + ui_->Requests[0].FileName, QString());  // an empty field gives no start

    // Another kind of file leaves the field as it was and says why beside
    // it, until the next press of a button.
    for (const char* other : {"/tmp/plan.dxf", "/tmp/plan.jww.bak", "/tmp/jww"}) {
      Browse(form_->Button1, QString::fromUtf8(other));
      QCOMPARE(form_->Mark1->Reason(), QStringLiteral("図面ファイル（.jww）ではありません"));
      QVERIFY(!form_->Mark2->Shown());
    }
    QTest::mouseClick(form_->Button1, Qt::LeftButton);  // cancelled
    QVERIFY(!form_->Mark1->Shown());
    QCOMPARE(form_->Edit1->text(), drawing);
    QCOMPARE(ui_->Requests.last().Directory, QStringLiteral("/home/user/図面/"));
    QCOMPARE(ui_->Requests.last().FileName, QStringLiteral("plan.JWW"));

    const QString output = QStringLiteral("/tmp/出力.jww");
    Browse(form_->Button2, output);
    QCOMPARE(form_->Edit2->text(), output);
    QCOMPARE(ui_->Requests.last().Directory, QString());  // from its own field
    Browse(form_->Button2, QStringLiteral("/tmp/notes.txt"));
    QCOMPARE(form_->Mark2->Reason(), QStringLiteral("図面ファイル（.jww）ではありません"));
    QVERIFY(!form_->Mark1->Shown());
    QCOMPARE(form_->Edit2->text(), output);
    QCOMPARE(ui_->Beeps, 0);
    QVERIFY(ui_->Messages.isEmpty());
  }

  void badNamesBeepAndMoveTheFocus_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("inputExists");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("reason");  // beside the field at fault
    QTest::newRow("both empty at start") << "" << false << "" << "Button1" << "入力図面が選ばれていません";
    QTest::newRow("no such input") << "absent.jww" << false << "" << "Button1" << "ファイルがありません";
    QTest::newRow("input not a drawing") << "in.jww.bak" << true << "out.jww" << "Button1"
                                         << "名前が .jww で終わっていません";
    QTest::newRow("a folder as the input") << "folder.jww" << false << "out.jww" << "Button1" << "フォルダーです";
    QTest::newRow("output empty") << "in.jww" << true << "" << "Button2" << "出力図面が選ばれていません";
    QTest::newRow("output not a drawing") << "in.JWW" << true << "out.dxf" << "Button2"
                                          << "名前が .jww で終わっていません";
    QTest::newRow("same name, other case") << "Plan.jww" << true << "PLAN.JWW" << "Button2"
                                           << "入力図面と同じファイルです";
  }

  void badNamesBeepAndMoveTheFocus() {
    QFETCH(QString, input);
    QFETCH(bool, inputExists);
    QFETCH(QString, output);
    QFETCH(QString, focus);
    QFETCH(QString, reason);
    // Straight into the fields: the browse buttons would not take some of these.
    if (!input.isEmpty()) form_->Edit1->setText(Path(input));
    if (!output.isEmpty()) form_->Edit2->setText(Path(output));
    if (inputExists) QVERIFY(WriteFile(Path(input), "not looked at"));
    if (input.startsWith(QStringLiteral("folder"))) QVERIFY(QDir().mkpath(Path(input)));
    const QPalette plain = form_->Edit1->palette();

    Convert();
    QCOMPARE(ui_->Beeps, 1);
    QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    QVERIFY(ui_->Messages.isEmpty());
    QVERIFY(form_->isEnabled());
    if (!output.isEmpty()) QVERIFY(!QFileInfo::exists(Path(output)));

    // Seen without a sound: the field at fault tinted, the reason beside it.
    TFieldMark& marked = focus == QStringLiteral("Button1") ? *form_->Mark1 : *form_->Mark2;
    TFieldMark& other = focus == QStringLiteral("Button1") ? *form_->Mark2 : *form_->Mark1;
    QLineEdit* field = focus == QStringLiteral("Button1") ? form_->Edit1 : form_->Edit2;
    QCOMPARE(marked.Reason(), reason);
    QVERIFY(marked.Label()->isVisible());
    QVERIFY(!other.Shown());
    QVERIFY(field->palette().color(QPalette::Base) != plain.color(QPalette::Base));
    // Gone at the next action: a press of 参照, even one cancelled.
    QTest::mouseClick(form_->Button2, Qt::LeftButton);
    QVERIFY(!marked.Shown());
    QVERIFY(!marked.Label()->isVisible());
    QCOMPARE(field->palette().color(QPalette::Base), plain.color(QPalette::Base));
  }

  // Every reason fits on its caption's row, clear of every control.
  void reasonsFitBesideTheCaptions() {
    const QString reasons[] = {InputFault(QString()), InputFault(Path(QStringLiteral("absent.jww"))),
                               InputFault(QStringLiteral("a.txt")), OutputFault(QString()),
                               OutputFault(QStringLiteral("a.txt")), OutputFault(QStringLiteral("a.jww")),
                               NotADrawingFault(), SeveralFilesFault(), NotLocalFault()};
    for (TFieldMark* mark : {form_->Mark1.get(), form_->Mark2.get()}) {
      for (const QString& reason : reasons) {
        mark->Show(reason);
        const QRect at = mark->Label()->geometry();
        QVERIFY(form_->rect().contains(at));
        QVERIFY2(mark->Label()->fontMetrics().horizontalAdvance(reason) <= at.width(), qPrintable(reason));
        for (QWidget* w : std::initializer_list<QWidget*>{form_->Label1, form_->Button1, form_->Edit1, form_->Label2,
                                                          form_->Button2, form_->Edit2, form_->Button3})
          QVERIFY2(!at.intersects(w->geometry()), qPrintable(w->objectName()));
      }
      mark->Clear();
    }
  }

  void unreadableDrawingIsExplained_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("a short note") << QByteArray("hello world\n");
    QTest::newRow("a page of text") << QByteArray("garbage, not a drawing at all\n").repeated(8);
  }

  // A text file named .jww: the file at fault and that it is no drawing at
  // all, as the command line says; not where its bytes stopped reading as
  // a drawing's.
  void unreadableDrawingIsExplained() {
    QFETCH(QByteArray, bytes);
    const QString input = Path(QStringLiteral("x.jww"));
    QVERIFY(WriteFile(input, bytes));
    const QString output = Path(QStringLiteral("y.jww"));
    Browse(form_->Button1, input);
    Browse(form_->Button2, output);
    Convert();
    QCOMPARE(ui_->Beeps, 1);
    QCOMPARE(ui_->Messages,
             QStringList{QStringLiteral("図面を読み込めません: x.jww\nこのファイルは図面ファイルの形で始まっていません")});
    QCOMPARE(ui_->Kinds.first(), TMessageKind::Error);
    QCOMPARE(QApplication::focusWidget(), form_->Button3);
    QVERIFY(!QFileInfo::exists(output));
  }

  void readFailureSaysWhereAndWhy() {
    form_->Edit1->setText(Path(QStringLiteral("plan.jww")));
    form_->Edit2->setText(Path(QStringLiteral("out.jww")));
    quorvex::TConvertResult cut;
    cut.Code = quorvex::crReadFailed;
    cut.ReadError = {quorvex::TReadProblem::kCutShort, quorvex::TReadPart::kEntityList, 3000, 0, {}, 0};
    form_->Canned = cut;
    Convert();
    QCOMPARE(ui_->Beeps, 1);
    QCOMPARE(ui_->Messages,
             QStringList{QStringLiteral("図面を読み込めません: plan.jww\n3000 バイト目で途切れています（図形データの読み込み中）")});

    // Every reason and every part has its own words, and each reason names
    // the byte where the reading stopped.
    using P = quorvex::TReadProblem;
    using R = quorvex::TReadPart;
    QSet<QString> reasons;
    const P problems[] = {P::kCannotOpen,     P::kCutShort,      P::kOldVersion,   P::kUnknownClass,
                          P::kBadClassTag,     P::kClassNameTooLong, P::kImpossibleCount, P::kPlacesItself,
                          P::kTreeTooLarge,    P::kOutOfMemory,   P::kScratchWrite};
    for (const P problem : problems) {
      const QString reason = ReadFailureReason({problem, R::kBlockDefList, 987654, 12, "CDataX", 0});
      QVERIFY2(reason.contains(QStringLiteral("987654")), qPrintable(reason));
      reasons.insert(reason);
    }
    QCOMPARE(reasons.size(), qsizetype(std::size(problems)));
    QSet<QString> parts;
    for (const R part : {R::kFile, R::kHeader, R::kEntityList, R::kBlockDefList, R::kImageSection, R::kBlockTree})
      parts.insert(ReadFailureReason({P::kCutShort, part, 1, 0, {}, 0}));
    QCOMPARE(parts.size(), 6);
  }

  void outOfMemorySaysSoAndNotThatTheDrawingIsBad() {
    form_->Edit1->setText(Path(QStringLiteral("plan.jww")));
    form_->Edit2->setText(Path(QStringLiteral("out.jww")));
    quorvex::TConvertResult full;
    full.Code = quorvex::crOutOfMemory;
    full.ReadError = {quorvex::TReadProblem::kOutOfMemory, quorvex::TReadPart::kEntityList, 15439, 0, {}, 0};
    form_->Canned = full;
    Convert();
    QCOMPARE(ui_->Beeps, 1);
    QCOMPARE(ui_->Messages, QStringList{QStringLiteral("メモリが足りないため変換できません: plan.jww\n"
                                                       "15439 バイト目でメモリが足りなくなりました（図形データの読み込み中）")});
    QCOMPARE(ui_->Kinds.first(), TMessageKind::Error);
  }

  void goodPairConvertsLikeTheCommandLine() {
    REQUIRE_DRAWING(input);
    const QString by_window = Path(QStringLiteral("出力.jww"));
    Browse(form_->Button1, input);
    Browse(form_->Button2, by_window);
    Convert();
    QCOMPARE(ui_->Beeps, 0);
    QCOMPARE(ui_->Messages.size(), 1);
    QCOMPARE(ui_->Kinds.first(), TMessageKind::Information);
    QCOMPARE(QApplication::focusWidget(), form_->Button3);

    // The command-line converter makes the same file, and the message
    // counts what its line counts.
    const QString by_command = Path(QStringLiteral("command.jww"));
    QProcess command;
    command.start(QStringLiteral(QUORVEX_CONVERT_BIN), {input, by_command});
    QVERIFY(command.waitForFinished(60000));
    QCOMPARE(command.exitCode(), 0);
    const QByteArray bytes = ReadAll(by_window);
    QVERIFY(!bytes.isEmpty());
    QVERIFY(bytes == ReadAll(by_command));
    const QRegularExpressionMatch counts =
        QRegularExpression(QStringLiteral(": (\\d+) dimensions exploded, (\\d+) lines and (\\d+) points added"))
            .match(QString::fromUtf8(command.readAllStandardOutput()));
    QVERIFY(counts.hasMatch());
    QVERIFY2(counts.captured(1) != QStringLiteral("0"), "the test drawing has no dimension without a value");
    QCOMPARE(ui_->Messages.first(),
             QStringLiteral("変換終了しました\n寸法図形 %1 個を分解し、線 %2 本と点 %3 個を追加（ブロック定義内を含む）")
                 .arg(counts.captured(1), counts.captured(2), counts.captured(3)));

    // Converted once more, there is nothing left to explode: said so.
    Browse(form_->Button1, by_window);
    Browse(form_->Button2, Path(QStringLiteral("again.jww")));
    Convert();
    QCOMPARE(ui_->Messages.size(), 2);
    QCOMPARE(ui_->Messages.last(),
             QStringLiteral("変換終了しました\n寸法値のない寸法図形はありませんでした（図形は変更していません）"));
  }

  void doneMessageCountsWithGroupedDigits() {
    QCOMPARE(DoneMessage({1234567, 2000000, 3}).split(QLatin1Char('\n')).last(),
             QStringLiteral("寸法図形 1,234,567 個を分解し、線 2,000,000 本と点 3 個を追加（ブロック定義内を含む）"));
  }

  void drawingOnTheCommandLineIsTheInput_data() {
    QTest::addColumn<QString>("given");   // as typed, relative to the test folder
    QTest::addColumn<QString>("make");    // "file", "drawing", "folder" or "" (nothing there)
    QTest::addColumn<QString>("why");     // the second line of the message; empty: taken
    const QString notJww = QStringLiteral("名前が .jww で終わっていません");
    QTest::newRow("a drawing, relative name") << "plan.JWW" << "file" << "";
    QTest::newRow("a drawing, by a winding path") << "./sub/../plan.jww" << "file" << "";
    QTest::newRow("no such file") << "absent.jww" << "" << QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("not a drawing's name") << "notes.txt" << "file" << notJww;
    // The file manager opens drawings by their content: the name alone is
    // wrong, and the message says how to mend it.
    QTest::newRow("a drawing without .jww") << "plan" << "drawing"
                                            << notJww + QStringLiteral("\n中身は図面です。名前の末尾を .jww に変えると開けます");
    QTest::newRow("a folder named .jww") << "folder.jww" << "folder" << QStringLiteral("フォルダーです");
  }

  // A name given on the command line (as a file manager gives it) is taken
  // as a choice in the dialog would be; a refused one beeps and says which
  // file and why, and the focus goes to the first 参照.
  void drawingOnTheCommandLineIsTheInput() {
    QFETCH(QString, given);
    QFETCH(QString, make);
    QFETCH(QString, why);
    const QString full = QDir::cleanPath(Path(given));
    QVERIFY(QDir(dir_->path()).mkpath(QStringLiteral("sub")));
    if (make == QStringLiteral("file")) QVERIFY(WriteFile(full, "x"));
    if (make == QStringLiteral("drawing")) QVERIFY(QFile::copy(QUORVEX_SOURCE_DIR "/samples/sample.jww", full));
    if (make == QStringLiteral("folder")) QVERIFY(QDir().mkpath(full));
    form_->Button3->setFocus();

    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir_->path()));
    form_->OpenInput(given);
    QDir::setCurrent(cwd);

    if (why.isEmpty()) {
      QCOMPARE(form_->Edit1->text(), full);
      QCOMPARE(ui_->ChosenPaths, QStringList{full});  // the next dialog opens there
      QCOMPARE(ui_->Beeps, 0);
      QCOMPARE(QApplication::focusWidget(), form_->Button3);
      QVERIFY(ui_->Messages.isEmpty());
    } else {
      QCOMPARE(form_->Edit1->text(), QString());
      QCOMPARE(ui_->Beeps, 1);
      QCOMPARE(ui_->Messages, QStringList{QStringLiteral("図面を開けません: ") + full + QLatin1Char('\n') + why});
      QCOMPARE(ui_->Kinds, QList<TMessageKind>{TMessageKind::Error});
      QCOMPARE(QApplication::focusWidget(), form_->Button1);
    }
    QCOMPARE(form_->Edit2->text(), QString());
  }

  void unreadableDrawingOnTheCommandLineBeeps() {
    if (::geteuid() == 0) QSKIP("run as root: every file can be read");
    const QString path = Path(QStringLiteral("locked.jww"));
    QVERIFY(WriteFile(path, "x"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    form_->OpenInput(path);
    QCOMPARE(form_->Edit1->text(), QString());
    QCOMPARE(ui_->Beeps, 1);
    QCOMPARE(ui_->Messages,
             QStringList{QStringLiteral("図面を開けません: ") + path + QLatin1Char('\n') + QString::fromLocal8Bit(std::strerror(EACCES))});
    QCOMPARE(QApplication::focusWidget(), form_->Button1);
  }

  // quorvex(1) lists --help and --version: they are answered on a terminal
  // with no display (over ssh, in a script), as is wrong usage.
  void helpAndVersionNeedNoDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
    const auto run = [&env](const QStringList& arguments, QString& out) {
      QProcess program;
      program.setProcessEnvironment(env);
      program.start(QStringLiteral(QUORVEX_WINDOW_BIN), arguments);
      if (!program.waitForFinished(30000)) return -1;
      out = QString::fromLocal8Bit(program.readAllStandardOutput());
      return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : 1000;  // 1000: a crash
    };
    QString out;
    QCOMPARE(run({QStringLiteral("--help")}, out), 0);
    QVERIFY2(out.startsWith(QStringLiteral("Usage: ")) && out.contains(QStringLiteral("--version")), qPrintable(out));
    QCOMPARE(run({QStringLiteral("-h")}, out), 0);
    QCOMPARE(run({QStringLiteral("--version")}, out), 0);
    QCOMPARE(out, QStringLiteral("quorvex " QUORVEX_VERSION "\n"));
    QCOMPARE(run({QStringLiteral("a.jww"), QStringLiteral("b.jww")}, out), 2);
    QCOMPARE(out, QString());
    // An option of neither the program nor Qt is wrong usage, told without
    // a display; Qt's own options are left to Qt.
    QCOMPARE(run({QStringLiteral("--bogus")}, out), 2);
    QCOMPARE(run({QStringLiteral("-style"), QStringLiteral("Fusion"), QStringLiteral("--version")}, out), 0);
    QCOMPARE(out, QStringLiteral("quorvex " QUORVEX_VERSION "\n"));
  }

  void droppedDrawingFillsTheFieldUnderThePointer() {
    const QString plan = Path(QStringLiteral("plan.JWW")), out = Path(QStringLiteral("出力.jww"));
    const auto centre = [](QWidget* w) { return w->geometry().center(); };

    QVERIFY(Drop(centre(form_->Edit1), {QUrl::fromLocalFile(plan)}));
    QCOMPARE(form_->Edit1->text(), plan);
    QVERIFY(Drop(centre(form_->Edit2), {QUrl::fromLocalFile(out)}));
    QCOMPARE(form_->Edit2->text(), out);
    QCOMPARE(form_->Edit1->text(), plan);
    QCOMPARE(ui_->ChosenPaths, (QStringList{plan, out}));

    // The rest of each row counts as its field; elsewhere is the input.
    const QString other = Path(QStringLiteral("other.jww"));
    QVERIFY(Drop(centre(form_->Label2), {QUrl::fromLocalFile(other)}));
    QCOMPARE(form_->Edit2->text(), other);
    QVERIFY(Drop(centre(form_->Button2), {QUrl::fromLocalFile(out)}));
    QCOMPARE(form_->Edit2->text(), out);
    QVERIFY(Drop(centre(form_->Button3), {QUrl::fromLocalFile(other)}));
    QCOMPARE(form_->Edit1->text(), other);
    QVERIFY(Drop(centre(form_->Button1), {QUrl::fromLocalFile(plan)}));
    QCOMPARE(form_->Edit1->text(), plan);

    // Refused as a choice of them would be: another kind of file, several
    // files, a file that is not local; each says why beside the field it
    // was dropped on, until the next drop.
    const struct {
      QWidget* On;
      QList<QUrl> Urls;
      TFieldMark* Mark;
      QString Reason;
    } refused[] = {
        {form_->Edit1, {QUrl::fromLocalFile(Path(QStringLiteral("plan.dxf")))}, form_->Mark1.get(),
         QStringLiteral("図面ファイル（.jww）ではありません")},
        {form_->Label2, {QUrl::fromLocalFile(Path(QStringLiteral("notes.txt")))}, form_->Mark2.get(),
         QStringLiteral("図面ファイル（.jww）ではありません")},
        {form_->Edit1, {QUrl::fromLocalFile(other), QUrl::fromLocalFile(out)}, form_->Mark1.get(),
         QStringLiteral("図面は 1 つずつドロップしてください")},
        {form_->Edit2, {QUrl(QStringLiteral("https://example.org/plan.jww"))}, form_->Mark2.get(),
         QStringLiteral("このコンピューター上のファイルではありません")},
    };
    for (const auto& r : refused) {
      QVERIFY(!Drop(centre(r.On), r.Urls));
      QCOMPARE(r.Mark->Reason(), r.Reason);
      QCOMPARE(int(form_->Mark1->Shown()) + int(form_->Mark2->Shown()), 1);
    }
    QCOMPARE(form_->Edit1->text(), plan);
    QCOMPARE(form_->Edit2->text(), out);
    QCOMPARE(ui_->Beeps, 0);
    QVERIFY(ui_->Messages.isEmpty());
    QVERIFY(Drop(centre(form_->Edit2), {QUrl::fromLocalFile(out)}));
    QVERIFY(!form_->Mark1->Shown() && !form_->Mark2->Shown());

    // Still read-only to typing.
    form_->Edit1->setFocus();
    QTest::keyClicks(form_->Edit1, QStringLiteral("typed"));
    QTest::keyClick(form_->Edit1, Qt::Key_Backspace);
    QCOMPARE(form_->Edit1->text(), plan);
  }

  void unwritableOutputShowsTheErrorNumber() {
    REQUIRE_DRAWING(input);
    Browse(form_->Button1, input);
    Browse(form_->Button2, Path(QStringLiteral("no-such-folder/out.jww")));
    Convert();
    QCOMPARE(ui_->Messages.size(), 1);
    QCOMPARE(ui_->Messages.first(), QStringLiteral("I/O エラー (%1)\n図面を書き込めません: out.jww\n%2")
                                        .arg(ENOENT)
                                        .arg(QString::fromLocal8Bit(std::strerror(ENOENT))));
    QCOMPARE(ui_->Kinds.first(), TMessageKind::Error);
    QCOMPARE(QApplication::focusWidget(), form_->Button3);

    // A carried image that cannot be put into the scratch folder: its error
    // number, not a zero, and the image by name.
    quorvex::TConvertResult scratch;
    scratch.Code = quorvex::crWriteFailed;
    scratch.ReadError = {quorvex::TReadProblem::kScratchWrite, quorvex::TReadPart::kImageSection, 512, 0, "photo.bmp",
                         ENOSPC};
    form_->Canned = scratch;
    Convert();
    QCOMPARE(ui_->Messages.size(), 2);
    const QString text = ui_->Messages.last();
    QVERIFY2(text.startsWith(QStringLiteral("I/O エラー (%1)\n図面を書き込めません: out.jww\n").arg(ENOSPC)), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("photo.bmp")), qPrintable(text));
    QVERIFY2(text.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(text));
  }

  void enterPressesTheFocusedButton() {
    // Enter on 変換 with both fields empty: the beep puts the focus on the
    // first 参照, where Enter and keypad Enter open the dialog.
    form_->Button3->setFocus();
    QTest::keyClick(form_->Button3, Qt::Key_Return);
    QCOMPARE(ui_->Beeps, 1);
    QCOMPARE(QApplication::focusWidget(), form_->Button1);
    QTest::keyClick(form_->Button1, Qt::Key_Return);
    QTest::keyClick(form_->Button1, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(ui_->Requests.size(), 2);
  }

  void conversionLeavesTheWindowRepaintingButLocked() {
    REQUIRE_DRAWING(input);
    Browse(form_->Button1, input);
    Browse(form_->Button2, Path(QStringLiteral("out.jww")));
    // Queued before the click: it runs only if the window's event loop turns
    // while the conversion is under way, before its result is handled.
    struct {
      bool Ran = false, AnyEnabled = true, WaitCursor = false, Closed = true, SessionKept = false;
      QStringList MessagesSoFar;
    } seen;
    QObject context;  // drops the call if it has not run by the end of the test
    QMetaObject::invokeMethod(
        &context,
        [this, &seen] {
          seen.Ran = true;
          seen.AnyEnabled = form_->Button1->isEnabled() || form_->Button2->isEnabled() || form_->Button3->isEnabled();
          seen.WaitCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
          seen.Closed = form_->close();
          seen.SessionKept = form_->Session().Started();
          seen.MessagesSoFar = ui_->Messages;
        },
        Qt::QueuedConnection);
    Convert();
    QVERIFY(seen.Ran);
    QVERIFY(!seen.AnyEnabled);
    QVERIFY(seen.WaitCursor);
    QVERIFY(!seen.Closed);
    QVERIFY(seen.SessionKept);
    QVERIFY(seen.MessagesSoFar.isEmpty());
    // The conversion ended normally and the window is back.
    QCOMPARE(ui_->Messages.size(), 1);
    QVERIFY(ui_->Messages.first().startsWith(QStringLiteral("変換終了しました\n")));
    QVERIFY(QFileInfo(Path(QStringLiteral("out.jww"))).size() > 0);
    QVERIFY(form_->isVisible());
    QVERIFY(form_->Button3->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
  }

  void qtDialogsSpeakJapanese() {
    if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm")))
      QSKIP("Qt's Japanese translation is not installed (Debian package qt6-translations-l10n)");
    const QString label = QStringLiteral("File &name:");
    TQtUiServices real;
    QVERIFY2(QCoreApplication::translate("QFileDialog", "File &name:") != label, "the file dialog speaks English");
  }

  void dialogTakesExactlyTheNameTyped() {
    TQtUiServices real;
    QVERIFY(WriteFile(Path(QStringLiteral("in.jww")), "x"));
    // A field holding a name: the name is offered whole and selected, so
    // that typing replaces it.
    TDialogAnswer a = TypeIntoDialog(real, {dir_->path() + QLatin1Char('/'), QStringLiteral("in.jww")}, QStringLiteral("out.jww"));
    QCOMPARE(a.Offered, QStringLiteral("in.jww"));
    QCOMPARE(a.OfferedSelected, QStringLiteral("in.jww"));
    QCOMPARE(a.Chosen, Path(QStringLiteral("out.jww")));
    // An empty field: no name from the last time is offered, nor taken on
    // Return. The path typed brings up the completion list, which must not
    // outlive the dialog: it would swallow the next click on the window.
    a = TypeIntoDialog(real, {}, Path(QStringLiteral("new.jww")));
    QCOMPARE(a.Offered, QString());
    QCOMPARE(a.Chosen, Path(QStringLiteral("new.jww")));
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    a = TypeIntoDialog(real, {}, QString());
    QCOMPARE(a.Offered, QString());
    QVERIFY2(!a.Chosen.endsWith(QStringLiteral(".jww")), qPrintable(a.Chosen));
  }

 private:
  void Convert() { QTest::mouseClick(form_->Button3, Qt::LeftButton); }
  QString Path(const QString& name) const { return dir_->filePath(name); }
  void Browse(QPushButton* button, const QString& answer) {
    ui_->Answers.append(answer);
    QTest::mouseClick(button, Qt::LeftButton);
  }

  // Drags these addresses over a point of the window as a file manager
  // does, through the window's own routing to the widget under the pointer,
  // and drops them there if the window takes them; true when dropped.
  bool Drop(const QPoint& at, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QWindow* window = form_->windowHandle();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted()) QCoreApplication::sendEvent(window, &move);
    if (!enter.isAccepted() || !move.isAccepted()) {
      QDragLeaveEvent leave;
      QCoreApplication::sendEvent(window, &leave);
      return false;
    }
    QDropEvent drop(at, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    return drop.isAccepted();
  }

  // What the real file dialog offered in its name box, and what it gave
  // after the typing and Return ("" when it gave nothing).
  struct TDialogAnswer {
    QString Offered, OfferedSelected, Chosen;
  };

  // Shows the real file dialog, types into the box that has the focus in it
  // and presses Return.
  TDialogAnswer TypeIntoDialog(TQtUiServices& real, const TOpenRequest& request, const QString& typed) {
    TDialogAnswer answer;
    QTimer::singleShot(0, form_.get(), [typed, &answer] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      // Typed as a user would: into the dialog once it has the focus.
      dialog->activateWindow();
      const bool active = QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; });
      if (auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget()); active && box) {
        answer.Offered = box->text();
        answer.OfferedSelected = box->selectedText();
        QTest::keyClicks(box, typed);
        QTest::keyClick(box, Qt::Key_Return);
      }
      if (dialog->isVisible()) dialog->reject();
    });
    answer.Chosen = real.OpenFile(form_.get(), request).value_or(QString());
    return answer;
  }

  // A copy, in the test folder so that every output lands there too, of a
  // drawing the core reads: QUORVEX_TEST_DRAWING, the bundled sample or one
  // of the real drawings kept beside the project; "" when there is none.
  QString RequireDrawing() {
    const QString root = QStringLiteral(QUORVEX_SOURCE_DIR), copy = Path(QStringLiteral("input.jww"));
    for (const QString& c : {qEnvironmentVariable("QUORVEX_TEST_DRAWING"), root + "/samples/sample.jww",
                             root + "/../shared/real/plan-test1.jww", root + "/../shared/real/lines-only.jww"})
      if (QFileInfo(c).isFile()) return QFile::copy(c, copy) ? copy : QString();
    return QString();
  }

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TRecordingUi> ui_;
  std::unique_ptr<TTestForm> form_;
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
