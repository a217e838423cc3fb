// Prints how long reading, exploding and writing take for generated
// drawings of growing size, and the time per entity, so that growth that is
// worse than linear shows as a rising per-entity figure within one run.
//
//   quorvex-bench [largest-entity-count]
//
// With --compare, it writes one generated drawing to a file and times whole
// runs of quorvex-convert on it against `cp` followed by `sync` of the copy
// (the cost of a durable copy of the same bytes), pair by pair, and prints
// the medians, their ratio and the converter's peak memory. In the same
// runs it times the pictures of the drawing, `quorvex-convert --svg` and
// `quorvex-thumbnail` (beside the converter, when built), and prints their
// medians and peaks against the conversion's and the file's; and the
// conversion to DXF against `cp` and `sync` of the DXF's own bytes, with its
// peak memory against the drawing file's size; and the conversion to PDF
// against the conversion to JWW, with its peak memory against the file's
// size. With --real, the same run then times the PDF of each drawing named
// (or of each drawing in a folder named) against its thumbnail, pair by
// pair:
//
//   quorvex-bench --compare ENTITIES [--runs R] [--blocks] [--convert PATH] [--real PATH]...
//
// --blocks makes a drawing of 20,000 block definitions whose insertions reach
// 30,000 tree nodes, with the rest of the entities plain.
//
// With --batch, it writes D copies of one generated drawing (default 12)
// and times `quorvex-convert -d OUT -j 1` on all of them against `-j J`
// (default 2), pair by pair, and prints the medians and their ratio:
//
//   quorvex-bench --batch ENTITIES [--drawings D] [--jobs J] [--runs R] [--convert PATH]
//
// With --write, it only writes the drawing that --compare would time, for a
// profiler to look at a conversion of it:
//
//   quorvex-bench --write ENTITIES FILE [--blocks]
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bytes/writer.h"
#include "convert/drawingfile.h"
#include "explode/explode.h"
#include "jww/builder.h"
#include "jww/jwwunit.h"

using namespace quorvex;
using namespace quorvex::builder;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

struct TRun {
  double Seconds = 0;
  long PeakKb = 0;
  int Status = -1;
};

// Runs a program to its end; its wall time, peak memory and exit status.
TRun RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  TRun run;
  std::fflush(stdout);  // the child must not print what the parent buffered
  const auto t0 = Clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
    ::execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru{};
  if (pid < 0 || ::wait4(pid, &status, 0, &ru) != pid) return run;
  run.Seconds = Seconds(t0);
  run.PeakKb = ru.ru_maxrss;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

std::string SiblingConverter(const char* self) {
  std::string dir = self;
  const size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? std::string("./") : dir.substr(0, slash + 1);
  return dir + "tools/quorvex-convert";
}

// The thumbnailer built beside a converter, or "" when there is none.
std::string ThumbnailerBeside(const std::string& converter) {
  const size_t slash = converter.rfind("tools/");
  if (slash == std::string::npos) return "";
  const std::string path = converter.substr(0, slash) + "thumbnail/quorvex-thumbnail";
  return ::access(path.c_str(), X_OK) == 0 ? path : "";
}

// The drawings named, and those in the folders named, in order of name.
std::vector<std::string> DrawingsOf(const std::vector<std::string>& paths) {
  std::vector<std::string> drawings;
  for (const std::string& p : paths) {
    std::error_code e;
    if (!std::filesystem::is_directory(p, e)) {
      drawings.push_back(p);
      continue;
    }
    std::vector<std::string> in;
    for (const auto& entry : std::filesystem::directory_iterator(p, e))
      if (entry.path().extension() == ".jww") in.push_back(entry.path().string());
    std::sort(in.begin(), in.end());
    drawings.insert(drawings.end(), in.begin(), in.end());
  }
  return drawings;
}

// Each drawing's PDF against its thumbnail, pair by pair (which goes first
// alternates): the medians, and the median of the ratios, per drawing and
// over all of them.
int CompareReal(const std::vector<std::string>& drawings, int runs, const std::string& converter,
                const std::string& thumbnailer, const std::string& dir) {
  if (thumbnailer.empty()) {
    std::fprintf(stderr, "no thumbnailer beside %s: the PDFs of real drawings are not timed\n", converter.c_str());
    return 1;
  }
  const std::string pdf = dir + "/real.pdf", png = dir + "/real.png";
  std::printf("real drawings: PDF against thumbnail (medians of %d pairs; at most 1 asked for)\n", runs);
  std::printf("%-24s %10s %10s %8s\n", "drawing", "pdf s", "thumb s", "ratio");
  std::vector<double> all;
  for (const std::string& drawing : drawings) {
    std::vector<double> pdfTimes, thumbTimes, ratios;
    for (int r = 0; r < runs; ++r) {
      TRun runsOf[2];
      for (int k = 0; k < 2; ++k) {
        const int which = (r + k) % 2;
        runsOf[which] = which == 0 ? RunProgram({converter, drawing, pdf}) : RunProgram({thumbnailer, drawing, png});
      }
      ::unlink(pdf.c_str()), ::unlink(png.c_str());
      if (runsOf[0].Status != 0 || runsOf[1].Status != 0) {
        std::fprintf(stderr, "%s: a run failed (pdf %d, thumbnail %d)\n", drawing.c_str(), runsOf[0].Status,
                     runsOf[1].Status);
        return 1;
      }
      pdfTimes.push_back(runsOf[0].Seconds), thumbTimes.push_back(runsOf[1].Seconds);
      ratios.push_back(runsOf[0].Seconds / runsOf[1].Seconds);
    }
    const std::string name = drawing.substr(drawing.rfind('/') + 1);
    std::printf("%-24s %10.3f %10.3f %8.2f\n", name.c_str(), Median(pdfTimes), Median(thumbTimes), Median(ratios));
    all.push_back(Median(ratios));
  }
  std::printf("real drawings: PDF against thumbnail, median of the drawings' ratios %.2f, highest %.2f\n", Median(all),
              all.empty() ? 0.0 : *std::max_element(all.begin(), all.end()));
  return 0;
}

int Compare(int32_t n, int runs, bool blocks, const std::string& converter, const std::vector<std::string>& reals) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvex-bench-" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  const std::string in = dir + "/in.jww", out = dir + "/out.jww", copy = dir + "/copy.jww";
  const std::string dxf = dir + "/out.dxf", dxfCopy = dir + "/copy.dxf", pdf = dir + "/out.pdf";
  {
    TJwwData d = blocks ? BlockHeavyDrawing(n) : LargeDrawing(n);
    if (!d.PostRead() || WriteDrawingFile(d, in, kVersionImages, TWriterFallbacks{}, nullptr) != 0) {
      std::fprintf(stderr, "cannot write %s\n", in.c_str());
      return 1;
    }
  }
  struct stat st{};
  ::stat(in.c_str(), &st);
  const std::string thumbnailer = ThumbnailerBeside(converter);
  const std::string svg = dir + "/out.svg", png = dir + "/out.png";
  std::printf("drawing: %d entities%s, %lld bytes; converter %s\n", n, blocks ? " (20,000 block definitions)" : "",
              static_cast<long long>(st.st_size), converter.c_str());
  std::printf("%4s %10s %10s %8s %10s %8s %10s %8s %10s\n", "run", "convert s", "cp+sync s", "ratio", "--svg s", "ratio",
              "thumb s", "ratio", "peak MB");
  std::vector<double> conv, base, ratio, svgTimes, svgRatio, thumbTimes, thumbRatio, dxfTimes, dxfBase, dxfRatio;
  std::vector<double> pdfTimes, pdfRatio;
  long peak = 0, svgPeak = 0, thumbPeak = 0, dxfPeak = 0, pdfPeak = 0;
  long long dxfBytes = 0;
  for (int r = 0; r < runs; ++r) {
    ::unlink(out.c_str());
    ::unlink(copy.c_str());
    const TRun c = RunProgram({converter, in, out});
    const TRun cp = RunProgram({"cp", in, copy});
    const TRun sy = RunProgram({"sync", copy});
    const TRun pic = RunProgram({converter, "--svg", in, svg});
    const TRun th = thumbnailer.empty() ? TRun{0, 0, 0} : RunProgram({thumbnailer, in, png});
    ::unlink(svg.c_str());
    ::unlink(png.c_str());
    // The DXF, against a durable copy of its own bytes.
    ::unlink(dxf.c_str());
    ::unlink(dxfCopy.c_str());
    const TRun dx = RunProgram({converter, in, dxf});
    const TRun dxCp = RunProgram({"cp", dxf, dxfCopy});
    const TRun dxSync = RunProgram({"sync", dxfCopy});
    struct stat dst{};
    ::stat(dxf.c_str(), &dst);
    dxfBytes = static_cast<long long>(dst.st_size);
    ::unlink(dxfCopy.c_str());
    // The PDF, against the conversion to JWW of the same run.
    ::unlink(pdf.c_str());
    const TRun pd = RunProgram({converter, in, pdf});
    ::unlink(pdf.c_str());
    if (c.Status != 0 || cp.Status != 0 || sy.Status != 0 || pic.Status != 0 || th.Status != 0 || dx.Status != 0 ||
        dxCp.Status != 0 || dxSync.Status != 0 || pd.Status != 0) {
      std::fprintf(stderr,
                   "a run failed (convert %d, cp %d, sync %d, svg %d, thumbnail %d, dxf %d, cp %d, sync %d, pdf %d)\n",
                   c.Status, cp.Status, sy.Status, pic.Status, th.Status, dx.Status, dxCp.Status, dxSync.Status,
                   pd.Status);
      return 1;
    }
    pdfTimes.push_back(pd.Seconds), pdfRatio.push_back(pd.Seconds / c.Seconds);
    pdfPeak = std::max(pdfPeak, pd.PeakKb);
    const double dxBase = dxCp.Seconds + dxSync.Seconds;
    dxfTimes.push_back(dx.Seconds), dxfBase.push_back(dxBase), dxfRatio.push_back(dx.Seconds / dxBase);
    dxfPeak = std::max(dxfPeak, dx.PeakKb);
    const double b = cp.Seconds + sy.Seconds;
    conv.push_back(c.Seconds), base.push_back(b), ratio.push_back(c.Seconds / b);
    svgTimes.push_back(pic.Seconds), svgRatio.push_back(pic.Seconds / c.Seconds);
    thumbTimes.push_back(th.Seconds), thumbRatio.push_back(th.Seconds / c.Seconds);
    peak = std::max(peak, c.PeakKb);
    svgPeak = std::max(svgPeak, pic.PeakKb);
    thumbPeak = std::max(thumbPeak, th.PeakKb);
    std::printf("%4d %10.3f %10.3f %8.2f %10.3f %8.2f %10.3f %8.2f %10.1f   dxf %.3f s, cp+sync %.3f s, ratio %.2f;"
                " pdf %.3f s, ratio %.2f, %.1f MB\n",
                r + 1, c.Seconds, b, c.Seconds / b, pic.Seconds, pic.Seconds / c.Seconds, th.Seconds,
                th.Seconds / c.Seconds, c.PeakKb / 1024.0, dx.Seconds, dxBase, dx.Seconds / dxBase, pd.Seconds,
                pd.Seconds / c.Seconds, pd.PeakKb / 1024.0);
  }
  const double file = static_cast<double>(st.st_size);
  std::printf("median %8.3f %10.3f %8.2f %10.3f %8.2f %10.3f %8.2f\n", Median(conv), Median(base), Median(ratio),
              Median(svgTimes), Median(svgRatio), Median(thumbTimes), Median(thumbRatio));
  std::printf("peak memory: convert %.1f MB = %.2f times the file, --svg %.1f MB = %.2f, thumbnail %.1f MB = %.2f%s\n",
              peak / 1024.0, peak * 1024.0 / file, svgPeak / 1024.0, svgPeak * 1024.0 / file, thumbPeak / 1024.0,
              thumbPeak * 1024.0 / file, thumbnailer.empty() ? " (no thumbnailer built)" : "");
  std::printf("DXF: %lld bytes; to DXF %.3f s, cp+sync of the DXF %.3f s, ratio %.2f (medians); peak memory %.1f MB "
              "= %.2f times the drawing file\n",
              dxfBytes, Median(dxfTimes), Median(dxfBase), Median(dxfRatio), dxfPeak / 1024.0, dxfPeak * 1024.0 / file);
  std::printf("PDF: %.3f s against the conversion's %.3f s, ratio %.2f (median of the pairs' ratios; at most 3 "
              "asked for); peak memory %.1f MB = %.2f times the drawing file (at most 2 asked for)\n",
              Median(pdfTimes), Median(conv), Median(pdfRatio), pdfPeak / 1024.0, pdfPeak * 1024.0 / file);
  ::unlink(in.c_str()), ::unlink(out.c_str()), ::unlink(copy.c_str()), ::unlink(dxf.c_str());
  int status = 0;
  if (!reals.empty()) status = CompareReal(reals, runs, converter, thumbnailer, dir);
  ::rmdir(dir.c_str());
  return status;
}

// Empties a folder of outputs (makes it when there is none).
void EmptyOutputs(const std::string& dir) {
  std::error_code e;
  std::filesystem::remove_all(dir, e);
  std::filesystem::create_directory(dir, e);
}

int Batch(int32_t n, int drawings, int jobs, int runs, const std::string& converter) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/quorvex-bench-" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  std::vector<std::string> inputs;
  {
    TJwwData d = LargeDrawing(n);
    inputs.push_back(dir + "/drawing1.jww");
    if (!d.PostRead() || WriteDrawingFile(d, inputs[0], kVersionImages, TWriterFallbacks{}, nullptr) != 0) {
      std::fprintf(stderr, "cannot write %s\n", inputs[0].c_str());
      return 1;
    }
  }
  for (int i = 2; i <= drawings; ++i) {
    inputs.push_back(dir + "/drawing" + std::to_string(i) + ".jww");
    std::filesystem::copy_file(inputs[0], inputs.back(), std::filesystem::copy_options::overwrite_existing);
  }
  const std::string out = dir + "/out";
  const std::string parallel = "-j" + std::to_string(jobs);
  std::printf("%d drawings of %d entities, %lld bytes each; converter %s\n", drawings, n,
              static_cast<long long>(std::filesystem::file_size(inputs[0])), converter.c_str());
  std::printf("%4s %12s %12s %8s\n", "run", "-j1 s", (parallel + " s").c_str(), "ratio");
  std::vector<double> one, many, ratio;
  for (int r = 0; r < runs; ++r) {
    // Which of the pair goes first alternates, so neither always finds the
    // other's outputs still being flushed to disk.
    double t[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
      const int which = (r + k) % 2;
      EmptyOutputs(out);
      std::vector<std::string> argv = {converter, "-d", out, which == 0 ? "-j1" : parallel};
      argv.insert(argv.end(), inputs.begin(), inputs.end());
      const TRun run = RunProgram(argv);
      if (run.Status != 0) {
        std::fprintf(stderr, "a batch failed with status %d\n", run.Status);
        return 1;
      }
      t[which] = run.Seconds;
    }
    one.push_back(t[0]), many.push_back(t[1]), ratio.push_back(t[1] / t[0]);
    std::printf("%4d %12.3f %12.3f %8.3f\n", r + 1, t[0], t[1], t[1] / t[0]);
  }
  std::printf("median %10.3f %12.3f %8.3f\n", Median(one), Median(many), Median(ratio));
  std::error_code e;
  std::filesystem::remove_all(dir, e);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--batch") == 0) {
    const int32_t n = std::atoi(argv[2]);
    int drawings = 12, jobs = 2, runs = 5;
    std::string converter = SiblingConverter(argv[0]);
    for (int i = 3; i + 1 < argc; i += 2) {
      if (std::strcmp(argv[i], "--drawings") == 0) drawings = std::atoi(argv[i + 1]);
      else if (std::strcmp(argv[i], "--jobs") == 0) jobs = std::atoi(argv[i + 1]);
      else if (std::strcmp(argv[i], "--runs") == 0) runs = std::atoi(argv[i + 1]);
      else if (std::strcmp(argv[i], "--convert") == 0) converter = argv[i + 1];
    }
    if (n < 1 || drawings < 1 || jobs < 1 || runs < 1) {
      std::fprintf(stderr, "usage: quorvex-bench --batch ENTITIES [--drawings D] [--jobs J] [--runs R] [--convert PATH]\n");
      return 2;
    }
    return Batch(n, drawings, jobs, runs, converter);
  }
  if (argc > 3 && std::strcmp(argv[1], "--write") == 0) {
    // Keeps the generated drawing, to profile a conversion of it by hand.
    const int32_t n = std::atoi(argv[2]);
    const bool blocks = argc > 4 && std::strcmp(argv[4], "--blocks") == 0;
    TJwwData d = blocks ? BlockHeavyDrawing(n) : LargeDrawing(n);
    if (n < 1 || !d.PostRead() || WriteDrawingFile(d, argv[3], kVersionImages, TWriterFallbacks{}, nullptr) != 0) {
      std::fprintf(stderr, "usage: quorvex-bench --write ENTITIES FILE [--blocks]\n");
      return 1;
    }
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "--compare") == 0) {
    const int32_t n = std::atoi(argv[2]);
    int runs = 5;
    bool blocks = false;
    std::string converter = SiblingConverter(argv[0]);
    std::vector<std::string> real;
    for (int i = 3; i < argc; ++i) {
      if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::atoi(argv[++i]);
      else if (std::strcmp(argv[i], "--real") == 0 && i + 1 < argc) real.push_back(argv[++i]);
      else if (std::strcmp(argv[i], "--blocks") == 0) blocks = true;
      else if (std::strcmp(argv[i], "--convert") == 0 && i + 1 < argc) converter = argv[++i];
    }
    return Compare(n, runs, blocks, converter, DrawingsOf(real));
  }
  const int32_t largest = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::printf("%10s %10s %10s %10s %10s %12s\n", "entities", "bytes", "read s", "explode s", "write s", "us/entity");
  for (int32_t n = 10000; n <= largest; n *= 10) {
    TJwwData source = LargeDrawing(n);
    TArchiveWriter original;
    if (!source.PostRead() || !source.WriteTo(original, kVersionImages, TWriterFallbacks{}, nullptr)) {
      std::fprintf(stderr, "cannot generate %d entities\n", n);
      return 1;
    }
    const std::vector<uint8_t> bytes = original.Data();

    TJwwData d;
    auto t0 = Clock::now();
    const bool ok = d.ReadBytes(bytes.data(), bytes.size(), nullptr);
    const double read = Seconds(t0);
    t0 = Clock::now();
    ExplodeDimensions(d);
    const double explode = Seconds(t0);
    t0 = Clock::now();
    TArchiveWriter out;
    const bool written = d.WriteTo(out, d.Header.Version, TWriterFallbacks{}, nullptr);
    const double write = Seconds(t0);
    if (!ok || !written) {
      std::fprintf(stderr, "round trip failed at %d entities\n", n);
      return 1;
    }
    std::printf("%10d %10zu %10.3f %10.3f %10.3f %12.3f\n", n, bytes.size(), read, explode, write,
                (read + explode + write) * 1e6 / n);
  }
  return 0;
}
