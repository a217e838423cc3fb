#include "paint/page_glyphs.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>

#include <array>
#include <cstdint>
#include <cstring>

namespace quorvex {
namespace {

// The features a shaper applies to horizontal text unasked: substitutions
// (composition, local forms, ligatures, contextual forms) and positionings
// (kerning, marks, distances).
constexpr std::array<const char*, 9> kDefaultSubstitutions = {"ccmp", "locl", "rlig", "liga", "clig",
                                                              "calt", "rclt", "rvrn", "ljmo"};
constexpr std::array<const char*, 7> kDefaultPositionings = {"kern", "mark", "mkmk", "dist", "abvm", "blwm", "curs"};

// Whether a character is drawn as its own glyph, one after another, by a
// shaper: of no script that is shaped (Arabic, the Indic scripts, Thai,
// Hangul's jamo...), no combining mark, no joiner or other format control.
bool PlainCharacter(char32_t c) {
  // Characters that join the one before them into one cluster, which Qt
  // spaces as one: the half-width (semi-)voiced sound marks, skin tones,
  // and regional indicators (which pair).
  if (c == 0xFF9E || c == 0xFF9F || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0x1F1E6 && c <= 0x1F1FF)) return false;
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
      return false;
    default:
      break;
  }
  switch (QChar::script(c)) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Bopomofo:
      return true;
    default:
      return false;
  }
}

// Whether Qt takes the font of its Japanese writing system for a character.
bool JapaneseCharacter(char32_t c) {
  const QChar::Script script = QChar::script(c);
  return script == QChar::Script_Han || script == QChar::Script_Hiragana || script == QChar::Script_Katakana ||
         script == QChar::Script_Bopomofo;
}

}  // namespace

namespace {

// A table's bytes, read bounds-checked: a read beyond its end fails it.
class TTableReader {
 public:
  explicit TTableReader(const QByteArray& b) : b_(b) {}
  bool Ok() const { return ok_; }
  uint32_t U16(qsizetype at) {
    if (at < 0 || at + 2 > b_.size()) return ok_ = false, 0;
    return static_cast<uint32_t>(static_cast<uint8_t>(b_[at]) << 8 | static_cast<uint8_t>(b_[at + 1]));
  }
  uint32_t U32(qsizetype at) { return U16(at) << 16 | U16(at + 2); }
  bool Tag(qsizetype at, const char* tag) {
    if (at < 0 || at + 4 > b_.size()) return ok_ = false;
    return std::memcmp(b_.constData() + at, tag, 4) == 0;
  }

 private:
  const QByteArray& b_;
  bool ok_ = true;
};

// Marks the glyphs of the coverage table at `at` with `flag`.
void MarkCoverage(TTableReader& r, qsizetype at, uint8_t flag, std::vector<uint8_t>& glyphs) {
  const uint32_t format = r.U16(at), count = r.U16(at + 2);
  for (uint32_t i = 0; i < count && r.Ok(); ++i) {
    if (format == 1) {
      glyphs[r.U16(at + 4 + 2 * i)] |= flag;
    } else if (format == 2) {
      const uint32_t first = r.U16(at + 4 + 6 * i), last = r.U16(at + 6 + 6 * i);
      for (uint32_t g = first; g <= last && g < glyphs.size(); ++g) glyphs[g] |= flag;
    } else {
      for (uint8_t& g : glyphs) g |= kShapedGlyph;  // of no known format: any glyph may start it
      return;
    }
  }
}

// Marks the glyphs after the first of each ligature of the ligature
// substitution at `sub` (its first format): a ligature whose first glyph
// is followed by none of them cannot apply.
void MarkLigatureComponents(TTableReader& r, qsizetype sub, std::vector<uint8_t>& glyphs) {
  const uint32_t sets = r.U16(sub + 4);
  for (uint32_t i = 0; i < sets && r.Ok(); ++i) {
    const qsizetype set = sub + r.U16(sub + 6 + 2 * i);
    const uint32_t ligatures = r.U16(set);
    for (uint32_t k = 0; k < ligatures && r.Ok(); ++k) {
      const qsizetype ligature = set + r.U16(set + 2 + 2 * k);
      const uint32_t components = r.U16(ligature + 2);
      for (uint32_t c = 1; c < components && r.Ok(); ++c) glyphs[r.U16(ligature + 2 + 2 * c)] |= kLigatureLater;
    }
  }
}

}  // namespace

bool MarkDefaultFeatureGlyphs(const QByteArray& table, bool positioning, std::vector<uint8_t>& glyphs) {
  if (table.isEmpty()) return true;
  TTableReader r(table);
  const qsizetype features = r.U16(6), lookups = r.U16(8);
  const uint32_t featureCount = r.U16(features);
  const uint32_t lookupCount = r.U16(lookups);
  // Lookup types that wrap another one, and those of a context whose third
  // format lists coverages in place of one.
  const uint32_t extension = positioning ? 9 : 7, context = positioning ? 7 : 5, chained = positioning ? 8 : 6;
  for (uint32_t f = 0; f < featureCount && r.Ok(); ++f) {
    const qsizetype record = features + 2 + 6 * f;
    bool wanted = false;
    if (positioning) {
      for (const char* tag : kDefaultPositionings) wanted = wanted || r.Tag(record, tag);
    } else {
      for (const char* tag : kDefaultSubstitutions) wanted = wanted || r.Tag(record, tag);
    }
    if (!wanted) continue;
    const qsizetype feature = features + r.U16(record + 4);
    const uint32_t indexes = r.U16(feature + 2);
    for (uint32_t i = 0; i < indexes && r.Ok(); ++i) {
      const uint32_t index = r.U16(feature + 4 + 2 * i);
      if (index >= lookupCount) return false;
      const qsizetype lookup = lookups + r.U16(lookups + 2 + 2 * index);
      const uint32_t lookupType = r.U16(lookup), subtables = r.U16(lookup + 4);
      for (uint32_t k = 0; k < subtables && r.Ok(); ++k) {
        qsizetype sub = lookup + r.U16(lookup + 6 + 2 * k);
        uint32_t type = lookupType;
        if (type == extension) {
          type = r.U16(sub + 2);
          sub += r.U32(sub + 4);
        }
        const uint32_t format = r.U16(sub);
        qsizetype coverage = sub + r.U16(sub + 2);
        if (format == 3 && type == context) {
          coverage = sub + r.U16(sub + 6);
        } else if (format == 3 && type == chained) {
          const uint32_t backtrack = r.U16(sub + 2);
          coverage = sub + r.U16(sub + 6 + 2 * backtrack);
        }
        if (!positioning && type == 4 && format == 1) {  // a ligature: its first glyph, then the others
          MarkCoverage(r, coverage, kLigatureFirst, glyphs);
          MarkLigatureComponents(r, sub, glyphs);
        } else {
          MarkCoverage(r, coverage, kShapedGlyph, glyphs);
        }
      }
    }
  }
  return r.Ok();
}

TPageGlyphs::TFace& TPageGlyphs::FaceOf(const QFont& font, const std::string& fontKey) {
  auto [at, added] = faces_.try_emplace(fontKey);
  TFace& face = at->second;
  if (!added) return face;
  face.Raw = QRawFont::fromFont(font, QFontDatabase::Any);
  if (!face.Raw.isValid()) return face;
  // The font Qt takes for Japanese characters, which may be another one
  // (the drawing's font without them): then only texts without such
  // characters are drawn in it here. The two are told apart by their
  // tables (a font of none, such as Qt's boxes when there is no font at
  // all, is drawn by drawText): the family name of such a font is not
  // there to be asked for.
  const QByteArray head = face.Raw.fontTable("head"), name = face.Raw.fontTable("name");
  if (head.isEmpty()) return face;
  const QRawFont japanese = QRawFont::fromFont(font, QFontDatabase::Japanese);
  face.ForJapanese = japanese.isValid() && japanese.fontTable("head") == head && japanese.fontTable("name") == name;
  // Fonts laid out by tables other than OpenType's (AAT's), or with an old
  // kerning table, are shaped; so is one with a default feature.
  const bool other = !face.Raw.fontTable("morx").isEmpty() || !face.Raw.fontTable("mort").isEmpty() ||
                     !face.Raw.fontTable("kern").isEmpty() || !face.Raw.fontTable("kerx").isEmpty();
  face.Shaped.assign(1 << 16, 0);
  face.Plain = !other && MarkDefaultFeatureGlyphs(face.Raw.fontTable("GSUB"), false, face.Shaped) &&
               MarkDefaultFeatureGlyphs(face.Raw.fontTable("GPOS"), true, face.Shaped);
  return face;
}

double TPageGlyphs::SpacingOf(const QFont& font, const QPaintDevice* device) {
  const double asked = font.letterSpacing();
  if (asked == 0) return 0;
  auto [at, added] = spacings_.try_emplace(asked, 0.0);
  if (added) {
    // Qt lays the spacing out scaled for the device and rounded to its
    // fixed point: the difference it makes to two letters, halved.
    QFont plain = font;
    plain.setLetterSpacing(QFont::AbsoluteSpacing, 0);
    const QString two = QStringLiteral("AA");
    at->second = (QFontMetricsF(font, device).horizontalAdvance(two) -
                  QFontMetricsF(plain, device).horizontalAdvance(two)) / 2;
  }
  return at->second;
}

bool TPageGlyphs::Draw(QPainter& painter, const QFont& font, const std::string& fontKey, const QPointF& at,
                       const QString& text) {
  TFace& face = FaceOf(font, fontKey);
  if (!face.Plain) return false;
  const qsizetype units = text.size();
  for (qsizetype i = 0; i < units; ++i) {
    char32_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < units && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      ++i;
    }
    if (!PlainCharacter(c)) return false;
    if (!face.ForJapanese && JapaneseCharacter(c)) return false;
  }
  glyphs_.resize(static_cast<size_t>(units));
  int count = static_cast<int>(units);
  if (!face.Raw.glyphIndexesForChars(text.constData(), static_cast<int>(units), glyphs_.data(), &count)) return false;
  // A ligature's glyphs need not follow one another (a lookup may skip
  // some glyphs): any later glyph of one after a first glyph of one may
  // make one.
  bool ligatureBegun = false;
  for (int i = 0; i < count; ++i) {
    const quint32 glyph = glyphs_[static_cast<size_t>(i)];
    if (glyph == 0 || glyph >= face.Shaped.size()) return false;  // not in this font
    const uint8_t marks = face.Shaped[glyph];
    if ((marks & kShapedGlyph) || (ligatureBegun && (marks & kLigatureLater))) return false;
    ligatureBegun = ligatureBegun || (marks & kLigatureFirst);
  }
  // Each glyph's advance is asked of the font once (all the text's new
  // ones at once) and kept: the same glyph, the same advance.
  if (face.Advances.empty()) face.Advances.assign(face.Shaped.size(), QPointF(qQNaN(), 0));
  unknown_.clear();
  for (int i = 0; i < count; ++i) {
    const quint32 glyph = glyphs_[static_cast<size_t>(i)];
    if (qIsNaN(face.Advances[glyph].x())) unknown_.push_back(glyph);
  }
  if (!unknown_.empty()) {
    unknownAdvances_.resize(unknown_.size());
    if (!face.Raw.advancesForGlyphIndexes(unknown_.data(), unknownAdvances_.data(), static_cast<int>(unknown_.size()),
                                          QRawFont::SeparateAdvances))
      return false;
    for (size_t i = 0; i < unknown_.size(); ++i) face.Advances[unknown_[i]] = unknownAdvances_[i];
  }
  advances_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) advances_[static_cast<size_t>(i)] = face.Advances[glyphs_[static_cast<size_t>(i)]];
  runGlyphs_.resize(count);
  runPositions_.resize(count);
  const double letterSpacing = SpacingOf(font, painter.device());
  double x = at.x();
  for (int i = 0; i < count; ++i) {
    runGlyphs_[i] = glyphs_[static_cast<size_t>(i)];
    runPositions_[i] = QPointF(x, at.y());
    x += advances_[static_cast<size_t>(i)].x() + letterSpacing;
  }
  QGlyphRun run;
  run.setRawFont(face.Raw);
  run.setGlyphIndexes(runGlyphs_);
  run.setPositions(runPositions_);
  painter.drawGlyphRun(QPointF(0, 0), run);
  return true;
}

}  // namespace quorvex
