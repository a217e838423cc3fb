// The side panel of layers: the 16 layer groups, each with its 16 layers,
// named as the drawing stores them, with boxes to show or hide each group
// and each layer, checked at first as the drawing's states say.
#pragma once

#include <QTreeWidget>

#include "viewer/document.h"

class TLayerPanel : public QTreeWidget {
  Q_OBJECT

 public:
  explicit TLayerPanel(QWidget* parent = nullptr);

  // Shows the layers of a drawing with these boxes checked (a group's
  // item first, then its layers; 16 x 17), or nothing for null.
  void ShowDrawing(const TDrawingDocument* doc, const std::array<bool, 16>& groups,
                   const quorvex::TLayerShow& layers);
  // The group and layer boxes as checked now.
  std::array<bool, 16> Groups() const;
  quorvex::TLayerShow Layers() const;
  // What is shown: a layer whose group and own box are both checked.
  quorvex::TLayerShow Shown() const;

  QTreeWidgetItem* GroupItem(int group) const { return topLevelItem(group); }
  QTreeWidgetItem* LayerItem(int group, int layer) const;

 signals:
  void ShownChanged();

 private:
  bool filling_ = false;
};

// The boxes as the drawing's states check them.
std::array<bool, 16> StoredGroups(const TDrawingDocument& doc);
quorvex::TLayerShow StoredLayers(const TDrawingDocument& doc);
// Shown layers from group and layer boxes.
quorvex::TLayerShow ShownOf(const std::array<bool, 16>& groups, const quorvex::TLayerShow& layers);
