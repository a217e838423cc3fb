#include "viewer/canvas.h"

#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace {

// One wheel notch or one press of + zooms by this much.
constexpr double kZoomStep = 1.25;
// Beyond these the view is held: a millimetre across at least a
// thousandth of a pixel, at most a hundred thousand pixels.
constexpr double kMinScale = 1e-3, kMaxScale = 1e5;
// An arrow key pans by this part of the window.
constexpr double kPanStep = 0.1;

}  // namespace

TDrawingCanvas::TDrawingCanvas(TDrawingWorker& worker, QWidget* parent) : QWidget(parent), worker_(worker) {
  setObjectName(QStringLiteral("canvas"));
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  shown_.fill(true);
  pictureShown_.fill(true);
  connect(&worker_, &TDrawingWorker::Painted, this, &TDrawingCanvas::Painted);
}

void TDrawingCanvas::SetDrawing(const quorvex::TBox& fitBox, uint32_t background) {
  box_ = fitBox;
  background_ = background;
  ready_ = true;
  if (fitted_) world_ = FitWorld(box_, size());
  update();
}

double TDrawingCanvas::Scale() const { return std::sqrt(std::abs(world_.determinant())); }

QPointF TDrawingCanvas::ToDrawing(QPointF at) const { return world_.inverted().map(at); }

void TDrawingCanvas::Fit() {
  fitted_ = true;
  world_ = FitWorld(box_, size());
  update();
  Ask();
}

void TDrawingCanvas::ZoomBy(double factor, QPointF at) {
  if (!ready_) return;
  const double scale = Scale();
  factor = std::clamp(scale * factor, kMinScale, kMaxScale) / scale;
  if (factor == 1) return;
  fitted_ = false;
  // Scale about `at`: the point there stays.
  world_ = world_ * QTransform::fromTranslate(-at.x(), -at.y()) * QTransform::fromScale(factor, factor) *
           QTransform::fromTranslate(at.x(), at.y());
  update();
  Ask();
}

void TDrawingCanvas::PanBy(QPointF pixels) {
  if (!ready_) return;
  fitted_ = false;
  world_ = world_ * QTransform::fromTranslate(pixels.x(), pixels.y());
  update();
  Ask();
}

void TDrawingCanvas::SetShown(const quorvex::TLayerShow& shown) {
  shown_ = shown;
  update();
  Ask();
}

void TDrawingCanvas::SetLook(TLookKind look) {
  look_ = look;
  update();
  Ask();
}

bool TDrawingCanvas::PictureCurrent() const {
  const qreal ratio = devicePixelRatioF();
  return pictureWhole_ && pictureWorld_ == world_ && pictureLook_ == look_ && pictureShown_ == shown_ &&
         picture_.size() == (QSizeF(size()) * ratio).toSize();
}

TViewRequest TDrawingCanvas::Request() const {
  const qreal ratio = devicePixelRatioF();
  TViewRequest r;
  r.Size = (QSizeF(size()) * ratio).toSize();
  r.World = world_ * QTransform::fromScale(ratio, ratio);
  r.Shown = shown_;
  r.Look = look_;
  return r;
}

TViewRequest TDrawingCanvas::FirstRequest() const {
  TViewRequest r = Request();
  r.Fit = true;
  r.AsOpened = true;
  r.Serial = 0;
  return r;
}

void TDrawingCanvas::Ask() {
  if (!ready_ || width() <= 0 || height() <= 0 || PictureCurrent()) return;
  TViewRequest r = Request();
  r.Serial = ++serial_;
  asked_ = r.Serial;
  worker_.Paint(r);
}

void TDrawingCanvas::Painted(const QImage& image, const TViewRequest& request, double seconds, bool complete) {
  if (image.isNull()) return;
  const qreal ratio = devicePixelRatioF();
  // A picture stopped halfway is kept only while nothing better is there.
  if (!complete && !picture_.isNull()) return;
  if (request.Serial == 0) {
    // The first picture: its view, look and layers are the view's now.
    world_ = request.World * QTransform::fromScale(1 / ratio, 1 / ratio);
    look_ = request.Look;
    shown_ = request.Shown;
  }
  picture_ = image;
  picture_.setDevicePixelRatio(ratio);
  pictureWorld_ = request.World * QTransform::fromScale(1 / ratio, 1 / ratio);
  pictureLook_ = request.Look;
  pictureShown_ = request.Shown;
  pictureWhole_ = complete;
  lastSeconds_ = seconds;
  update();
  if (request.Serial == asked_ || request.Serial == 0) emit PictureReady();
  // A view changed while this one was painted is asked for now; one that
  // was stopped (Esc, or a newer view) is not asked for again.
  if (complete && !PictureCurrent() && request.Serial == asked_) Ask();
}

void TDrawingCanvas::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor::fromRgb(background_));
  if (picture_.isNull()) return;
  if (pictureWorld_ == world_) {
    p.drawImage(QPointF(0, 0), picture_);
    return;
  }
  // The picture where the current view puts it, until the new one comes.
  bool invertible = false;
  const QTransform back = pictureWorld_.inverted(&invertible);
  if (!invertible) return;
  p.setTransform(back * world_);
  p.setRenderHint(QPainter::SmoothPixmapTransform, Scale() < 4 * std::sqrt(std::abs(pictureWorld_.determinant())));
  p.drawImage(QPointF(0, 0), picture_);
}

void TDrawingCanvas::resizeEvent(QResizeEvent*) {
  if (ready_ && fitted_) world_ = FitWorld(box_, size());
  Ask();
}

void TDrawingCanvas::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0) ZoomBy(std::pow(kZoomStep, notches), event->position());
  event->accept();
}

void TDrawingCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) return;
  dragging_ = true;
  dragFrom_ = event->position();
  setCursor(Qt::ClosedHandCursor);
}

void TDrawingCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    const QPointF by = event->position() - dragFrom_;
    dragFrom_ = event->position();
    PanBy(by);
  }
  if (ready_) emit PointerMoved(ToDrawing(event->position()), true);
}

void TDrawingCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_) return;
  PanBy(event->position() - dragFrom_);
  dragging_ = false;
  unsetCursor();
}

void TDrawingCanvas::keyPressEvent(QKeyEvent* event) {
  const double dx = width() * kPanStep, dy = height() * kPanStep;
  switch (event->key()) {
    case Qt::Key_Left: PanBy(QPointF(dx, 0)); break;
    case Qt::Key_Right: PanBy(QPointF(-dx, 0)); break;
    case Qt::Key_Up: PanBy(QPointF(0, dy)); break;
    case Qt::Key_Down: PanBy(QPointF(0, -dy)); break;
    default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

void TDrawingCanvas::leaveEvent(QEvent*) { emit PointerMoved(QPointF(), false); }
