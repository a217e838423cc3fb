// What a picture of a drawing is made of: points, maps and boxes in drawing
// units, pens, drawing primitives (lines, elliptical arcs, filled polygons
// and sectors, dots, text runs, images and placements of block
// definitions), the figures that group them by the entity they come from,
// and the scene that holds what the figures share. The scene walk
// (render/scene.h) makes these; the SVG writer and the thumbnail painter
// draw them. Nothing here reads the drawing.
//
// Coordinates stay in drawing units (millimetres on paper) with the y axis
// pointing up; whoever draws flips the picture once.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quorvex {

inline bool Finite(double v) { return std::isfinite(v); }
template <class... T>
bool Finite(double v, T... rest) {
  return std::isfinite(v) && Finite(rest...);
}

struct TPt {
  double X = 0, Y = 0;
};

// An affine map: (x, y) goes to (X + M11 x + M12 y, Y + M21 x + M22 y).
struct TAffine {
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1, X = 0, Y = 0;

  TPt Apply(TPt p) const { return {X + M11 * p.X + M12 * p.Y, Y + M21 * p.X + M22 * p.Y}; }
  // This map after `inner`: first inner, then this.
  TAffine After(const TAffine& inner) const;
  // A block insertion's placement: scale along x and y, then rotate by
  // `angle` radians, then move to (x, y).
  static TAffine Placement(double x, double y, double scaleX, double scaleY, double angle);
  bool Finite() const;
};

// An axis-aligned box; empty until a point is added.
struct TBox {
  double MinX = std::numeric_limits<double>::infinity(), MinY = std::numeric_limits<double>::infinity();
  double MaxX = -std::numeric_limits<double>::infinity(), MaxY = -std::numeric_limits<double>::infinity();

  bool Empty() const { return !(MinX <= MaxX && MinY <= MaxY); }
  double Width() const { return Empty() ? 0 : MaxX - MinX; }
  double Height() const { return Empty() ? 0 : MaxY - MinY; }
  void Add(TPt p);
  // Adds the four corners of `box` mapped by `m`.
  void Add(const TBox& box, const TAffine& m);
};

// How a stroke or a fill looks.
struct TPen {
  uint32_t Rgb = 0;            // 0xRRGGBB
  double Width = 0.18;         // stroke width, drawing units
  std::vector<double> Dashes;  // drawn, gap, drawn, gap ... in drawing units; empty: solid
  double DashOffset = 0;       // how far into the pattern a stroke starts
  bool operator==(const TPen&) const = default;
};

enum class TPrimKind : uint8_t {
  kLine,     // P[0] to P[1]
  kArc,      // elliptical arc: centre P[0], radii, tilt, start, sweep
  kPolygon,  // filled, corners P[0..3]
  kSector,   // filled ellipse (Full) or sector of one: centre P[0], radii, tilt, start, sweep as an arc's
  kDot,      // filled circle at P[0] with Radius
  kText,     // text run Ref of its figure, laid out in Frame (origin, direction; y up)
  kImage,    // image Ref in Frame (the unit square is the picture); Ref -1: no picture, a frame is drawn
  kPlace,    // block definition group Ref placed with Frame
};

// Marks of a primitive or figure.
enum : uint8_t {
  kMarkExploded = 1,   // a line or point the explode made
  kMarkTemporary = 2,  // a temporary point: shown on screen, not printed
  kMarkHidden = 4,     // on a hidden layer or layer group: kept, but not shown
};

struct TPrimitive {
  TPrimKind Kind = TPrimKind::kLine;
  uint8_t Marks = 0;
  int32_t Pen = 0;  // index into TScene::Pens (stroke for lines and arcs, fill otherwise)
  int32_t Ref = -1;
  TPt P[4];
  double Radius = 0;              // dot
  double RadiusX = 0, RadiusY = 0;  // arc, sector: along the tilt and across it
  double Tilt = 0, Start = 0, Sweep = 0;  // arc, sector; radians; Start is the angle before flattening
  bool Full = false;              // arc, sector: a whole ellipse
  TAffine Frame;                  // text, image, placement
};

// Points along an arc or a sector's arc (both ends included), for painters
// and extents.
std::vector<TPt> ArcPoints(const TPrimitive& arc, int segments);
TPt ArcPoint(const TPrimitive& arc, double t);
// The box of ArcPoints(arc, segments), without making the list.
TBox ArcPointsBox(const TPrimitive& arc, int segments);

// The kind of entity a figure stands for; its name is the SVG class.
enum class TFigureKind : uint8_t { kLine, kArc, kPoint, kText, kSolid, kDim, kBlock };
const char* FigureClass(TFigureKind kind);

// A text run: the characters as UTF-8, laid out from the frame's origin
// along its x axis, characters standing on the x axis.
struct TTextRun {
  std::string Text;
  std::string Font;       // the drawing's font name, UTF-8; may be empty
  double Height = 0;      // character height
  double CharWidth = 0;   // width of a full-width character (half-width: half of it)
  double Spacing = 0;     // gap after a full-width character (half-width: half of it)
  double Fitted = 1;      // the share of that width the text is drawn at (render/textlayout.h)
};

// One entity: its kind, marks and primitives, with the text runs its text
// primitives name by Ref.
struct TFigure {
  TFigureKind Kind = TFigureKind::kLine;
  uint8_t Marks = 0;
  bool IsImage = false;  // a text that places an image
  uint16_t LayerGroup = 0, Layer = 0;  // the entity's, as stored
  std::vector<TPrimitive> Prims;
  std::vector<TTextRun> Texts;
};

// An image carried by the drawing, ready to be shown.
struct TSceneImage {
  std::string Mime;            // "image/png", "image/jpeg" or "image/bmp"
  std::vector<uint8_t> Bytes;  // the image file, decompressed
};

// The drawing (group 0) or one block definition it reaches; its figures
// come one at a time from the scene walk (render/scene.h).
struct TGroup {
  std::string Name;      // UTF-8; empty for the drawing
  int32_t DefIndex = -1; // index in BlockDefs; -1 for the drawing
  TBox Box;  // extents in the group's own coordinates, placements included
  TBox HiddenBox;  // the drawing: extents of its hidden figures
};

// What a picture needs before its first figure: the pens, the images, the
// groups with their extents and the extents of the whole.
struct TScene {
  std::vector<TPen> Pens;
  std::vector<TSceneImage> Images;
  std::vector<TGroup> Groups;  // [0] the drawing; then the block definitions it reaches
  uint32_t Background = 0xFFFFFF;  // 0xRRGGBB the drawing is drawn on
  TBox Extents;                // of what is shown (of everything when nothing is shown)
  int64_t ExplodedLines = 0;   // exploded lines and points drawn (each definition once)
  int64_t ExplodedPoints = 0;
  // Images the drawing carries and places that cannot be shown (of no
  // known format, broken, beyond the picture's budget): drawn as frames.
  int64_t ImagesNotShown = 0;
  // With TRenderOptions::ItemBoxes: for each item of the drawing's own
  // order list, the box of what it draws (placements included, hidden or
  // not; empty for an item that draws nothing), and its layer as
  // LayerGroup * 16 + Layer (255 for one outside the 16 x 16).
  std::vector<TBox> ItemBoxes;
  std::vector<uint8_t> ItemLayers;
  // And the one colour (0xRRGGBB) each is drawn in; for one of several
  // colours (or faint points beside others) its first one not faint with
  // kSeveralRgb set; kNoItemRgb when its figure places a block or an image,
  // or is all faint.
  std::vector<uint32_t> ItemRgb;
  // And the pen of each that is one line and nothing else (not faint),
  // or -1: a painter can tell such items apart by their boxes alone.
  std::vector<int32_t> ItemLinePen;
};

constexpr uint32_t kNoItemRgb = 0xFF000000u;
constexpr uint32_t kSeveralRgb = 0x01000000u;

}  // namespace quorvex
