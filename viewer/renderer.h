// The worker of one open drawing: a thread of its own that reads the
// drawing, makes its looks and paints the views the window asks for, one
// at a time; a new request stops the painting of the one before. Results
// come back on the window's thread as signals.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include <QImage>
#include <QObject>
#include <QSize>
#include <QTransform>

#include "viewer/document.h"

// A view to paint: its size in device pixels, drawing millimetres to
// those pixels, the layers shown, the look.
struct TViewRequest {
  QSize Size;
  QTransform World;
  quorvex::TLayerShow Shown{};
  TLookKind Look = TLookKind::kStored;
  uint64_t Serial = 0;
  // Fit the drawing into Size (World is then made by the worker).
  bool Fit = false;
  // The first view of a drawing: highlighted when it has dimensions
  // without a value, the layers as stored (Look and Shown are then chosen
  // by the worker).
  bool AsOpened = false;
};

// The world that fits a box into a size, centred, y up.
QTransform FitWorld(const quorvex::TBox& box, const QSize& size);

class TDrawingWorker : public QObject {
  Q_OBJECT

 public:
  explicit TDrawingWorker(QObject* parent = nullptr);
  // Stops what runs and waits for the thread.
  ~TDrawingWorker() override;

  // Reads the drawing at `path`, then paints `first`. Loaded, then
  // Painted follow (or Failed).
  void Load(const std::string& path, const TViewRequest& first);
  // Paints a view once what runs has stopped; a request not yet begun is
  // replaced.
  void Paint(const TViewRequest& request);
  // Stops the loading or the painting that runs now.
  void Stop();

  // Read by the window's thread while the worker runs.
  const TLoadWatch& Watch() const { return watch_; }
  bool Busy() const { return busy_.load(); }
  // The document once loaded (the window's thread reads what does not
  // change: names, counts); null before.
  std::shared_ptr<TDrawingDocument> Document() const;

  // Paints a view of a look into an image now, on the calling thread (the
  // worker's own, or a benchmark's); false when stopped.
  static bool PaintNow(TDrawingDocument& doc, const TViewRequest& request, QImage& image,
                       const std::atomic<bool>* stop);

 signals:
  // The drawing is read and its first look made: the box a view fits and
  // the background it is drawn on.
  void Loaded(const quorvex::TBox& fitBox, uint32_t background);
  // The reading failed (error says why) or was stopped (stopped true).
  void Failed(const quorvex::TReadError& error, bool stopped);
  // A view painted, whole or (complete false) stopped halfway; seconds is
  // the painting's own time.
  void Painted(const QImage& image, const TViewRequest& request, double seconds, bool complete);

 private:
  void Run();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<std::string> load_;
  std::optional<TViewRequest> next_;
  bool quit_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<bool> busy_{false};
  TLoadWatch watch_;
  std::shared_ptr<TDrawingDocument> doc_;
  std::thread thread_;
};

Q_DECLARE_METATYPE(TViewRequest)
Q_DECLARE_METATYPE(quorvex::TBox)
