// One open drawing, one tab: its worker, the canvas that shows it (or the
// reason it cannot be read), its layer boxes and its highlight.
#pragma once

#include <array>
#include <memory>

#include <QLabel>
#include <QStackedLayout>
#include <QString>
#include <QWidget>

#include "viewer/canvas.h"
#include "viewer/renderer.h"

class TDrawingTab : public QWidget {
  Q_OBJECT

 public:
  enum class TState { kLoading, kShown, kFailed, kStopped };

  explicit TDrawingTab(const QString& path, QWidget* parent = nullptr);
  ~TDrawingTab() override;

  // Starts reading the drawing (again, for a reload: what was shown goes).
  void Load();
  // Stops the reading or the painting that runs.
  void Stop();

  QString Path() const { return path_; }
  TState State() const { return state_; }
  // Why the drawing cannot be read, when it cannot.
  QString Failure() const { return failure_; }
  TDrawingWorker* Worker() const { return worker_.get(); }
  TDrawingCanvas* Canvas() const { return canvas_; }
  // The drawing once read; null before and when it cannot be.
  std::shared_ptr<TDrawingDocument> Document() const { return doc_; }

  bool Highlight() const { return highlight_; }
  void SetHighlight(bool on);
  std::array<bool, 16> Groups;
  quorvex::TLayerShow Layers{};
  // Shows the layers of the boxes.
  void ApplyLayers();

 signals:
  void StateChanged();

 private:
  void Loaded(const quorvex::TBox& box, uint32_t background);
  void Failed(const quorvex::TReadError& error, bool stopped);

  QString path_;
  TState state_ = TState::kLoading;
  QString failure_;
  bool highlight_ = false;
  std::unique_ptr<TDrawingWorker> worker_;
  std::shared_ptr<TDrawingDocument> doc_;
  QStackedLayout* stack_ = nullptr;
  TDrawingCanvas* canvas_ = nullptr;
  QLabel* message_ = nullptr;
};
