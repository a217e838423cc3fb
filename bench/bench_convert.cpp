// Prints how long reading, exploding and writing take for generated
// drawings of growing size, and the time per entity, so that growth that is
// worse than linear shows as a rising per-entity figure within one run.
//
//   quorvex-bench [largest-entity-count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "explode/explode.h"
#include "jww/archive.h"
#include "jww/header.h"
#include "jww/jwwunit.h"
#include "jww/records.h"

using namespace quorvex;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// n entities: lines, texts and dimensions (half of them without value), plus
// n / 10 block definitions: the even ones placed from the drawing, each
// placing the odd one after it.
TJwwData Generate(int32_t n) {
  TJwwData d;
  SizeSettingsTables(d);
  d.Header.Version = kVersionImages;
  for (int32_t i = 0; i < n; ++i) {
    const int kind = i % 4;
    if (kind == 0 || kind == 1) {
      TEntJwwLine l;
      l.PenStyle = 1, l.PenColor = 1, l.EndX = i, l.EndY = 1;
      AppendEntity(d, d.Header.EntityCount, l);
    } else if (kind == 2) {
      TEntJwwText t;
      t.PenStyle = 1, t.PenColor = 1, t.Text = JwwString::Narrow("text " + std::to_string(i));
      AppendEntity(d, d.Header.EntityCount, t);
    } else {
      TEntJwwDimension dim;
      dim.PenStyle = 1, dim.PenColor = 1, dim.PartsFlag = 1;
      dim.DimLine.EndX = 10, dim.AuxLine1.EndY = 5, dim.AuxLine2.EndY = 5;
      dim.ValueText.Text = JwwString::Narrow(i % 8 == 3 ? "" : "100");
      AppendEntity(d, d.Header.EntityCount, dim);
    }
  }
  const int32_t defs = n / 10;
  d.BlockDefs.resize(static_cast<size_t>(defs));
  for (int32_t k = 0; k < defs; ++k) {
    TEntJwwBlockDef& def = d.BlockDefs[static_cast<size_t>(k)];
    def.Number = k + 1;
    def.Name = JwwString::Narrow("block " + std::to_string(k));
    TEntJwwLine l;
    l.PenStyle = 1, l.PenColor = 1, l.EndX = 1;
    AppendEntity(def, def.EntityCount, l);
    if (k % 2 == 0 && k + 1 < defs) {  // even definitions place the next, a leaf
      TEntJwwBlockRef r;
      r.PenColor = 1, r.ScaleX = r.ScaleY = 1, r.BlockNumber = k + 2;
      AppendEntity(def, def.EntityCount, r);
    }
    if (k % 2 == 0) {
      TEntJwwBlockRef r;
      r.PenColor = 1, r.ScaleX = r.ScaleY = 1, r.BlockNumber = k + 1;
      AppendEntity(d, d.Header.EntityCount, r);
    }
  }
  d.BlockDefCount = d.Header.BlockDefListCount = defs;
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  const int32_t largest = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::printf("%10s %10s %10s %10s %10s %12s\n", "entities", "bytes", "read s", "explode s", "write s", "us/entity");
  for (int32_t n = 10000; n <= largest; n *= 10) {
    TJwwData source = Generate(n);
    source.PostRead();
    TArchiveWriter original;
    source.WriteTo(original, kVersionImages, TWriterFallbacks{}, nullptr);
    const std::vector<uint8_t>& bytes = original.Data();

    TJwwData d;
    auto t0 = Clock::now();
    const bool ok = d.ReadBytes(bytes.data(), bytes.size(), nullptr);
    const double read = Seconds(t0);
    t0 = Clock::now();
    ExplodeDimensions(d);
    const double explode = Seconds(t0);
    t0 = Clock::now();
    TArchiveWriter out;
    d.WriteTo(out, d.Header.Version, TWriterFallbacks{}, nullptr);
    const double write = Seconds(t0);
    if (!ok || !out.Ok()) {
      std::fprintf(stderr, "round trip failed at %d entities\n", n);
      return 1;
    }
    std::printf("%10d %10zu %10.3f %10.3f %10.3f %12.3f\n", n, bytes.size(), read, explode, write,
                (read + explode + write) * 1e6 / n);
  }
  return 0;
}
