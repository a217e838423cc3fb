#include "viewer/drawingtab.h"

#include <QFile>
#include <QTimer>

#include "viewer/layerpanel.h"
#include "viewer/reasons.h"

TDrawingTab::TDrawingTab(const QString& path, QWidget* parent) : QWidget(parent), path_(path) {
  Groups.fill(true);
  Layers.fill(true);
  stack_ = new QStackedLayout(this);
  message_ = new QLabel(this);
  message_->setObjectName(QStringLiteral("message"));
  message_->setAlignment(Qt::AlignCenter);
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  stack_->addWidget(message_);
}

TDrawingTab::~TDrawingTab() {
  // The worker goes first: the canvas it paints for must outlive it.
  if (worker_) worker_->Stop();
  worker_.reset();
}

void TDrawingTab::Load() {
  if (worker_) worker_->Stop();
  if (canvas_) {
    stack_->removeWidget(canvas_);
    delete canvas_;
    canvas_ = nullptr;
  }
  worker_.reset();
  doc_.reset();
  worker_ = std::make_unique<TDrawingWorker>();
  canvas_ = new TDrawingCanvas(*worker_, this);
  stack_->addWidget(canvas_);
  state_ = TState::kLoading;
  message_->setText(tr("Opening %1 ...").arg(path_));
  stack_->setCurrentWidget(message_);
  connect(worker_.get(), &TDrawingWorker::Loaded, this, &TDrawingTab::Loaded);
  connect(worker_.get(), &TDrawingWorker::Failed, this, &TDrawingTab::Failed);
  // The canvas takes its place before the first picture is asked for, so
  // that it is painted at the size it is shown.
  canvas_->resize(size());
  worker_->Load(QFile::encodeName(path_).toStdString(), canvas_->FirstRequest());
  emit StateChanged();
}

void TDrawingTab::Stop() {
  if (worker_) worker_->Stop();
}

void TDrawingTab::Loaded(const quorvex::TBox& box, uint32_t background) {
  doc_ = worker_->Document();
  if (!doc_) return;
  highlight_ = doc_->Exploded().DimensionsExploded > 0;
  for (int g = 0; g < 16; ++g) Groups[g] = doc_->GroupShownAsStored(g);
  for (int i = 0; i < 256; ++i) Layers[i] = doc_->LayerShownAsStored(i / 16, i % 16);
  canvas_->SetDrawing(box, background);
  stack_->setCurrentWidget(canvas_);
  canvas_->setFocus();
  state_ = TState::kShown;
  emit StateChanged();
}

void TDrawingTab::Failed(const quorvex::TReadError& error, bool stopped) {
  state_ = stopped ? TState::kStopped : TState::kFailed;
  failure_ = stopped ? tr("Opening %1 was stopped.").arg(path_) : CannotReadMessage(path_, error);
  message_->setText(failure_);
  stack_->setCurrentWidget(message_);
  emit StateChanged();
}

void TDrawingTab::SetHighlight(bool on) {
  highlight_ = on;
  if (canvas_ && state_ == TState::kShown) canvas_->SetLook(on ? TLookKind::kHighlighted : TLookKind::kStored);
}

void TDrawingTab::ApplyLayers() {
  if (canvas_ && state_ == TState::kShown) canvas_->SetShown(ShownOf(Groups, Layers));
}
