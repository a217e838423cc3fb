// Program start: one window, run until it closes.
//
//   quorvex [DRAWING.jww]
//
// A drawing named on the command line (as a file manager opens one) is the
// input, as if chosen with the first browse button. A hidden option
// "--screenshot FILE" saves a picture of the window shortly after it is
// shown and closes it again; tools/screenshot.sh uses it.

#include <QApplication>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QPixmap>
#include <QStringList>
#include <QTimer>

#include <cstdio>

#include "app/Unit1.h"
#include "app/ui_services.h"

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

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Explodes the dimensions without a value of a JWW drawing into lines and points."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("drawing"), QStringLiteral("The input drawing to start with."),
                               QStringLiteral("[DRAWING.jww]"));
  QCommandLineOption screenshot_option(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
  screenshot_option.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOption(screenshot_option);
  parser.process(app);  // --help, --version and unknown options end here
  const QStringList drawings = parser.positionalArguments();
  if (drawings.size() > 1) {
    std::fputs(qPrintable(parser.helpText()), stderr);
    return 2;
  }
  const QString screenshot = parser.value(screenshot_option);

  TQtUiServices ui;
  TForm1 form(ui);
  form.show();
  if (!drawings.isEmpty()) form.OpenInput(drawings.first());

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
