#include "viewer/document.h"

#include <cerrno>
#include <new>

#include "convert/picture.h"
#include "jww/layers.h"
#include "os/fdio.h"
#include "os/processors.h"
#include "text/utf8.h"

std::unique_ptr<TDrawingDocument> TDrawingDocument::Load(const std::string& path, TLoadWatch& watch,
                                                         quorvex::TReadError& error) {
  std::unique_ptr<TDrawingDocument> doc(new TDrawingDocument);
  doc->path_ = path;
  doc->bytes_ = quorvex::RegularFileSize(path).value_or(0);
  try {
    if (!quorvex::ReadDrawingWithImages(path, doc->d_, doc->images_, error, &watch.Read)) return nullptr;
    if (watch.Stopped()) return nullptr;
    watch.Phase = static_cast<int>(TLoadPhase::kPreparing);
    doc->starts_ = quorvex::ExplodeStart(doc->d_);
    doc->summary_ = quorvex::ExplodeDimensions(doc->d_);
    // The palette as the SVG pictures have it (a white background's).
    doc->attributes_.SetColorScheme(0);
    doc->attributes_.FillColors();
  } catch (const std::bad_alloc&) {
    error = quorvex::TReadError();
    error.Problem = quorvex::TReadProblem::kOutOfMemory;
    return nullptr;
  }
  return doc;
}

TDrawingDocument::~TDrawingDocument() = default;

TDrawingDocument::TLook& TDrawingDocument::Look(TLookKind kind) {
  TLook& look = looks_[static_cast<int>(kind)];
  if (look.Walk) return look;
  quorvex::TRenderOptions options;
  options.Attributes = &attributes_;
  options.Images = &images_;
  options.ImageBudget = quorvex::ImageBudgetFor(bytes_);
  options.ItemBoxes = true;
  options.TwoThreads = quorvex::Processors() > 1;
  options.Colors = kind == TLookKind::kPrinted ? quorvex::TColorSet::kPrinter : quorvex::TColorSet::kScreen;
  if (kind == TLookKind::kHighlighted) options.Exploded = &starts_;
  else options.Unexploded = &starts_;
  look.Walk = std::make_unique<quorvex::TSceneWalk>(d_, options);
  look.Index = std::make_unique<quorvex::TSceneIndex>(look.Walk->Scene());
  return look;
}

QString TDrawingDocument::GroupName(int group) const {
  if (group < 0 || static_cast<size_t>(group) >= d_.LayerGroups.size()) return QString();
  return QString::fromStdString(quorvex::ToUtf8(d_.LayerGroups[static_cast<size_t>(group)].Name));
}

QString TDrawingDocument::LayerName(int group, int layer) const {
  const size_t i = static_cast<size_t>(group) * 16 + static_cast<size_t>(layer);
  if (group < 0 || layer < 0 || layer >= 16 || i >= d_.Layers.size()) return QString();
  return QString::fromStdString(quorvex::ToUtf8(d_.Layers[i].Name));
}

bool TDrawingDocument::GroupShownAsStored(int group) const {
  return !quorvex::IsHiddenGroup(d_, static_cast<uint16_t>(group));
}

bool TDrawingDocument::LayerShownAsStored(int group, int layer) const {
  return !quorvex::IsHiddenLayerOfGroup(d_, static_cast<uint16_t>(group), static_cast<uint16_t>(layer));
}

quorvex::TLayerShow TDrawingDocument::ShownAsStored() const {
  quorvex::TLayerShow shown{};
  for (int i = 0; i < 256; ++i) shown[i] = GroupShownAsStored(i / 16) && LayerShownAsStored(i / 16, i % 16);
  return shown;
}

double TDrawingDocument::GroupScale(int group) const {
  if (group < 0 || static_cast<size_t>(group) >= d_.LayerGroups.size()) return 1;
  const double s = d_.LayerGroups[static_cast<size_t>(group)].Scale;
  return s > 0 && s < 1e9 ? s : 1;
}

int TDrawingDocument::WriteGroup() const {
  const int g = d_.Header.WriteLayerGroup;
  return g >= 0 && g < 16 ? g : 0;
}
