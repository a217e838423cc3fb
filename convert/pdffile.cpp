#include "convert/pdffile.h"

#include <atomic>
#include <cerrno>
#include <mutex>
#include <new>
#include <vector>

#include "bytes/writer.h"
#include "convert/pdfmodule.h"
#include "convert/picture.h"
#include "os/interrupts.h"
#include "os/module.h"
#include "os/outputfile.h"
#include "render/page.h"
#include "render/scene.h"
#include "text/messages.h"
#include "text/utf8.h"

namespace quorvex {
namespace {

// The module, loaded and started once for the whole run: its entry that
// writes, or why there is none.
struct TPdfModule {
  TPdfWriteEntry* Write = nullptr;
  std::string Problem;
};

// The writer a program set for itself, if any (SetPdfWriter).
std::atomic<TPdfWriteEntry*> gOwnWriter{nullptr};

TPdfModule& Module() {
  static TPdfModule module;
  static std::once_flag once;
  std::call_once(once, [] {
    // Where the build and the package put it, beside the program.
    const std::string path = ProgramFolder() + QUORVEX_PDF_MODULE;
    std::string error;
    auto* version = reinterpret_cast<const char*>(ModuleSymbol(path, kPdfVersionEntry, error));
    auto* start = version ? reinterpret_cast<TPdfStartEntry*>(ModuleSymbol(path, kPdfStartEntry, error)) : nullptr;
    auto* write = start ? reinterpret_cast<TPdfWriteEntry*>(ModuleSymbol(path, kPdfWriteEntry, error)) : nullptr;
    if (!write) {
      module.Problem = Format(Tr("no PDF can be made: its module cannot be loaded: %s"), error.c_str());
      return;
    }
    if (std::string(version) != QUORVEX_VERSION) {
      module.Problem = Format(Tr("no PDF can be made: its module %s is of version %s, not %s"), path.c_str(), version,
                              QUORVEX_VERSION);
      return;
    }
    TPdfStart started;
    {
      // Qt's threads keep the interrupts away: they go to the program's own.
      TInterruptsHeld held;
      start(started);
    }
    if (!started.Problem.empty()) {
      module.Problem = Format(Tr("no PDF can be made: %s"), started.Problem.c_str());
      return;
    }
    module.Write = write;
  });
  return module;
}

}  // namespace

void SetPdfWriter(TPdfWriteEntry* write) { gOwnWriter.store(write); }

void PreparePdf() {
  if (!gOwnWriter.load()) (void)Module();
}

int WritePdfFile(const TJwwData& d, const TImageStore& images, const TPdfOptions& options, const std::string& path,
                 TPdfReport& report, bool* placed) {
  if (placed) *placed = false;
  std::vector<TStoredImage> stored;
  if (const int err = KeptImages(images, stored)) return err;
  TRenderOptions render;
  render.Attributes = options.Attributes;
  render.Colors = TColorSet::kPrinter;
  render.Images = &stored;
  render.ImageBudget = options.ImageBudget;
  TSceneWalk walk(d, render);
  const TPage page = PageOf(d.Header.SheetSize, walk.Scene());
  report.Page = page.Describe();

  // The program's own writer, or the module's.
  TPdfWriteEntry* write = gOwnWriter.load();
  if (!write) {
    const TPdfModule& module = Module();
    if (!module.Write) {
      report.Problem = module.Problem;
      return EINVAL;
    }
    write = module.Write;
  }
  TOutputFile file;  // removed again unless committed, however the writing ends
  if (const int err = file.Open(path)) return err;
  TArchiveWriter out(file);
  TPdfJob job;
  job.Walk = &walk;
  job.Page = &page;
  job.Mono = options.Mono;
  job.Title = options.Title;
  job.Out = &out;
  TPdfDone done;
  write(job, done);
  // Texts whose characters were lost, or a page that does not show the
  // whole drawing, take no PDF's name.
  if (walk.UndecodedStrings() > 0) {
    report.Undecodable = true;
    return Cp932ConverterError() != 0 ? Cp932ConverterError() : EILSEQ;
  }
  if (!done.Problem.empty()) {
    report.Problem = done.Problem;
    return EINVAL;
  }
  if (!out.Flush()) return out.Error();
  if (done.WriterFailed) {
    report.Problem = Tr("Qt's PDF writer could not write it");
    return EINVAL;
  }
  const int err = file.Commit();
  if (placed) *placed = file.Placed();
  return err;
}

}  // namespace quorvex
