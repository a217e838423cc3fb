// The block tree built after reading: which definitions the drawing uses,
// their new numbers, the placement of nested insertions, and the guards
// against self-placing definitions and runaway fan-out.
#include <cmath>

#include "reader_util.h"

namespace qtest {
namespace {

TEntJwwBlockRef Placed(int32_t number, double x, double y, double sx, double sy, double angle, uint16_t layer = 0) {
  TEntJwwBlockRef r = MakeBlockRef(number, x, y);
  r.ScaleX = sx, r.ScaleY = sy, r.Angle = angle, r.Layer = layer;
  return r;
}

// Reads the drawing back from a file that keeps every definition.
TJwwData ReadBack(TJwwData& d, bool* ok) { return Parse(SerializeAllDefs(d, 700), ok); }

}  // namespace

TEST(BlockTree, NestedPlacementUsesAndNumbersWhatIsReached) {
  TJwwData d = NewDrawing(700);
  TEntJwwBlockDef& unreached = AddBlockDef(d, 9, N("unreached"));
  Add(unreached, unreached.EntityCount, MakeBlockRef(9));  // places itself, but nothing places it
  TEntJwwBlockDef& outer = AddBlockDef(d, 1, N("outer"));
  outer.Layer = 3;
  Add(outer, outer.EntityCount, Placed(2, 1, 1, 1, 1, 0));
  Add(outer, outer.EntityCount, Placed(2, 1, 1, 5, 1, 0));
  AddBlockDef(d, 2, N("inner"));
  AddBlockDef(d, 2, N("second"));  // the first definition with a number wins
  AddBlockDef(d, 6, N("lonely"));  // not 5: SerializeAllDefs writes a dangling number as the definition count
  AddToDrawing(d, Placed(1, 10, 20, 2, 3, 0, 6));
  AddToDrawing(d, Placed(1, 10, 20, 2, 3, M_PI / 2));
  AddToDrawing(d, MakeBlockRef(77));  // names no definition
  bool ok = false;
  TJwwData r = ReadBack(d, &ok);
  // Three top-level nodes, then two nested nodes under each of the two
  // insertions of "outer", in breadth-first order.
  ASSERT_EQ(std::tuple(ok, r.BlockTreeCount, r.BlockTree.size()), std::tuple(true, 7, 7u));
  const auto& t = r.BlockTree;
  std::vector<TBlockPlacement> p;
  for (size_t k = 0; k < t.size(); ++k) p.push_back(r.BlockTreePlacement(k));
  EXPECT_EQ(std::tuple(t[0].DefIndex, r.BlockTreeName(0), t[0].Depth, t[0].Parent, r.BlockTreeCommon(0).Layer),
            std::tuple(1, N("outer"), 0, -1, 6));
  EXPECT_EQ(std::tuple(p[0].M11, p[0].M12, p[0].M21, p[0].M22), std::tuple(2.0, 0.0, 0.0, 3.0));
  EXPECT_EQ(std::tuple(t[2].DefIndex, r.BlockTreeName(2)), std::tuple(-1, N("")));
  // The nested insertion at (1, 1) lands at (10 + 2, 20 + 3); its node
  // takes the common part of the definition that holds it.
  EXPECT_EQ(std::tuple(t[3].Parent, t[3].Depth, t[3].DefIndex, r.BlockTreeName(3), r.BlockTreeCommon(3).Layer, p[3].X, p[3].Y),
            std::tuple(0, 1, 2, N("inner"), 3, 12.0, 23.0));
  // The nested scale applies inside the outer one. Rotated a quarter turn:
  // (1, 1) goes to (10 - 3, 20 + 2), and the nested matrix multiplies on the
  // right: [0 -3; 2 0] * [5 0; 0 1] = [0 -3; 10 0].
  EXPECT_EQ(std::tuple(p[4].M11, p[4].M22, t[5].Parent), std::tuple(10.0, 3.0, 1));
  const double got[] = {p[5].X, p[5].Y, p[6].M11, p[6].M12, p[6].M21, p[6].M22}, want[] = {7, 22, 0, -3, 10, 0};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << i;
  // Used: outer and inner (reached only through outer), numbered in list
  // order; the unreached, the duplicate and the lonely definition are not.
  EXPECT_EQ(r.UsedBlockDefCount, 2);
  const int numbers[] = {-1, 0, 1, -1, -1};
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(std::tuple(r.BlockDefs[i].NewNumber, r.BlockDefs[i].Used), std::tuple(numbers[i], numbers[i] >= 0)) << i;
}

TEST(BlockTree, SelfPlacementFailsTheReadOnlyWhenReached) {
  for (bool direct : {true, false}) {
    SCOPED_TRACE(direct ? "direct" : "through another definition");
    TJwwData d = NewDrawing(700);
    AddBlockDef(d, 1, N("a"));
    AddBlockDef(d, 2, N("b"));
    Add(d.BlockDefs[0], d.BlockDefs[0].EntityCount, MakeBlockRef(2));
    Add(d.BlockDefs[1], d.BlockDefs[1].EntityCount, MakeBlockRef(direct ? 2 : 1));
    // Nothing places the definitions yet: the read succeeds and uses none.
    bool ok = false;
    TJwwData r = ReadBack(d, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(std::tuple(r.BlockTree.size(), r.UsedBlockDefCount, r.BlockDefs[0].Used, r.BlockDefs[1].Used,
                         r.BlockDefs[0].NewNumber, r.BlockDefs[1].NewNumber),
              std::tuple(0u, 0, false, false, -1, -1));
    AddToDrawing(d, MakeBlockRef(1));
    r = ReadBack(d, &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(r.BlockTree.empty()) << "found by the node limit, not as a self-placement";
    EXPECT_EQ(r.BlockDefCount, 2);  // the lists themselves were read whole
  }
}

TEST(BlockTree, FanOutBeyondTheNodeLimitFailsBeforeBuilding) {
  // Definition k places definition k + 1 ten times and the drawing places
  // definition 1 ten times: five levels make 111,110 nodes and are read;
  // seven make ten million, thirty a number no integer holds.
  for (int levels : {5, 7, 30}) {
    TJwwData d = NewDrawing(700);
    for (int level = 1; level <= levels; ++level) {
      TEntJwwBlockDef& def = AddBlockDef(d, level, N("level"));
      for (int i = 0; level < levels && i < 10; ++i) Add(def, def.EntityCount, MakeBlockRef(level + 1, i, 0));
    }
    for (int i = 0; i < 10; ++i) AddToDrawing(d, MakeBlockRef(1, i, 0));
    bool ok = levels != 5;
    TJwwData r = ReadBack(d, &ok);
    EXPECT_EQ(std::tuple(ok, r.BlockTree.size()), std::tuple(levels == 5, levels == 5 ? 111110u : 0u)) << levels;
  }
}

TEST(BlockTree, ManyDefinitionsAndInsertions) {
  constexpr int kDefs = 20000, kRefs = 200000;
  TJwwData d = NewDrawing(700);
  for (int n = 0; n < kDefs; ++n) AddBlockDef(d, 100000 + n, N("b"));
  for (int j = 0; j < kRefs; ++j) AddToDrawing(d, MakeBlockRef(100000 + (j * 7) % kDefs, j, 0));
  bool ok = false;
  TJwwData r = ReadBack(d, &ok);
  ASSERT_EQ(std::tuple(ok, r.BlockTreeCount, r.UsedBlockDefCount), std::tuple(true, kRefs, kDefs));
  EXPECT_EQ(r.BlockTree[kRefs - 1].DefIndex, ((kRefs - 1) * 7) % kDefs);
  EXPECT_EQ(r.BlockDefs[kDefs - 1].NewNumber, kDefs - 1);
}

}  // namespace qtest
