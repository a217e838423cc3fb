// quorvex-view: the viewer of drawings.
//
//   quorvex-view [DRAWING.jww...]
//
// Each drawing opens in a tab. --help and --version need no display.
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "os/interrupts.h"
#include "viewer/commandline.h"
#include "viewer/dialogs.h"
#include "viewer/drawingtab.h"
#include "viewer/languages.h"
#include "viewer/mainwindow.h"

int main(int argc, char* argv[]) {
  // SIGINT, SIGTERM, SIGHUP: the scratch folders go, then the viewer.
  quorvex::InstallInterruptCleanup();
  {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const QCoreApplication core(argc, argv);
    const TLanguages languages;
    if (const std::optional<int> answered = AnswerEarly(arguments)) return *answered;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("quorvex-view"));
  QApplication::setOrganizationName(QStringLiteral("Quorvex"));
  QApplication::setApplicationDisplayName(QStringLiteral("Quorvex Viewer"));
  QApplication::setApplicationVersion(QStringLiteral(QUORVEX_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("quorvex-view"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quorvex-view"), QIcon(QStringLiteral(":/viewer/quorvex-view.svg"))));
  const TLanguages languages;

  const std::optional<TViewerCommand> command = ReadCommand(QApplication::arguments());
  if (!command) return 2;

  TQtViewerDialogs dialogs;
  TViewerWindow window(dialogs);
  // As large as it was made, or nine tenths of the screen where that is smaller.
  if (const QScreen* screen = window.screen())
    window.resize(window.size().boundedTo(screen->availableSize() * 0.9));
  window.show();
  window.Open(command->Drawings);

  int status = 0;
  if (!command->Screenshot.isEmpty()) {
    // Once the drawing shown is painted for the view (ten seconds at most).
    auto* poll = new QTimer(&window);
    const QString file = command->Screenshot;
    int waited = 0;
    QObject::connect(poll, &QTimer::timeout, &window, [&window, &status, file, poll, waited]() mutable {
      waited += 100;
      TDrawingTab* tab = window.CurrentTab();
      const bool painted = !tab || tab->State() != TDrawingTab::TState::kLoading
                               ? (!tab || !tab->Canvas() || tab->State() != TDrawingTab::TState::kShown ||
                                  tab->Canvas()->PictureCurrent())
                               : false;
      if (!painted && waited < 10000) return;
      poll->stop();
      QTimer::singleShot(300, &window, [&window, &status, file] {
        if (!window.grab().save(file, "PNG")) status = 1;
        window.close();
      });
    });
    poll->start(100);
  }
  const int loop = app.exec();
  return status != 0 ? status : loop;
}
