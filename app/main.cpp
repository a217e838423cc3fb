// Program start: one window, run until it closes.
//
//   quorvex [DRAWING.jww]
//
// A drawing named on the command line (as a file manager opens one) is the
// input, as if chosen with the first browse button. A hidden option
// "--screenshot FILE" saves a picture of the window shortly after it is
// shown and closes it again; tools/screenshot.sh uses it. --help and
// --version need no display.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPixmap>
#include <QTimer>
#include <QWindow>

#include "app/Unit1.h"
#include "app/commandline.h"
#include "app/ui_services.h"
#include "os/interrupts.h"

int main(int argc, char* argv[]) {
  // SIGINT, SIGTERM, SIGHUP: the scratch folder goes, then the window.
  quorvex::InstallInterruptCleanup();
  // The layout is in pixels and must not grow with the screen's density.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

  // Help, the version and wrong usage are answered before Qt starts a
  // window, so that they need no display; Qt's own options (-platform,
  // -style ...) are left to Qt.
  {
    TCommandLine early;
    (void)early.Read(WithoutQtOptions(ArgumentsOf(argc, argv)));
    if (early.Answers()) {
      const QCoreApplication core(argc, argv);
      return early.Answer();
    }
  }

  QApplication app(argc, argv);
  // Only the name, not a display name: Qt would append a display name to
  // every window caption.
  QApplication::setApplicationName(QStringLiteral("Quorvex"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("quorvex"));
  QApplication::setWindowIcon(QuorvexIcon());

  TCommandLine line;
  (void)line.Read(QApplication::arguments());
  if (line.Answers()) return line.Answer();
  const QString drawing = line.Drawing();
  const QString screenshot = line.Screenshot();

  TQtUiServices ui;
  TForm1 form(ui);
  form.show();
  if (!drawing.isEmpty()) {
    // Once the window is on the screen (two seconds at most), so that a
    // message about the drawing is centred over it.
    QElapsedTimer waited;
    waited.start();
    while (form.windowHandle() && !form.windowHandle()->isExposed() && waited.elapsed() < 2000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form.OpenInput(drawing);
  }

  int status = 0;
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(500, &form, [&form, &screenshot, &status] {
      if (!form.grab().save(screenshot, "PNG")) status = 1;
      form.close();
    });
  }
  const int loop = app.exec();
  return status != 0 ? status : loop;
}
