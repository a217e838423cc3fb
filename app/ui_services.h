// The window's ways of talking to the user that block or make a sound: the
// beep, the file-open dialog and the message box. They sit behind this
// interface so that the window's behaviour can be driven and checked by
// tests without a person answering dialogs.
#pragma once

#include <optional>

#include <QString>
#include <QTranslator>

class QWidget;

// What the file-open dialog starts with: the folder part and the file-name
// part of the field's current text (both empty for an empty field: the
// dialog then opens with no name typed in, in the folder last chosen in).
struct TOpenRequest {
  QString Directory;
  QString FileName;
};

enum class TMessageKind {
  Information,  // the closing message of a conversion
  Error,        // a drawing that cannot be read, an output that cannot be written
};

class TUiServices {
 public:
  virtual ~TUiServices() = default;
  // The simple system beep.
  virtual void Beep() = 0;
  // Shows the file-open dialog; the chosen full path, or nothing on cancel.
  virtual std::optional<QString> OpenFile(QWidget* parent, const TOpenRequest& request) = 0;
  // A modal message with an OK button, titled with the application's name
  // and centred over the parent; Enter and Esc close it.
  virtual void Message(QWidget* parent, const QString& text, TMessageKind kind) = 0;
  // A drawing chosen without the dialog (named on the command line, or
  // dropped): the dialog opens where it is next time, as after a choice.
  virtual void Chosen(const QString& path) { (void)path; }
};

// Title and filter of the file-open dialog.
QString OpenDialogTitle();
QString OpenDialogFilter();

// The real thing: QApplication::beep, QFileDialog and QMessageBox. While it
// exists, Qt's dialogs and message boxes speak Japanese like the window
// around them (when Qt's Japanese translation is installed).
class TQtUiServices : public TUiServices {
 public:
  TQtUiServices();
  ~TQtUiServices() override;
  TQtUiServices(const TQtUiServices&) = delete;
  TQtUiServices& operator=(const TQtUiServices&) = delete;

  void Beep() override;
  std::optional<QString> OpenFile(QWidget* parent, const TOpenRequest& request) override;
  void Message(QWidget* parent, const QString& text, TMessageKind kind) override;
  void Chosen(const QString& path) override;

 private:
  QTranslator QtJapanese;
  bool QtJapaneseInstalled = false;
  // The folder of the file chosen last, where a dialog for an empty field
  // opens.
  QString LastFolder;
};
