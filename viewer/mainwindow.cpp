#include "viewer/mainwindow.h"

#include <exception>
#include <tuple>
#include <utility>
#include <thread>

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeySequence>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include "convert/outputs.h"
#include "convert/pdffile.h"
#include "convert/picture.h"
#include "paint/pdf_page.h"
#include "render/page.h"
#include "viewer/layerpanel.h"
#include "viewer/reasons.h"

namespace {

constexpr int kRecentCount = 10;
// Work shorter than this shows no progress bar.
constexpr qint64 kQuietMs = 250;

std::string Local(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool IsDrawingName(const QString& path) { return path.endsWith(QLatin1String(".jww"), Qt::CaseInsensitive); }

QString Millimetres(double v) { return QLocale().toString(v, 'f', 2); }

// A name with the suffix it should have for its kind of file.
QString WithSuffix(QString name, const QString& suffix) {
  if (!name.endsWith(suffix, Qt::CaseInsensitive)) name += suffix;
  return name;
}

}  // namespace

QString ExplodedName(const QString& drawing) {
  const QFileInfo info(drawing);
  return info.dir().filePath(info.completeBaseName() + QStringLiteral("-exploded.jww"));
}

TViewerWindow::TViewerWindow(TViewerDialogs& dialogs, QWidget* parent) : QMainWindow(parent), dialogs_(dialogs) {
  // The conversion services write the viewer's PDFs with the painting the
  // viewer holds, as the converter's PDF module does, within its own Qt.
  quorvex::SetPdfWriter(&quorvex::WritePdfJob);
  setObjectName(QStringLiteral("viewer"));
  setAcceptDrops(true);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("tabs"));
  tabs_->setDocumentMode(true);
  tabs_->setTabsClosable(true);
  tabs_->setMovable(true);
  setCentralWidget(tabs_);
  connect(tabs_, &QTabWidget::tabCloseRequested, this, &TViewerWindow::CloseTab);
  connect(tabs_, &QTabWidget::currentChanged, this, &TViewerWindow::CurrentChanged);

  layers_ = new TLayerPanel(this);
  dock_ = new QDockWidget(tr("Layers"), this);
  dock_->setObjectName(QStringLiteral("layersDock"));
  dock_->setWidget(layers_);
  addDockWidget(Qt::LeftDockWidgetArea, dock_);
  connect(layers_, &TLayerPanel::ShownChanged, this, &TViewerWindow::LayersChanged);

  explodeStatus_ = new QLabel(this);
  explodeStatus_->setObjectName(QStringLiteral("explodeStatus"));
  pointerStatus_ = new QLabel(this);
  pointerStatus_->setObjectName(QStringLiteral("pointerStatus"));
  sheetStatus_ = new QLabel(this);
  sheetStatus_->setObjectName(QStringLiteral("sheetStatus"));
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setMaximumWidth(200);
  progress_->setTextVisible(false);
  progress_->hide();
  statusBar()->addWidget(explodeStatus_, 1);
  statusBar()->addPermanentWidget(pointerStatus_);
  statusBar()->addPermanentWidget(sheetStatus_);
  statusBar()->addPermanentWidget(progress_);

  watcher_ = new QFileSystemWatcher(this);
  connect(watcher_, &QFileSystemWatcher::fileChanged, this, &TViewerWindow::FileChanged);
  ticker_ = new QTimer(this);
  ticker_->setInterval(100);
  connect(ticker_, &QTimer::timeout, this, &TViewerWindow::Tick);
  ticker_->start();

  MakeActions();
  resize(1200, 800);
  CurrentChanged();
}

TViewerWindow::~TViewerWindow() {
  // The tabs' workers stop before the window's parts go.
  while (tabs_->count() > 0) {
    QWidget* page = tabs_->widget(0);
    tabs_->removeTab(0);
    delete page;
  }
}

void TViewerWindow::MakeActions() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  OpenAction = file->addAction(tr("&Open..."), this, [this] {
    const TDrawingTab* tab = CurrentTab();
    const QString folder = tab ? QFileInfo(tab->Path()).absolutePath() : QString();
    Open(dialogs_.OpenDrawings(this, folder));
  });
  OpenAction->setShortcut(QKeySequence::Open);
  recentMenu_ = file->addMenu(tr("Open &Recent"));
  connect(recentMenu_, &QMenu::aboutToShow, this, &TViewerWindow::FillRecent);
  ReloadAction = file->addAction(tr("Re&load"), this, [this] {
    if (TDrawingTab* tab = CurrentTab()) tab->Load();
  });
  ReloadAction->setShortcut(QKeySequence::Refresh);
  file->addSeparator();
  ExplodeAction = file->addAction(tr("&Explode dimensions without value..."), this, &TViewerWindow::ExplodeDrawing);
  ExportDxfAction = file->addAction(tr("Export as &DXF..."), this, &TViewerWindow::ExportDxf);
  ExportSvgAction = file->addAction(tr("Export as &SVG..."), this, &TViewerWindow::ExportSvg);
  ExportPdfAction = file->addAction(tr("Export as &PDF..."), this, &TViewerWindow::ExportPdf);
  file->addSeparator();
  PreviewAction = file->addAction(tr("Print Pre&view..."), this, &TViewerWindow::PrintPreview);
  PrintAction = file->addAction(tr("&Print..."), this, &TViewerWindow::Print);
  PrintAction->setShortcut(QKeySequence::Print);
  file->addSeparator();
  CloseAction = file->addAction(tr("&Close"), this, [this] { CloseTab(tabs_->currentIndex()); });
  CloseAction->setShortcut(QKeySequence::Close);
  QuitAction = file->addAction(tr("&Quit"), this, &QWidget::close);
  QuitAction->setShortcut(QKeySequence::Quit);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  ZoomInAction = view->addAction(tr("Zoom &In"), this, [this] {
    if (TDrawingTab* tab = CurrentTab(); tab && tab->Canvas()) tab->Canvas()->ZoomBy(1.25);
  });
  ZoomInAction->setShortcuts({QKeySequence(Qt::Key_Plus), QKeySequence(Qt::Key_Equal), QKeySequence::ZoomIn});
  ZoomOutAction = view->addAction(tr("Zoom &Out"), this, [this] {
    if (TDrawingTab* tab = CurrentTab(); tab && tab->Canvas()) tab->Canvas()->ZoomBy(1 / 1.25);
  });
  ZoomOutAction->setShortcuts({QKeySequence(Qt::Key_Minus), QKeySequence::ZoomOut});
  FitAction = view->addAction(tr("&Fit the Drawing"), this, [this] {
    if (TDrawingTab* tab = CurrentTab(); tab && tab->Canvas()) tab->Canvas()->Fit();
  });
  FitAction->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_0), QKeySequence(Qt::Key_Home)});
  view->addSeparator();
  HighlightAction = view->addAction(tr("&Highlight What the Explode Changes"));
  HighlightAction->setCheckable(true);
  HighlightAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  connect(HighlightAction, &QAction::toggled, this, [this](bool on) {
    if (TDrawingTab* tab = CurrentTab(); tab && tab->Highlight() != on) tab->SetHighlight(on);
    ShowStatus();
  });
  view->addAction(dock_->toggleViewAction());
  StopAction = new QAction(tr("Stop"), this);
  StopAction->setShortcut(QKeySequence(Qt::Key_Escape));
  connect(StopAction, &QAction::triggered, this, [this] {
    if (TDrawingTab* tab = CurrentTab()) tab->Stop();
  });
  addAction(StopAction);
}

TDrawingTab* TViewerWindow::CurrentTab() const { return qobject_cast<TDrawingTab*>(tabs_->currentWidget()); }

void TViewerWindow::Open(const QStringList& paths) {
  for (const QString& given : paths) {
    const QString path = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    bool open = false;
    for (int i = 0; i < tabs_->count(); ++i) {
      if (auto* tab = qobject_cast<TDrawingTab*>(tabs_->widget(i)); tab && tab->Path() == path) {
        tabs_->setCurrentIndex(i);
        open = true;
        Remember(path);
      }
    }
    if (open) continue;
    auto* tab = new TDrawingTab(path);
    const int index = tabs_->addTab(tab, QFileInfo(path).fileName());
    tabs_->setTabToolTip(index, path);
    tabs_->setCurrentIndex(index);
    connect(tab, &TDrawingTab::StateChanged, this, [this, tab] { TabStateChanged(tab); });
    // The page's size before the first picture is painted for it.
    if (auto* pages = tabs_->findChild<QStackedWidget*>(); pages && !pages->size().isEmpty()) tab->resize(pages->size());
    tab->Load();
    if (QFileInfo::exists(path)) watcher_->addPath(path);
    Remember(path);
  }
  CurrentChanged();
}

void TViewerWindow::CloseTab(int index) {
  auto* tab = qobject_cast<TDrawingTab*>(tabs_->widget(index));
  if (!tab) return;
  tabs_->removeTab(index);
  bool stillOpen = false;
  for (int i = 0; i < tabs_->count(); ++i)
    if (auto* other = qobject_cast<TDrawingTab*>(tabs_->widget(i)); other && other->Path() == tab->Path()) stillOpen = true;
  if (!stillOpen) watcher_->removePath(tab->Path());
  delete tab;
  CurrentChanged();
}

void TViewerWindow::TabStateChanged(TDrawingTab* tab) {
  if (tab == CurrentTab()) CurrentChanged();
  if (tab->Canvas())
    connect(tab->Canvas(), &TDrawingCanvas::PointerMoved, this, &TViewerWindow::ShowPointer, Qt::UniqueConnection);
}

void TViewerWindow::CurrentChanged() {
  TDrawingTab* tab = CurrentTab();
  const bool shown = tab && tab->State() == TDrawingTab::TState::kShown;
  const std::shared_ptr<TDrawingDocument> doc = shown ? tab->Document() : nullptr;
  layers_->ShowDrawing(doc.get(), tab ? tab->Groups : std::array<bool, 16>{}, tab ? tab->Layers : quorvex::TLayerShow{});
  {
    const QSignalBlocker quiet(HighlightAction);
    HighlightAction->setChecked(shown && tab->Highlight());
  }
  for (QAction* a : {ExplodeAction, ExportDxfAction, ExportSvgAction, ExportPdfAction, PrintAction, PreviewAction, HighlightAction,
                     ZoomInAction, ZoomOutAction, FitAction})
    a->setEnabled(shown && !converting_);
  CloseAction->setEnabled(tab != nullptr);
  ReloadAction->setEnabled(tab != nullptr);
  setWindowTitle(tab ? tr("%1 – Quorvex Viewer").arg(QFileInfo(tab->Path()).fileName()) : tr("Quorvex Viewer"));
  setWindowFilePath(tab ? tab->Path() : QString());
  ShowStatus();
}

void TViewerWindow::ShowStatus() {
  TDrawingTab* tab = CurrentTab();
  pointerStatus_->clear();
  if (!tab || tab->State() != TDrawingTab::TState::kShown || !tab->Document()) {
    explodeStatus_->setText(tab && tab->State() == TDrawingTab::TState::kFailed ? tab->Failure().section('\n', 0, 0)
                                                                                  : QString());
    sheetStatus_->clear();
    return;
  }
  const TDrawingDocument& doc = *tab->Document();
  const int64_t n = doc.Exploded().DimensionsExploded;
  QString text = n > 0 ? tr("%1 dimensions without a value").arg(QLocale().toString(static_cast<qlonglong>(n)))
                       : tr("no dimension without a value; converting changes no figure");
  if (n > 0 && tab->Highlight()) text += tr(" (highlighted)");
  explodeStatus_->setText(text);
  const std::optional<quorvex::TSheet> sheet = quorvex::SheetOf(doc.Drawing().Header.SheetSize);
  const QString sheetName = sheet ? QString::fromLatin1(sheet->Name) : tr("sheet %1").arg(doc.Drawing().Header.SheetSize);
  sheetStatus_->setText(tr("%1, 1:%2").arg(sheetName, QLocale().toString(doc.GroupScale(doc.WriteGroup()), 'g', 6)));
}

void TViewerWindow::ShowPointer(QPointF at, bool inside) {
  TDrawingTab* tab = CurrentTab();
  if (!inside || !tab || !tab->Document()) {
    pointerStatus_->clear();
    return;
  }
  const double scale = tab->Document()->GroupScale(tab->Document()->WriteGroup());
  pointerStatus_->setText(tr("x %1, y %2 mm on paper; x %3, y %4 mm real")
                              .arg(Millimetres(at.x()), Millimetres(at.y()), Millimetres(at.x() * scale),
                                   Millimetres(at.y() * scale)));
}

void TViewerWindow::Tick() {
  TDrawingTab* tab = CurrentTab();
  const bool busy = converting_ || (tab && tab->Worker() && tab->Worker()->Busy());
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (!busy) {
    busySince_ = -1;
    progress_->hide();
    return;
  }
  if (busySince_ < 0) busySince_ = now;
  if (now - busySince_ < kQuietMs) return;
  const TLoadWatch* watch = tab && tab->Worker() ? &tab->Worker()->Watch() : nullptr;
  const uint64_t size = watch ? watch->Read.Size.load() : 0;
  if (!converting_ && tab->State() == TDrawingTab::TState::kLoading &&
      watch->Phase.load() == static_cast<int>(TLoadPhase::kReading) && size > 0) {
    progress_->setRange(0, 1000);
    progress_->setValue(static_cast<int>(1000.0 * static_cast<double>(watch->Read.Bytes.load()) / size));
  } else {
    progress_->setRange(0, 0);  // busy, for as long as it takes
  }
  progress_->setToolTip(tr("Esc stops it"));
  progress_->show();
}

void TViewerWindow::FileChanged(const QString& path) {
  // A program that saves by renaming a new file over the old one ends the
  // watch: the file is watched anew once it is there again.
  QTimer::singleShot(400, this, [this, path] {
    if (!QFileInfo::exists(path)) return;
    if (!watcher_->files().contains(path)) watcher_->addPath(path);
    for (int i = 0; i < tabs_->count(); ++i)
      if (auto* tab = qobject_cast<TDrawingTab*>(tabs_->widget(i)); tab && tab->Path() == path) tab->Load();
  });
}

void TViewerWindow::Remember(const QString& path) {
  QSettings settings;
  QStringList recent = settings.value(QStringLiteral("recent")).toStringList();
  recent.removeAll(path);
  recent.prepend(path);
  while (recent.size() > kRecentCount) recent.removeLast();
  settings.setValue(QStringLiteral("recent"), recent);
}

QStringList TViewerWindow::Recent() const { return QSettings().value(QStringLiteral("recent")).toStringList(); }

void TViewerWindow::FillRecent() {
  recentMenu_->clear();
  for (const QString& path : Recent())
    recentMenu_->addAction(QFileInfo(path).fileName(), this, [this, path] { Open({path}); })->setToolTip(path);
  if (recentMenu_->isEmpty()) recentMenu_->addAction(tr("(none)"))->setEnabled(false);
}

void TViewerWindow::LayersChanged() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || tab->State() != TDrawingTab::TState::kShown) return;
  tab->Groups = layers_->Groups();
  tab->Layers = layers_->Layers();
  tab->ApplyLayers();
}

void TViewerWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile() && IsDrawingName(url.toLocalFile())) return event->acceptProposedAction();
}

void TViewerWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile() && IsDrawingName(url.toLocalFile())) paths << url.toLocalFile();
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  Open(paths);
}

void TViewerWindow::closeEvent(QCloseEvent* event) {
  // A conversion still uses the session: the window stays until it ends.
  if (converting_) return event->ignore();
  event->accept();
}

QString TViewerWindow::SuggestedName(const QString& suffix) const {
  const QFileInfo info(CurrentTab()->Path());
  return info.dir().filePath(info.completeBaseName() + suffix);
}

void TViewerWindow::RunAside(const std::function<std::pair<QString, bool>()>& work, const QString& busy,
                             bool tellSuccess) {
  converting_ = true;
  CurrentChanged();
  explodeStatus_->setText(busy);
  QString said;
  bool ok = false;
  {
    QEventLoop loop;
    auto run = [&] {
      try {
        std::tie(said, ok) = work();
      } catch (const std::exception& e) {
        said = QString::fromLocal8Bit(e.what());
        ok = false;
      }
    };
    std::thread worker;
    try {
      worker = std::thread([&] {
        run();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
      });
      loop.exec(QEventLoop::ExcludeUserInputEvents);
      worker.join();
    } catch (const std::system_error&) {
      run();  // no thread to be had: the window waits
    }
  }
  converting_ = false;
  CurrentChanged();
  if (!ok || tellSuccess) dialogs_.Message(this, said, !ok);
}

void TViewerWindow::ExplodeDrawing() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || converting_) return;
  const QString input = tab->Path();
  const std::optional<QString> chosen = dialogs_.SaveName(this, tr("Explode dimensions without value"),
                                                          ExplodedName(input), tr("Drawings (*.jww)"));
  if (!chosen) return;
  const QString output = WithSuffix(*chosen, QStringLiteral(".jww"));
  RunAside(
      [this, input, output] {
        const quorvex::TConvertResult r = session_.ConvertDrawing(Local(input), Local(output));
        return std::pair(ConversionMessage(input, output, r), r.Code == quorvex::crDone);
      },
      tr("Exploding %1 ...").arg(QFileInfo(input).fileName()));
}

void TViewerWindow::ExportDxf() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || converting_) return;
  const QString input = tab->Path();
  const std::optional<QString> chosen =
      dialogs_.SaveName(this, tr("Export as DXF"), SuggestedName(QStringLiteral(".dxf")), tr("DXF drawings (*.dxf)"));
  if (!chosen) return;
  const QString output = WithSuffix(*chosen, QStringLiteral(".dxf"));
  RunAside(
      [this, input, output] {
        quorvex::TConvertOptions options;
        options.AnyKind = true;
        const quorvex::TConvertResult r = session_.ConvertDrawing(Local(input), Local(output), options);
        return std::pair(ConversionMessage(input, output, r), r.Code == quorvex::crDone && !r.Undecodable);
      },
      tr("Writing %1 ...").arg(QFileInfo(output).fileName()));
}

void TViewerWindow::ExportPdf() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || converting_) return;
  const QString input = tab->Path();
  const std::optional<QString> chosen =
      dialogs_.SaveName(this, tr("Export as PDF"), SuggestedName(QStringLiteral(".pdf")), tr("PDF documents (*.pdf)"));
  if (!chosen) return;
  const QString output = WithSuffix(*chosen, QStringLiteral(".pdf"));
  RunAside(
      [this, input, output] {
        quorvex::TConvertOptions options;
        options.AnyKind = true;
        const quorvex::TConvertResult r = session_.ConvertDrawing(Local(input), Local(output), options);
        return std::pair(ConversionMessage(input, output, r), r.Code == quorvex::crDone && !r.Undecodable);
      },
      tr("Writing %1 ...").arg(QFileInfo(output).fileName()));
}

void TViewerWindow::ExportSvg() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || converting_) return;
  const QString input = tab->Path();
  const bool highlight = tab->Highlight();
  const std::optional<QString> chosen =
      dialogs_.SaveName(this, tr("Export as SVG"), SuggestedName(QStringLiteral(".svg")), tr("SVG pictures (*.svg)"));
  if (!chosen) return;
  const QString output = WithSuffix(*chosen, QStringLiteral(".svg"));
  RunAside(
      [input, output, highlight] {
        // With the highlight on, the picture shows what the explode changes.
        const auto mode = highlight ? quorvex::TPictureMode::kPreview : quorvex::TPictureMode::kAsStored;
        const quorvex::TPictureResult r = quorvex::MakePicture(Local(input), Local(output), mode);
        return std::pair(PictureMessage(input, output, r), r.Code == quorvex::TPictureCode::kDone);
      },
      tr("Writing %1 ...").arg(QFileInfo(output).fileName()));
}

bool TViewerWindow::PrintOn(QPrinter& printer, TPrintFit fit) {
  TDrawingTab* tab = CurrentTab();
  if (!tab || !tab->Document()) return false;
  std::shared_ptr<TDrawingDocument> doc = tab->Document();
  const quorvex::TLayerShow shown = ShownOf(tab->Groups, tab->Layers);
  bool done = false;
  RunAside(
      [&] {
        done = PaintPage(printer, *doc, shown, fit);
        return std::pair(done ? QString() : tr("The printer could not be started."), done);
      },
      tr("Printing %1 ...").arg(QFileInfo(tab->Path()).fileName()), false);
  return done;
}

void TViewerWindow::Print() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || !tab->Document() || converting_) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QFileInfo(tab->Path()).fileName());
  TPrintFit fit = TPrintFit::kSheet;
  SetUpPrinter(printer, *tab->Document(), fit);
  if (!dialogs_.Print(this, printer, fit)) return;
  SetUpPrinter(printer, *tab->Document(), fit);
  PrintOn(printer, fit);
}

void TViewerWindow::PrintPreview() {
  TDrawingTab* tab = CurrentTab();
  if (!tab || !tab->Document() || converting_) return;
  std::shared_ptr<TDrawingDocument> doc = tab->Document();
  const quorvex::TLayerShow shown = ShownOf(tab->Groups, tab->Layers);
  QPrinter printer(QPrinter::HighResolution);
  printer.setDocName(QFileInfo(tab->Path()).fileName());
  TPrintFit fit = TPrintFit::kSheet;
  SetUpPrinter(printer, *doc, fit);
  dialogs_.Preview(
      this, printer, fit, [doc](QPrinter& p, TPrintFit f) { SetUpPrinter(p, *doc, f); },
      [doc, shown](QPrinter& p, TPrintFit f) { PaintPage(p, *doc, shown, f); });
}
