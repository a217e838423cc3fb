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

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Explodes the dimensions without a value of a JWW drawing into lines and points."));
  const QCommandLineOption help_option(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                      QStringLiteral("Show this help."));
  const QCommandLineOption version_option(QStringLiteral("version"), QStringLiteral("Show the version."));
  QCommandLineOption screenshot_option(QStringLiteral("screenshot"), QString(), QStringLiteral("file"));
  screenshot_option.setFlags(QCommandLineOption::HiddenFromHelp);
  parser.addOptions({help_option, version_option, screenshot_option});
  parser.addPositionalArgument(QStringLiteral("drawing"), QStringLiteral("The input drawing to start with."),
                               QStringLiteral("[DRAWING.jww]"));
  // Wrong usage (an unknown option, more than one drawing) ends with 2, as
  // with quorvex-convert.
  const bool parsed = parser.parse(QApplication::arguments());
  const QStringList drawings = parser.positionalArguments();
  if (!parsed || drawings.size() > 1) {
    if (!parsed) std::fprintf(stderr, "quorvex: %s\n", qPrintable(parser.errorText()));
    std::fputs(qPrintable(parser.helpText()), stderr);
    return 2;
  }
  if (parser.isSet(help_option)) {
    std::fputs(qPrintable(parser.helpText()), stdout);
    return 0;
  }
  if (parser.isSet(version_option)) {
    std::printf("quorvex %s\n", QUORVEX_VERSION);
    return 0;
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
