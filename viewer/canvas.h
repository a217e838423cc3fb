// The drawing as the viewer shows it: the last picture the worker painted,
// moved and scaled at once while the user zooms and pans, and painted
// anew for the view the user stops at. The wheel zooms at the pointer,
// dragging pans, the arrow keys pan.
#pragma once

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QTransform>
#include <QWidget>

#include "viewer/renderer.h"

class TDrawingCanvas : public QWidget {
  Q_OBJECT

 public:
  TDrawingCanvas(TDrawingWorker& worker, QWidget* parent = nullptr);

  // The drawing's box to fit and its background, once it is loaded.
  void SetDrawing(const quorvex::TBox& fitBox, uint32_t background);
  TLookKind Look() const { return look_; }
  const quorvex::TLayerShow& Shown() const { return shown_; }
  // The first request, for the loading to paint once the drawing is read.
  TViewRequest FirstRequest() const;

  void Fit();
  // Zooms by `factor` keeping the drawing's point under `at` (widget
  // pixels) where it is.
  void ZoomBy(double factor, QPointF at);
  void ZoomBy(double factor) { ZoomBy(factor, QPointF(width() / 2.0, height() / 2.0)); }
  void PanBy(QPointF pixels);
  void SetShown(const quorvex::TLayerShow& shown);
  void SetLook(TLookKind look);

  // Drawing millimetres to widget pixels, y up.
  QTransform World() const { return world_; }
  // Pixels per millimetre of the drawing.
  double Scale() const;
  QPointF ToDrawing(QPointF at) const;
  // The last picture painted, and whether it is of the view shown now.
  const QImage& Picture() const { return picture_; }
  bool PictureCurrent() const;
  // How long the last picture took to paint.
  double LastPaintSeconds() const { return lastSeconds_; }

 signals:
  // The pointer over the drawing (millimetres), or off it (inside false).
  void PointerMoved(QPointF at, bool inside);
  void PictureReady();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void Painted(const QImage& image, const TViewRequest& request, double seconds, bool complete);
  // Asks the worker for the view shown now, unless it is painted or asked for.
  void Ask();
  TViewRequest Request() const;

  TDrawingWorker& worker_;
  bool ready_ = false;
  bool fitted_ = true;  // the view follows the window's size until zoomed or panned
  quorvex::TBox box_;
  uint32_t background_ = 0xFFFFFF;
  QTransform world_;
  quorvex::TLayerShow shown_{};
  TLookKind look_ = TLookKind::kStored;
  QImage picture_;
  QTransform pictureWorld_;  // the picture's world in widget pixels
  TLookKind pictureLook_ = TLookKind::kStored;
  quorvex::TLayerShow pictureShown_{};
  bool pictureWhole_ = false;
  uint64_t serial_ = 0, asked_ = 0;
  double lastSeconds_ = 0;
  bool dragging_ = false;
  QPointF dragFrom_;
};
