// The batch, driven directly: which jobs may run side by side, the order
// of what it prints, and the inputs it refuses.
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "convert/batch.h"
#include "convert/drawingfile.h"
#include "writer_util.h"

namespace qtest {
namespace {

namespace fs = std::filesystem;

// Collects what a batch prints, in the order it is printed.
struct TPrinted {
  std::vector<TOutcome> Outcomes;
  TBatch::TPrint Printer() {
    return [this](const TOutcome& o) { Outcomes.push_back(o); };
  }
  std::string Out() const {
    std::string out;
    for (const TOutcome& o : Outcomes) out += o.Out;
    return out;
  }
  std::string Err() const {
    std::string err;
    for (const TOutcome& o : Outcomes) err += o.Err;
    return err;
  }
};

TEST(Batch, JobsThatShareAnOutputRunInInputOrderWhileTheOthersRunAlongside) {
  TempFolder tmp;
  for (const char* d : {"x", "y", "out"}) ASSERT_TRUE(fs::create_directory(tmp.File(d)));
  // x/plan.jww and y/PLAN.JWW share an output on a file system that ignores
  // case; a.jww and b.jww share nothing.
  const std::vector<std::string> inputs = {tmp.File("x/plan.jww"), tmp.File("y/PLAN.JWW"), tmp.File("a.jww"),
                                           tmp.File("b.jww")};
  for (const std::string& in : inputs) WriteFile(in, {'i', 'n'});

  // The first job holds on until a.jww and b.jww are done: they must not
  // wait for it, while y/PLAN.JWW must. a.jww and b.jww go on only once the
  // first job has started, so that the order below does not depend on how
  // the threads happen to be scheduled.
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> events;
  const TBatch::TConvert convert = [&](TConversionSession&, const std::string& in, const std::string& out) {
    const std::string name = fs::relative(in, tmp.Path()).string();
    std::unique_lock<std::mutex> lock(mutex);
    events.push_back("start " + name);
    changed.notify_all();
    const auto seen = [&](const std::string& event) {
      return std::find(events.begin(), events.end(), event) != events.end();
    };
    // Deadlines only so that a batch that runs jobs one at a time fails
    // here instead of hanging.
    if (name == "x/plan.jww") {
      if (!changed.wait_for(lock, std::chrono::seconds(60), [&] { return seen("end a.jww") && seen("end b.jww"); }))
        events.push_back("gave up waiting");
    } else if (name == "a.jww" || name == "b.jww") {
      if (!changed.wait_for(lock, std::chrono::seconds(60), [&] { return seen("start x/plan.jww"); }))
        events.push_back("gave up waiting");
    }
    events.push_back("end " + name);
    changed.notify_all();
    return TOutcome{name == "b.jww" ? kExitReadFailed : kExitOk, in + " -> " + out + "\n",
                    name == "b.jww" ? "b failed\n" : ""};
  };
  TBatch batch(tmp.File("out/"), inputs);
  TPrinted printed;
  EXPECT_EQ(batch.Run(4, printed.Printer(), convert), kExitSomeFailed);

  ASSERT_EQ(events.size(), 8u);
  EXPECT_EQ(std::find(events.begin(), events.end(), "gave up waiting"), events.end());
  const auto at = [&](const std::string& e) { return std::find(events.begin(), events.end(), e) - events.begin(); };
  EXPECT_LT(at("end x/plan.jww"), at("start y/PLAN.JWW"));
  EXPECT_LT(at("start x/plan.jww"), at("end a.jww"));
  EXPECT_LT(at("start x/plan.jww"), at("end b.jww"));
  // Printed in input order, though a.jww and b.jww were done first.
  std::string expected;
  for (const std::string& in : inputs) expected += in + " -> " + tmp.File("out/") + BaseName(in) + "\n";
  EXPECT_EQ(printed.Out(), expected);
  EXPECT_EQ(printed.Err(), "b failed\n");
}

TEST(Batch, AnInputThatIsItsOwnOutputIsRefusedByNameAndTheRestGoOn) {
  TempFolder tmp;
  ASSERT_TRUE(fs::create_directory(tmp.File("in")));
  ASSERT_TRUE(fs::create_directory(tmp.File("out")));
  TJwwData d = GeneratedDrawing(600, false);
  ASSERT_EQ(WriteDrawingFile(d, tmp.File("in/p.jww"), 600, TWriterFallbacks{}, nullptr), 0);
  ASSERT_EQ(WriteDrawingFile(d, tmp.File("in/q.jww"), 600, TWriterFallbacks{}, nullptr), 0);
  fs::create_hard_link(tmp.File("in/q.jww"), tmp.File("out/q.jww"));
  const std::vector<uint8_t> p = ReadFile(tmp.File("in/p.jww"));
  const std::vector<uint8_t> q = ReadFile(tmp.File("in/q.jww"));

  // p.jww into its own folder, and q.jww into a folder where its output is
  // a hard link of it; r.jww, a copy, goes where it should.
  fs::copy_file(tmp.File("in/p.jww"), tmp.File("r.jww"));
  for (size_t workers : {1, 2}) {
    SCOPED_TRACE(workers);
    fs::remove(tmp.File("in/r.jww"));
    TPrinted printed;
    TBatch own(tmp.File("in/"), {tmp.File("in/p.jww"), tmp.File("r.jww")});
    EXPECT_EQ(own.Run(workers, printed.Printer()), kExitSomeFailed);
    TBatch linked(tmp.File("out/"), {tmp.File("in/q.jww")});
    EXPECT_EQ(linked.Run(workers, printed.Printer()), kExitSomeFailed);
    ASSERT_EQ(printed.Outcomes.size(), 3u);
    EXPECT_EQ(printed.Outcomes[0].Exit, kExitBadOutput);
    EXPECT_NE(printed.Outcomes[0].Err.find(tmp.File("in/p.jww") + ": not converted"), std::string::npos)
        << printed.Err();
    EXPECT_EQ(printed.Outcomes[1].Exit, kExitOk) << printed.Err();
    EXPECT_EQ(printed.Outcomes[2].Exit, kExitBadOutput);
    EXPECT_NE(printed.Outcomes[2].Err.find(tmp.File("in/q.jww") + ": not converted"), std::string::npos)
        << printed.Err();
    EXPECT_EQ(ReadFile(tmp.File("in/p.jww")), p);
    EXPECT_EQ(ReadFile(tmp.File("in/q.jww")), q);
  }
}

}  // namespace
}  // namespace qtest
