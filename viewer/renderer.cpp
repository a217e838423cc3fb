#include "viewer/renderer.h"

#include <chrono>
#include <exception>
#include <new>

#include <QPainter>

#include "paint/scene_painter.h"

QTransform FitWorld(const quorvex::TBox& box, const QSize& size) {
  const double w = std::max(box.Width(), 1e-9), h = std::max(box.Height(), 1e-9);
  double scale = std::min(size.width() / w, size.height() / h);
  if (!std::isfinite(scale) || scale <= 0) scale = 1;
  const double cx = (box.MinX + box.MaxX) / 2, cy = (box.MinY + box.MaxY) / 2;
  return QTransform(scale, 0, 0, -scale, size.width() / 2.0 - scale * cx, size.height() / 2.0 + scale * cy);
}

TDrawingWorker::TDrawingWorker(QObject* parent) : QObject(parent) {
  qRegisterMetaType<TViewRequest>();
  qRegisterMetaType<quorvex::TReadError>();
  qRegisterMetaType<quorvex::TBox>();
  thread_ = std::thread([this] { Run(); });
}

TDrawingWorker::~TDrawingWorker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    next_.reset();
    load_.reset();
  }
  Stop();
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TDrawingWorker::Load(const std::string& path, const TViewRequest& first) {
  std::lock_guard lock(mutex_);
  load_ = path;
  next_ = first;
  busy_ = true;
  wake_.notify_all();
}

void TDrawingWorker::Paint(const TViewRequest& request) {
  {
    std::lock_guard lock(mutex_);
    next_ = request;
  }
  stop_ = true;  // the view painted now is no longer wanted
  wake_.notify_all();
}

void TDrawingWorker::Stop() {
  stop_ = true;
  watch_.Read.Stop = true;
}

std::shared_ptr<TDrawingDocument> TDrawingWorker::Document() const {
  std::lock_guard lock(mutex_);
  return doc_;
}

bool TDrawingWorker::PaintNow(TDrawingDocument& doc, const TViewRequest& request, QImage& image,
                              const std::atomic<bool>* stop) {
  TDrawingDocument::TLook& look = doc.Look(request.Look);
  const quorvex::TScene& scene = look.Walk->Scene();
  image = QImage(request.Size, QImage::Format_RGB32);
  if (image.isNull()) throw std::bad_alloc();
  image.fill(QColor::fromRgb(request.Look == TLookKind::kPrinted ? 0xFFFFFF : scene.Background));
  quorvex::TViewPaint view;
  view.World = request.Fit ? FitWorld(quorvex::PictureBox(scene), request.Size) : request.World;
  view.Target = QRectF(QPointF(0, 0), QSizeF(request.Size));
  view.Index = look.Index.get();
  view.Shown = &request.Shown;
  view.Stop = stop;
  QPainter painter(&image);
  return quorvex::PaintView(painter, *look.Walk, view);
}

void TDrawingWorker::Run() {
  for (;;) {
    std::optional<std::string> load;
    std::optional<TViewRequest> request;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || load_ || next_; });
      if (quit_) return;
      load.swap(load_);
      if (load || doc_) request.swap(next_);
      if (!load && !request) continue;  // a view asked for before any drawing
      busy_ = true;
      stop_ = false;
    }
    if (load) {
      quorvex::TReadError error;
      std::shared_ptr<TDrawingDocument> doc;
      try {
        doc = TDrawingDocument::Load(*load, watch_, error);
      } catch (const std::exception&) {
        error.Problem = quorvex::TReadProblem::kOutOfMemory;
      }
      const bool stopped = watch_.Stopped();
      if (!doc || stopped) {
        busy_ = false;
        QMetaObject::invokeMethod(this, [this, error, stopped] { emit Failed(error, stopped); }, Qt::QueuedConnection);
        return;  // nothing more to do for this tab
      }
      quorvex::TBox box;
      uint32_t background = 0xFFFFFF;
      try {
        if (request && request->AsOpened) {
          request->Look = doc->Exploded().DimensionsExploded > 0 ? TLookKind::kHighlighted : TLookKind::kStored;
          request->Shown = doc->ShownAsStored();
          request->AsOpened = false;
        }
        const quorvex::TScene& scene = doc->Look(request ? request->Look : TLookKind::kStored).Walk->Scene();
        box = quorvex::PictureBox(scene);
        background = scene.Background;
      } catch (const std::bad_alloc&) {
        quorvex::TReadError memory;
        memory.Problem = quorvex::TReadProblem::kOutOfMemory;
        busy_ = false;
        QMetaObject::invokeMethod(this, [this, memory] { emit Failed(memory, false); }, Qt::QueuedConnection);
        return;
      }
      {
        std::lock_guard lock(mutex_);
        doc_ = std::move(doc);
      }
      QMetaObject::invokeMethod(this, [this, box, background] { emit Loaded(box, background); },
                                Qt::QueuedConnection);
    }
    if (request) {
      watch_.Phase = static_cast<int>(TLoadPhase::kPainting);
      QImage image;
      bool complete = false;
      const auto t0 = std::chrono::steady_clock::now();
      try {
        complete = PaintNow(*doc_, *request, image, &stop_);
      } catch (const std::bad_alloc&) {
        complete = false;
      }
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      TViewRequest done = *request;
      if (done.Fit) done.World = FitWorld(quorvex::PictureBox(doc_->Look(done.Look).Walk->Scene()), done.Size);
      watch_.Phase = static_cast<int>(TLoadPhase::kDone);
      {
        std::lock_guard lock(mutex_);
        busy_ = next_.has_value();
      }
      QMetaObject::invokeMethod(
          this, [this, image, done, seconds, complete] { emit Painted(image, done, seconds, complete); },
          Qt::QueuedConnection);
    }
  }
}
