// The window's ways of talking to the user that block or make a sound: the
// beep, the file-open dialog and the message box. They sit behind this
// interface so that the window's behaviour can be driven and checked by
// tests without a person answering dialogs.
#pragma once

#include <optional>

#include <QFileDialog>
#include <QPointer>
#include <QString>

class QWidget;

// What the file-open dialog starts with: the folder part and the file-name
// part of the field's current text (both empty for an empty field).
struct TOpenRequest {
  QString Directory;
  QString FileName;
};

enum class TMessageKind {
  Information,  // the closing message of a conversion
  Error,        // an input/output error
};

class TUiServices {
 public:
  virtual ~TUiServices() = default;
  // The simple system beep.
  virtual void Beep() = 0;
  // Shows the file-open dialog; the chosen full path, or nothing on cancel.
  virtual std::optional<QString> OpenFile(QWidget* parent, const TOpenRequest& request) = 0;
  // A modal message with an OK button.
  virtual void Message(QWidget* parent, const QString& text, TMessageKind kind) = 0;
};

// Title and filter of the file-open dialog.
QString OpenDialogTitle();
QString OpenDialogFilter();

// The real thing: QApplication::beep, QFileDialog and QMessageBox.
class TQtUiServices : public TUiServices {
 public:
  TQtUiServices();
  ~TQtUiServices() override;
  TQtUiServices(const TQtUiServices&) = delete;
  TQtUiServices& operator=(const TQtUiServices&) = delete;

  void Beep() override;
  std::optional<QString> OpenFile(QWidget* parent, const TOpenRequest& request) override;
  void Message(QWidget* parent, const QString& text, TMessageKind kind) override;

 private:
  // One dialog serves both browse buttons, so it keeps the folder last shown
  // when a field is empty. It is a child of the window it was shown for, so
  // it may go with that window first.
  QPointer<QFileDialog> OpenDialog1;
};
