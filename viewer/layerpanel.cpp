#include "viewer/layerpanel.h"

#include <QHeaderView>

namespace {

// Layer groups and layers are numbered 0 to F, as the CAD program names them.
QString Digit(int n) { return QString::number(n, 16).toUpper(); }

}  // namespace

std::array<bool, 16> StoredGroups(const TDrawingDocument& doc) {
  std::array<bool, 16> groups{};
  for (int g = 0; g < 16; ++g) groups[g] = doc.GroupShownAsStored(g);
  return groups;
}

quorvex::TLayerShow StoredLayers(const TDrawingDocument& doc) {
  quorvex::TLayerShow layers{};
  for (int g = 0; g < 16; ++g)
    for (int l = 0; l < 16; ++l) layers[g * 16 + l] = doc.LayerShownAsStored(g, l);
  return layers;
}

quorvex::TLayerShow ShownOf(const std::array<bool, 16>& groups, const quorvex::TLayerShow& layers) {
  quorvex::TLayerShow shown{};
  for (int i = 0; i < 256; ++i) shown[i] = groups[i / 16] && layers[i];
  return shown;
}

TLayerPanel::TLayerPanel(QWidget* parent) : QTreeWidget(parent) {
  setObjectName(QStringLiteral("layers"));
  setHeaderHidden(true);
  setColumnCount(1);
  setUniformRowHeights(true);
  for (int g = 0; g < 16; ++g) {
    auto* group = new QTreeWidgetItem(this);
    group->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    for (int l = 0; l < 16; ++l) {
      auto* layer = new QTreeWidgetItem(group);
      layer->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    }
  }
  ShowDrawing(nullptr, {}, {});
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) {
    if (filling_) return;
    if (!item->parent()) {
      // A hidden group's layers stay as checked, greyed.
      const bool on = item->checkState(0) == Qt::Checked;
      for (int l = 0; l < item->childCount(); ++l) {
        QTreeWidgetItem* layer = item->child(l);
        const bool was = filling_;
        filling_ = true;
        layer->setDisabled(!on);
        filling_ = was;
      }
    }
    emit ShownChanged();
  });
}

void TLayerPanel::ShowDrawing(const TDrawingDocument* doc, const std::array<bool, 16>& groups,
                              const quorvex::TLayerShow& layers) {
  filling_ = true;
  setEnabled(doc != nullptr);
  for (int g = 0; g < 16; ++g) {
    QTreeWidgetItem* group = topLevelItem(g);
    const QString name = doc ? doc->GroupName(g) : QString();
    group->setText(0, name.isEmpty() ? tr("[%1] Group %1").arg(Digit(g)) : QStringLiteral("[%1] %2").arg(Digit(g), name));
    group->setCheckState(0, !doc || groups[g] ? Qt::Checked : Qt::Unchecked);
    for (int l = 0; l < 16; ++l) {
      QTreeWidgetItem* layer = group->child(l);
      const QString layerName = doc ? doc->LayerName(g, l) : QString();
      layer->setText(0, layerName.isEmpty() ? tr("[%1-%2] Layer %2").arg(Digit(g), Digit(l))
                                            : QStringLiteral("[%1-%2] %3").arg(Digit(g), Digit(l), layerName));
      layer->setCheckState(0, !doc || layers[g * 16 + l] ? Qt::Checked : Qt::Unchecked);
      layer->setDisabled(doc && !groups[g]);
    }
  }
  filling_ = false;
}

QTreeWidgetItem* TLayerPanel::LayerItem(int group, int layer) const {
  QTreeWidgetItem* g = topLevelItem(group);
  return g ? g->child(layer) : nullptr;
}

std::array<bool, 16> TLayerPanel::Groups() const {
  std::array<bool, 16> groups{};
  for (int g = 0; g < 16; ++g) groups[g] = topLevelItem(g)->checkState(0) == Qt::Checked;
  return groups;
}

quorvex::TLayerShow TLayerPanel::Layers() const {
  quorvex::TLayerShow layers{};
  for (int g = 0; g < 16; ++g)
    for (int l = 0; l < 16; ++l) layers[g * 16 + l] = LayerItem(g, l)->checkState(0) == Qt::Checked;
  return layers;
}

quorvex::TLayerShow TLayerPanel::Shown() const { return ShownOf(Groups(), Layers()); }
