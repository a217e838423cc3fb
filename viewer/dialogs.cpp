#include "viewer/dialogs.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QRadioButton>
#include <QToolBar>
#include <QVBoxLayout>

namespace {

// The choice of 1:1 or fitted, as a page of the print dialog or a bar of
// the preview.
class TFitChoice : public QWidget {
 public:
  TFitChoice(TPrintFit fit, bool across, QWidget* parent = nullptr) : QWidget(parent) {
    setObjectName(QStringLiteral("fit"));
    setWindowTitle(QCoreApplication::translate("Dialogs", "Drawing"));
    QBoxLayout* layout = across ? static_cast<QBoxLayout*>(new QHBoxLayout(this)) : new QVBoxLayout(this);
    sheet_ = new QRadioButton(QCoreApplication::translate("Dialogs", "The sheet at 1:1, on paper of its size"), this);
    paper_ = new QRadioButton(QCoreApplication::translate("Dialogs", "The sheet fitted to the paper"), this);
    sheet_->setObjectName(QStringLiteral("sheet"));
    paper_->setObjectName(QStringLiteral("paper"));
    (fit == TPrintFit::kSheet ? sheet_ : paper_)->setChecked(true);
    layout->addWidget(sheet_);
    layout->addWidget(paper_);
    if (!across) layout->addStretch();
  }
  TPrintFit Fit() const { return sheet_->isChecked() ? TPrintFit::kSheet : TPrintFit::kPaper; }
  QRadioButton* sheet_;
  QRadioButton* paper_;
};

}  // namespace

QStringList TQtViewerDialogs::OpenDrawings(QWidget* parent, const QString& folder) {
  return QFileDialog::getOpenFileNames(parent, QCoreApplication::translate("Dialogs", "Open drawings"), folder, QCoreApplication::translate("Dialogs", "Drawings (*.jww *.JWW)"));
}

std::optional<QString> TQtViewerDialogs::SaveName(QWidget* parent, const QString& title, const QString& suggested,
                                                  const QString& filter) {
  // The dialog asks before it replaces a file.
  const QString name = QFileDialog::getSaveFileName(parent, title, suggested, filter);
  if (name.isEmpty()) return std::nullopt;
  return name;
}

void TQtViewerDialogs::Message(QWidget* parent, const QString& text, bool error) {
  if (error) QMessageBox::warning(parent, QCoreApplication::applicationName(), text);
  else QMessageBox::information(parent, QCoreApplication::applicationName(), text);
}

bool TQtViewerDialogs::Print(QWidget* parent, QPrinter& printer, TPrintFit& fit) {
  QPrintDialog dialog(&printer, parent);
  auto* choice = new TFitChoice(fit, false);
  dialog.setOptionTabs({choice});
  if (dialog.exec() != QDialog::Accepted) return false;
  fit = choice->Fit();
  return true;
}

void TQtViewerDialogs::Preview(QWidget* parent, QPrinter& printer, TPrintFit& fit,
                               const std::function<void(QPrinter&, TPrintFit)>& setup,
                               const std::function<void(QPrinter&, TPrintFit)>& paint) {
  QPrintPreviewDialog dialog(&printer, parent);
  auto* choice = new TFitChoice(fit, true);
  if (QToolBar* bar = dialog.findChild<QToolBar*>()) bar->addWidget(choice);
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, [&](QPrinter* p) { paint(*p, choice->Fit()); });
  for (QRadioButton* b : {choice->sheet_, choice->paper_})
    QObject::connect(b, &QRadioButton::toggled, &dialog, [&](bool on) {
      if (!on) return;
      setup(printer, choice->Fit());
      if (auto* widget = dialog.findChild<QPrintPreviewWidget*>()) widget->updatePreview();
    });
  dialog.exec();
  fit = choice->Fit();
}
