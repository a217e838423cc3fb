// The main window: two read-only path fields with their browse buttons and
// the convert button. The conversion itself lives in TConversionSession and
// runs on a thread of its own while the window, disabled, keeps repainting;
// the window then maps its result to a beep, a focus move or a message.
#pragma once

#include <string>

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "convert/session.h"
#include "app/messages.h"
#include "app/ui_services.h"

class QLabel;
class QLineEdit;
class QPushButton;

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  // The client area is fixed at this size.
  static constexpr int kClientWidth = 557;
  static constexpr int kClientHeight = 166;

  explicit TForm1(TUiServices& ui,
                  quorvex::TScratchPlace scratch = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  quorvex::TConversionSession& Session() { return session_; }
  // True while a conversion runs; the window refuses to close meanwhile.
  bool Converting() const { return converting_; }

  QLabel* Label1 = nullptr;
  QPushButton* Button1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button2 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* Button3 = nullptr;

 public slots:
  // Start-up when the window is shown: empty fields, then the session's
  // start (scratch folder, drawing, attribute tables, fallbacks).
  void FormShow();
  // Clean-up when the window closes.
  void FormClose();
  void Button1Click();  // browse for the input drawing
  void Button2Click();  // browse for the output drawing
  void Button3Click();  // convert
  void ResetConversion();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

  // The conversion itself, run on the worker thread while the window waits:
  // it must not touch a widget.
  virtual quorvex::TConvertResult Convert(const std::string& input, const std::string& output);

 private:
  void Browse(QLineEdit* field);
  void ShowResult(const quorvex::TConvertResult& result);
  void Tell(const QString& text, TMessageKind kind);

  TUiServices& ui_;
  quorvex::TScratchPlace scratch_;
  quorvex::TConversionSession session_;
  bool converting_ = false;
};

// Font families asked for, in order: the designed gothic face first, then
// Japanese gothic faces found on Linux desktops.
QStringList GothicFamilies();

// The program's icon, from the embedded resources.
QIcon QuorvexIcon();

// A path as the local 8-bit file name the core works with.
std::string ToLocalPath(const QString& path);
