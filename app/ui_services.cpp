#include "app/ui_services.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QStringList>

namespace {

constexpr int kMessageMinWidth = 260;

// Loads Qt's own Japanese texts (its dialogs' labels and standard buttons)
// from the folder Qt keeps its translations in; false when they are not
// installed, and Qt then speaks English.
bool LoadQtJapanese(QTranslator& translator) {
  return translator.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

}  // namespace

QString OpenDialogTitle() { return QStringLiteral("Jw_cad図面ファイルを指定して下さい"); }

QString OpenDialogFilter() { return QStringLiteral("Jw_cad図面ファイル(*.jww)"); }

TQtUiServices::TQtUiServices() {
  QtJapaneseInstalled = LoadQtJapanese(QtJapanese) && QCoreApplication::installTranslator(&QtJapanese);
}

TQtUiServices::~TQtUiServices() {
  if (QtJapaneseInstalled) QCoreApplication::removeTranslator(&QtJapanese);
}

void TQtUiServices::Beep() { QApplication::beep(); }

std::optional<QString> TQtUiServices::OpenFile(QWidget* parent, const TOpenRequest& request) {
  // A new dialog for every browse: a dialog kept from the last one would
  // offer that one's name again (and take it on Return with the name box
  // empty), and its name-completion list could outlive it on screen. With
  // no folder asked for, it opens in the folder of the last file chosen.
  QFileDialog dialog(parent, OpenDialogTitle());
  dialog.setObjectName(QStringLiteral("OpenDialog1"));
  // An open dialog that still takes a name not yet on disk: the output
  // drawing is chosen with it too.
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(OpenDialogFilter());
  dialog.setDefaultSuffix(QStringLiteral("jww"));
  const QString folder = request.Directory.isEmpty() ? LastFolder : request.Directory;
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  if (!request.FileName.isEmpty()) {
    dialog.selectFile(request.FileName);
    // The whole name selected, so that typing replaces it.
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->selectAll();
  }

  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  LastFolder = QFileInfo(chosen.first()).absolutePath();
  return chosen.first();
}

void TQtUiServices::Chosen(const QString& path) { LastFolder = QFileInfo(path).absolutePath(); }

void TQtUiServices::Message(QWidget* parent, const QString& text, TMessageKind kind) {
  QMessageBox box(kind == TMessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
  // Enter presses OK, and so does Esc: the one button is also the way out.
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  // Wide enough for the window manager to show the application's name in
  // the title bar beside its buttons, also for a short text.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(kMessageMinWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(),
                  0, 1, grid->columnCount());
  box.exec();
}
