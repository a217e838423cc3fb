// A page's texts as glyph runs: the glyphs of a text's characters taken
// straight from its font's character map, each one's advance as the font
// gives it, without the shaping QPainter::drawText does for every text
// (HarfBuzz through FreeType), when the font needs none for the text: no
// character of a script that is shaped, no combining mark, and a font
// with no default substitutions or positionings (ligatures, kerning) of
// its own. A print's PDF keeps such texts as searchable text (the PDF
// writer maps its glyphs back to their characters).
#pragma once

#include <QFont>
#include <QPainter>
#include <QPointF>
#include <QRawFont>
#include <QString>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorvex {

class TPageGlyphs {
 public:
  // Draws `text` in `font` under the painter's transform, its base line
  // from `at`, each glyph followed by the font's letter spacing as Qt lays
  // it out on the painter's device; `fontKey` names the font but for its
  // spacing (the same key, the same font). False, with nothing drawn, when
  // the text needs shaping or a character of it is not in the font itself
  // (drawText's fallbacks then find it).
  bool Draw(QPainter& painter, const QFont& font, const std::string& fontKey, const QPointF& at,
            const QString& text);

 private:
  struct TFace {
    QRawFont Raw;
    bool Plain = false;        // no shaping of its own applies to a plain text
    bool ForJapanese = false;  // also the font of Japanese characters
    std::vector<uint8_t> Shaped;  // by glyph: how a default feature of the font's may apply at it
    // By glyph, its advance once asked for (x NaN until then): Qt's raw
    // font loads the glyph's outline again each time it is asked.
    std::vector<QPointF> Advances;
  };
  TFace& FaceOf(const QFont& font, const std::string& fontKey);
  double SpacingOf(const QFont& font, const QPaintDevice* device);

  std::map<std::string, TFace> faces_;
  std::map<double, double> spacings_;  // the spacing asked for, as Qt lays it out
  std::vector<quint32> glyphs_;
  std::vector<QPointF> advances_;
  std::vector<quint32> unknown_;        // glyphs of a text whose advance is not yet known
  std::vector<QPointF> unknownAdvances_;
  QList<quint32> runGlyphs_;
  QList<QPointF> runPositions_;
};

// How a feature that a shaper applies to horizontal text by default may
// apply at a glyph (MarkDefaultFeatureGlyphs' marks, by glyph index): a
// lookup of one may begin at it; it begins a ligature; it is a later glyph
// of a ligature. A text in which no glyph is marked the first way, and no
// ligature's first glyph is followed by a later glyph of one, is shaped as
// its glyphs one after another.
constexpr uint8_t kShapedGlyph = 1, kLigatureFirst = 2, kLigatureLater = 4;

// Marks the glyphs (`glyphs` holds one for each glyph index, 65,536) by
// the lookups of the default features in an OpenType layout table (GSUB,
// or GPOS when `positioning`). False when the table cannot be read.
bool MarkDefaultFeatureGlyphs(const QByteArray& table, bool positioning, std::vector<uint8_t>& glyphs);

}  // namespace quorvex
