// The viewer's main window: the open drawings as tabs, the layer panel at
// the side, the menus and their shortcuts, the status bar (the pointer in
// the drawing's paper and real millimetres, the sheet and scale, what the
// explode changes, a progress bar while work runs; Esc stops it), drawings
// dropped onto it, reloads when a file changes on disk, recent drawings.
#pragma once

#include <functional>
#include <memory>

#include <QAction>
#include <QMainWindow>
#include <QStringList>

#include "convert/session.h"
#include "viewer/dialogs.h"
#include "viewer/drawingtab.h"
#include "viewer/printing.h"

class QDockWidget;
class QFileSystemWatcher;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;
class QTimer;
class TLayerPanel;

class TViewerWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit TViewerWindow(TViewerDialogs& dialogs, QWidget* parent = nullptr);
  ~TViewerWindow() override;

  // Opens drawings, each in a tab of its own (one already open is shown).
  void Open(const QStringList& paths);

  TDrawingTab* CurrentTab() const;
  QTabWidget* Tabs() const { return tabs_; }
  TLayerPanel* Layers() const { return layers_; }
  QLabel* ExplodeStatus() const { return explodeStatus_; }
  QLabel* PointerStatus() const { return pointerStatus_; }
  QLabel* SheetStatus() const { return sheetStatus_; }
  QProgressBar* Progress() const { return progress_; }

  // The actions, by what they do.
  QAction* OpenAction = nullptr;
  QAction* CloseAction = nullptr;
  QAction* ReloadAction = nullptr;
  QAction* ExplodeAction = nullptr;
  QAction* ExportDxfAction = nullptr;
  QAction* ExportSvgAction = nullptr;
  QAction* ExportPdfAction = nullptr;
  QAction* PrintAction = nullptr;
  QAction* PreviewAction = nullptr;
  QAction* QuitAction = nullptr;
  QAction* ZoomInAction = nullptr;
  QAction* ZoomOutAction = nullptr;
  QAction* FitAction = nullptr;
  QAction* HighlightAction = nullptr;
  QAction* StopAction = nullptr;

  // The actions' work, for the menus and the tests: each asks its dialog.
  void ExplodeDrawing();
  void ExportDxf();
  void ExportSvg();
  // Through the conversion services' PDF output, as the converter writes
  // it (the sheet's page, 1:1, as stored in printer colours).
  void ExportPdf();
  void Print();
  void PrintPreview();
  // Prints the current drawing on a printer set up by the caller.
  bool PrintOn(QPrinter& printer, TPrintFit fit);
  // The recent drawings, newest first.
  QStringList Recent() const;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void MakeActions();
  void CloseTab(int index);
  void CurrentChanged();
  void TabStateChanged(TDrawingTab* tab);
  void ShowStatus();
  void ShowPointer(QPointF at, bool inside);
  void Tick();
  void FileChanged(const QString& path);
  void Remember(const QString& path);
  void FillRecent();
  void LayersChanged();
  // Runs a conversion service aside while the window goes on, then tells
  // the user what it ended with.
  // The work says what to tell and whether it went well.
  void RunAside(const std::function<std::pair<QString, bool>()>& work, const QString& busy, bool tellSuccess = true);
  QString SuggestedName(const QString& suffix) const;

  TViewerDialogs& dialogs_;
  QTabWidget* tabs_ = nullptr;
  TLayerPanel* layers_ = nullptr;
  QDockWidget* dock_ = nullptr;
  QLabel* explodeStatus_ = nullptr;
  QLabel* pointerStatus_ = nullptr;
  QLabel* sheetStatus_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QTimer* ticker_ = nullptr;
  QFileSystemWatcher* watcher_ = nullptr;
  bool converting_ = false;
  quorvex::TConversionSession session_;
  qint64 busySince_ = -1;
};

// "NAME-exploded.jww" beside the drawing.
QString ExplodedName(const QString& drawing);
