// The viewer's dialogs that wait for the user: choosing files to open or
// a name to save under, the message box and the print dialog. They sit
// behind this interface so that tests drive the window without a person.
#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

class QPrinter;
class QWidget;

enum class TPrintFit {
  kSheet,  // the sheet at 1:1 on paper of its size
  kPaper,  // the sheet fitted to the paper chosen
};

class TViewerDialogs {
 public:
  virtual ~TViewerDialogs() = default;
  // Drawings to open; empty on cancel.
  virtual QStringList OpenDrawings(QWidget* parent, const QString& folder) = 0;
  // A name to save under, starting with `suggested` (a full path); asks
  // before it replaces a file. Nothing on cancel.
  virtual std::optional<QString> SaveName(QWidget* parent, const QString& title, const QString& suggested,
                                          const QString& filter) = 0;
  virtual void Message(QWidget* parent, const QString& text, bool error) = 0;
  // The print dialog over a printer set up for the sheet; false on
  // cancel. `fit` comes in as proposed and goes out as chosen.
  virtual bool Print(QWidget* parent, QPrinter& printer, TPrintFit& fit) = 0;
  // The print preview: `setup` sets the printer up for a choice of fit
  // (and again when the user changes it), `paint` paints the page.
  virtual void Preview(QWidget* parent, QPrinter& printer, TPrintFit& fit,
                       const std::function<void(QPrinter&, TPrintFit)>& setup,
                       const std::function<void(QPrinter&, TPrintFit)>& paint) = 0;
};

// Qt's own dialogs.
class TQtViewerDialogs : public TViewerDialogs {
 public:
  QStringList OpenDrawings(QWidget* parent, const QString& folder) override;
  std::optional<QString> SaveName(QWidget* parent, const QString& title, const QString& suggested,
                                  const QString& filter) override;
  void Message(QWidget* parent, const QString& text, bool error) override;
  bool Print(QWidget* parent, QPrinter& printer, TPrintFit& fit) override;
  void Preview(QWidget* parent, QPrinter& printer, TPrintFit& fit,
               const std::function<void(QPrinter&, TPrintFit)>& setup,
               const std::function<void(QPrinter&, TPrintFit)>& paint) override;
};
