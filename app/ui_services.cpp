#include "app/ui_services.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

QString OpenDialogTitle() { return QStringLiteral("Jw_cad図面ファイルを指定して下さい"); }

QString OpenDialogFilter() { return QStringLiteral("Jw_cad図面ファイル(*.jww)"); }

TQtUiServices::TQtUiServices() = default;

TQtUiServices::~TQtUiServices() { delete OpenDialog1; }

void TQtUiServices::Beep() { QApplication::beep(); }

std::optional<QString> TQtUiServices::OpenFile(QWidget* parent, const TOpenRequest& request) {
  if (!OpenDialog1) {
    OpenDialog1 = new QFileDialog(parent, OpenDialogTitle());
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    // An open dialog that still takes a name not yet on disk: the output
    // drawing is chosen with it too.
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::AnyFile);
    OpenDialog1->setNameFilter(OpenDialogFilter());
    OpenDialog1->setDefaultSuffix(QStringLiteral("jww"));
  } else if (OpenDialog1->parentWidget() != parent) {
    OpenDialog1->setParent(parent, OpenDialog1->windowFlags());
  }
  if (!request.Directory.isEmpty()) OpenDialog1->setDirectory(request.Directory);
  OpenDialog1->selectFile(request.FileName);

  if (OpenDialog1->exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = OpenDialog1->selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.first();
}

void TQtUiServices::Message(QWidget* parent, const QString& text, TMessageKind kind) {
  QMessageBox box(kind == TMessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                  QCoreApplication::applicationName(), text, QMessageBox::Ok, parent);
  box.exec();
}
