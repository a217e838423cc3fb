// Record types of a JWW drawing: the header, the settings tables, the seven
// entity kinds, the order-list item, the block definition and the block tree.
//
// Records are plain structs; their bytes on file are decoded and encoded
// field by field (jww/records.h), never by copying memory.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "jww/recordpool.h"
#include "text/jwwstring.h"

namespace quorvex {

// Kind codes used by order lists; 0 marks an item that stands for nothing.
enum TEntKind : int32_t {
  kNone = 0,
  kLine = 1,
  kArc = 2,
  kPoint = 3,
  kText = 4,
  kDimension = 5,
  kSolid = 6,
  kBlockRef = 7,
};

// The 8 bytes every file written begins with.
constexpr std::string_view kSignature = "JwwData.";

// Version thresholds of the file format.
constexpr int32_t kOldestVersion = 220;
constexpr int32_t kVersionEye = 223;           // eye settings in the header
constexpr int32_t kVersionLastSizes = 225;     // last line / box / circle sizes
constexpr int32_t kVersionSolidColor = 230;    // solid colour; 10 mark jumps above it
constexpr int32_t kVersionSkyChart = 300;      // sky-chart settings (none from 231 to 299)
constexpr int32_t kVersionPenWidth = 351;      // PenWidth in every common part
constexpr int32_t kVersionExtended = 420;      // extended colours / line types, dimension parts
constexpr int32_t kVersionPackedOption = 600;  // high digit of the packed option
constexpr int32_t kVersionImages = 700;        // image section at the end of the file

// ---- settings tables ----

struct TEntJwwLayerGroup {
  int32_t State = 0, WriteLayer = 0;
  double Scale = 0;
  int32_t Protect = 0;
  JwwString Name;
};
struct TEntJwwLayer {
  int32_t State = 0, Protect = 0;
  JwwString Name;
};
struct TEntJwwPenSetting {
  uint32_t ScreenColor = 0;
  int32_t ScreenWidth = 0;
  uint32_t PrinterColor = 0;
  int32_t PrinterWidth = 0;
  double PointRadius = 0;
};
struct TEntJwwLineTypeSetting {
  uint32_t Pattern = 0;
  int32_t UnitDots = 0, Pitch = 0, PrinterPitch = 0;
};
struct TEntJwwRandomLineSetting {
  uint32_t Pattern = 0;
  int32_t Amplitude = 0, Pitch = 0, PrinterAmplitude = 0, PrinterPitch = 0;
};
struct TEntJwwColorExNo {
  uint32_t ScreenColor = 0;
  int32_t ScreenWidth = 0;
  JwwString Name;
  uint32_t PrinterColor = 0;
  int32_t PrinterWidth = 0;
  double PointRadius = 0;
};
struct TEntJwwLineTypeExNo {
  uint32_t Pattern = 0;
  int32_t UnitDots = 0, Pitch = 0, PrinterPitch = 0;
  JwwString Name;
  int32_t SegmentCount = 0;
  std::array<double, 10> SegmentPitch{};  // pitches 1..10
};
struct TEntJwwTextStyle {
  double Width = 0, Height = 0, Spacing = 0;
  int32_t Color = 0;
};

// A mark jump: scale, origin and layer group (the last only above version 230).
struct TEntJwwMarkJump {
  double Scale = 0, OriginX = 0, OriginY = 0;
  int32_t LayerGroup = 0;
};

// ---- header ----

struct TEntJwwHeader {
  std::string Signature;  // 8 bytes on file
  int32_t Version = 0;
  JwwString Memo;
  int32_t SheetSize = 0;
  int32_t WriteLayerGroup = 0;
  std::array<int32_t, 5> DimSetting{};  // DimSetting1..5
  int32_t MaxDrawWidth = 0;
  bool MaxDrawWidthIsCode = false;
  int32_t MaxDrawWidthValue = 0;
  double PrinterOriginX = 0, PrinterOriginY = 0, PrinterScale = 0;
  int32_t PrinterRotate = 0, GridMode = 0;
  double GridDisplayMin = 0, GridSpacingX = 0, GridSpacingY = 0, GridBaseX = 0, GridBaseY = 0;
  double ShadowLevel = 0, ShadowLatitude = 0;
  int32_t ShadowTimeFlag = 0;
  double WallShadowLevel = 0;
  double SkyChartLevel = 0, SkyChartRadius = 0;
  int32_t Unit3D = 0;
  double ViewScale = 0, ViewOriginX = 0, ViewOriginY = 0, RangeScale = 0, RangeOriginX = 0, RangeOriginY = 0;
  // Mark jumps 1..8 at index 0..7 (versions up to 230 carry only 1..4).
  std::array<double, 8> MarkScale{}, MarkOriginX{}, MarkOriginY{};
  std::array<int32_t, 8> MarkLayerGroup{};
  TEntJwwMarkJump MarkExtra1, MarkExtra2;
  std::array<double, 10> MultiLineSpacing{};  // 1..10
  double BothSideExtension = 0;
  std::array<int32_t, 10> Option{};  // Option1..Option10
  int32_t OptionLow = 0, OptionHigh = 0;
  int32_t DrawTime = 0, EyeInit = 0, EyeAngle1 = 0, EyeAngle2 = 0, EyeAngle3 = 0;
  double EyeHeight1 = 0, EyeDistance1 = 0, EyeHeight2 = 0, EyeDistance2 = 0, EyeVertAngle3 = 0;
  double LastLineLength = 0, LastBoxX = 0, LastBoxY = 0, LastCircleRadius = 0;
  int32_t SolidAnyColor = 0;
  uint32_t SolidColor = 0;
  double TextSizeX = 0, TextSizeY = 0, TextSpacing = 0;
  int32_t TextColor = 0, TextKind = 0;
  double TextLineSpacing = 0, TextCharCount = 0;
  int32_t TextShiftOn = 0;
  std::array<double, 3> TextShiftX{}, TextShiftY{};
  // Not part of the header section: the object counts of the two lists.
  int32_t EntityCount = 0;
  int32_t BlockDefListCount = 0;
};

// ---- entities ----

// The common part every entity record begins with (15 bytes on file; 13
// before version 351, without PenWidth).
struct TEntJwwCommon {
  uint32_t Group = 0;
  uint8_t PenStyle = 0;
  uint16_t PenColor = 0;
  uint16_t PenWidth = 0;
  uint16_t Layer = 0;
  uint16_t LayerGroup = 0;
  uint16_t Flags = 0;
};

struct TEntJwwLine : TEntJwwCommon {
  double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
};

struct TEntJwwArc : TEntJwwCommon {
  double CenterX = 0, CenterY = 0, Radius = 0, StartAngle = 0, ArcAngle = 0, TiltAngle = 0, Flatness = 0;
  uint32_t FullCircle = 0;
};

struct TEntJwwPoint : TEntJwwCommon {
  double X = 0, Y = 0;
  uint32_t Temporary = 0;
  uint32_t Code = 0;  // Code, Angle and Scale are on file only with PenStyle 100
  double Angle = 0;
  double Scale = 0;
};

struct TEntJwwText : TEntJwwCommon {
  double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
  uint32_t TextType = 0;
  double SizeX = 0, SizeY = 0, Spacing = 0, Angle = 0;
  JwwString FontName;
  JwwString Text;
};

struct TEntJwwDimension : TEntJwwCommon {
  TEntJwwLine DimLine;
  TEntJwwText ValueText;
  uint16_t PartsFlag = 0;
  TEntJwwLine AuxLine1, AuxLine2;
  TEntJwwPoint Point1, Point2, AuxPoint1, AuxPoint2;
};

// A string keeps no pointer into itself (its long units lie in a block of
// their own), so records holding strings move byte for byte.
template <>
struct TRelocatable<TEntJwwText> : std::true_type {};
template <>
struct TRelocatable<TEntJwwDimension> : std::true_type {};

struct TEntJwwSolid : TEntJwwCommon {
  double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, X3 = 0, Y3 = 0, X4 = 0, Y4 = 0;
  uint32_t Color = 0;  // on file only with PenColor 10
};

struct TEntJwwBlockRef : TEntJwwCommon {
  double RefX = 0, RefY = 0, ScaleX = 0, ScaleY = 0, Angle = 0;
  int32_t BlockNumber = 0;
};

struct TEntJwwListItem {
  int32_t Kind = kNone;
  int32_t Index = 0;
  friend bool operator==(const TEntJwwListItem&, const TEntJwwListItem&) = default;
};

// The entity store shared by the drawing and each block definition: the
// order list and one array per kind, each with its count of records in use.
// A read store's arrays hold exactly their counts; the explode keeps the
// dimensions it removes in Dims, so DimCount is then below Dims' length.
struct TEntJwwStore {
  TEntJwwStore() = default;
  // A store whose arrays take their memory from the pool.
  explicit TEntJwwStore(TRecordPool* pool)
      : EntityOrder(pool), Lines(pool), Arcs(pool), Points(pool), Texts(pool), Dims(pool), Solids(pool),
        BlockRefs(pool) {}

  TRecords<TEntJwwListItem> EntityOrder;
  TRecords<TEntJwwLine> Lines;
  TRecords<TEntJwwArc> Arcs;
  TRecords<TEntJwwPoint> Points;
  TRecords<TEntJwwText> Texts;
  TRecords<TEntJwwDimension> Dims;
  TRecords<TEntJwwSolid> Solids;
  TRecords<TEntJwwBlockRef> BlockRefs;
  int32_t LineCount = 0, ArcCount = 0, PointCount = 0, TextCount = 0, DimCount = 0, SolidCount = 0,
          BlockRefCount = 0;

  // Sum of the seven counts.
  int64_t TotalCount() const;
  // Frees every array and sets the counts to 0.
  void ClearStore();
};

// A block definition: fixed part, name and its own entity store. Its
// EntityCount is the number of objects of its nested list as read.
struct TEntJwwBlockDef : TEntJwwCommon, TEntJwwStore {
  TEntJwwBlockDef() = default;
  explicit TEntJwwBlockDef(TRecordPool* pool) : TEntJwwStore(pool) {}

  int32_t Number = 0;
  uint32_t Referenced = 0;
  uint32_t Time = 0;
  JwwString Name;
  int32_t EntityCount = 0;
  bool Used = false;
  int32_t NewNumber = -1;
  uint64_t FileOffset = 0;  // the byte of the file where the definition starts (its tag)
};

// Its store's arrays keep no pointer into the definition either.
template <>
struct TRelocatable<TEntJwwBlockDef> : std::true_type {};

// One block insertion reached from the drawing's list, nested ones included.
// A node copies nothing: it refers to its insertion record and to the
// definition it places, so a tree of a million nodes stays small. The
// drawing (TJwwData) gives a node's block number, common part, name and
// placement from these.
struct TEntJwwBlockTree {
  int32_t Depth = 0;      // 0 for insertions of the drawing's list
  int32_t Parent = -1;    // index of the parent node, -1 at depth 0
  int32_t Ref = 0;        // the insertion: index in the drawing's BlockRefs at depth 0, else in
                          // the BlockRefs of the parent's definition
  int32_t DefIndex = -1;  // index in BlockDefs of the first definition with the insertion's number, -1 if none
};

// Where records were appended to a store after it was read: its lines and
// points from these indexes on (what the dimension explode appends, which
// a preview marks), for the drawing and for each block definition.
struct TAppendStart {
  int32_t Line = std::numeric_limits<int32_t>::max();
  int32_t Point = std::numeric_limits<int32_t>::max();
};
struct TAppendStarts {
  TAppendStart Drawing;
  std::vector<TAppendStart> Defs;  // by index in BlockDefs
};

// Where a block insertion puts its definition: a point (x, y) of the
// definition lands at (X + M11 x + M12 y, Y + M21 x + M22 y).
struct TBlockPlacement {
  double X = 0, Y = 0;
  double M11 = 1, M12 = 0, M21 = 0, M22 = 1;
};

}  // namespace quorvex
