// A drawing open in the viewer: read with the images it carries, exploded
// in place once so that the viewer knows what a conversion would change,
// and its looks, each a walk of the one drawing with the index of where
// its items lie: as stored, with the explode's work highlighted, and in
// the printer's colours. Made on a worker thread; a look is made and used
// by one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "attrib/UnitGraAtt.h"
#include "convert/drawingfile.h"
#include "explode/explode.h"
#include "jww/jwwunit.h"
#include "jww/readerror.h"
#include "paint/scene_index.h"
#include "render/image.h"
#include "render/scene.h"

// What a loading is doing, for a progress bar on another thread.
enum class TLoadPhase : int { kReading, kPreparing, kPainting, kDone };

struct TLoadWatch {
  quorvex::TReadWatch Read;  // Read.Stop stops the whole loading
  std::atomic<int> Phase{static_cast<int>(TLoadPhase::kReading)};
  bool Stopped() const { return Read.Stop.load(std::memory_order_relaxed); }
};

// One way of drawing the document.
enum class TLookKind { kStored, kHighlighted, kPrinted };

class TDrawingDocument {
 public:
  struct TLook {
    std::unique_ptr<quorvex::TSceneWalk> Walk;
    std::unique_ptr<quorvex::TSceneIndex> Index;
  };

  // Reads the drawing at `path` (a local file name) and explodes it.
  // Null when it cannot be read (error says why) or the watch stopped it.
  static std::unique_ptr<TDrawingDocument> Load(const std::string& path, TLoadWatch& watch,
                                                quorvex::TReadError& error);
  ~TDrawingDocument();

  const std::string& Path() const { return path_; }
  const quorvex::TJwwData& Drawing() const { return d_; }
  // What a conversion explodes: the dimensions without a value, block
  // definitions included, and the lines and points they become.
  const quorvex::TExplodeSummary& Exploded() const { return summary_; }

  // The look, made on first use (a pass over the whole drawing).
  TLook& Look(TLookKind kind);
  bool HasLook(TLookKind kind) const { return looks_[static_cast<int>(kind)].Walk != nullptr; }

  // The names of the 16 layer groups and their layers as stored, and
  // whether the stored states show them.
  QString GroupName(int group) const;
  QString LayerName(int group, int layer) const;
  bool GroupShownAsStored(int group) const;
  bool LayerShownAsStored(int group, int layer) const;
  // The layers the stored states show (a layer shows when its group's
  // state and its own show it).
  quorvex::TLayerShow ShownAsStored() const;
  // The scale of a layer group (the 100 of 1:100); 1 when none is stored.
  double GroupScale(int group) const;
  int WriteGroup() const;

 private:
  TDrawingDocument() = default;

  std::string path_;
  quorvex::TJwwData d_;
  std::vector<quorvex::TStoredImage> images_;
  quorvex::TAppendStarts starts_;
  quorvex::TExplodeSummary summary_;
  uint64_t bytes_ = 0;
  quorvex::TgraAttribute attributes_;
  TLook looks_[3];
};
