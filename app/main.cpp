// Program start: one window, run until it closes.
//
// A hidden option "--screenshot FILE" saves a picture of the window shortly
// after it is shown and closes it again; tools/screenshot.sh uses it.

#include <QApplication>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include "app/Unit1.h"
#include "app/ui_services.h"
#include "os/interrupts.h"

int main(int argc, char* argv[]) {
  // SIGINT, SIGTERM, SIGHUP: the scratch folder goes, then the window.
  quorvex::InstallInterruptCleanup();
  // The layout is in pixels and must not grow with the screen's density.
  qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");

  QApplication app(argc, argv);
  // Only the name, not a display name: Qt would append a display name to
  // every window caption.
  QApplication::setApplicationName(QStringLiteral("Quorvex"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("quorvex"));
  QApplication::setWindowIcon(QuorvexIcon());

  QString screenshot;
  const QStringList args = QApplication::arguments();
  const qsizetype at = args.indexOf(QStringLiteral("--screenshot"));
  if (at > 0 && at + 1 < args.size()) screenshot = args.at(at + 1);

  TQtUiServices ui;
  TForm1 form(ui);
  form.show();

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
