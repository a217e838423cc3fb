#include "testutil.h"

#include "convert/drawingfile.h"
#include "explode/explode.h"

namespace qtest {

TEST(RealDrawings, EveryOneReadsAndConvertsToAFixedPoint) {
  QUORVEX_REQUIRE_REAL();
  for (const std::string& path : RealDrawings()) {
    SCOPED_TRACE(path);
    TJwwData d;
    ASSERT_TRUE(ReadDrawingFile(path, d, nullptr));
    ExplodeDimensions(d);
    const auto once = Serialize(d, d.Header.Version);
    bool ok = false;
    TJwwData again = Parse(once, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(Serialize(again, again.Header.Version), once);
  }
}

}  // namespace qtest
