#include "paint/quiet_start.h"

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <string>

#include "os/language.h"
#include "os/scratch.h"

namespace {

constexpr char kRuntimeVariable[] = "XDG_RUNTIME_DIR";

// XDG_RUNTIME_DIR pointed at a private scratch folder while it lives; then
// its own value again (or unset, as it was) and the folder removed.
class TLentRuntimeFolder {
 public:
  TLentRuntimeFolder() {
    if (qEnvironmentVariableIsSet(kRuntimeVariable)) own_ = qgetenv(kRuntimeVariable);
    // Made where the drawing's scratch folder would be; where none can be
    // made, Qt is left to its own ways (and says what went wrong).
    if (folder_.CreateInFirst(quorvex::ScratchBases()) != 0) return;
    std::string path = folder_.Path();
    path.pop_back();  // Qt takes the folder without its trailing '/'
    lent_ = qputenv(kRuntimeVariable, QByteArray::fromStdString(path));
  }
  ~TLentRuntimeFolder() {
    if (lent_) {
      if (own_) qputenv(kRuntimeVariable, *own_);
      else qunsetenv(kRuntimeVariable);
    }
    folder_.Remove();
  }
  TLentRuntimeFolder(const TLentRuntimeFolder&) = delete;
  TLentRuntimeFolder& operator=(const TLentRuntimeFolder&) = delete;

 private:
  std::optional<QByteArray> own_;
  quorvex::TScratchFolder folder_;
  bool lent_ = false;
};

}  // namespace

std::unique_ptr<QGuiApplication> StartQtQuietly(int& argc, char** argv) {
  // The picture is painted in memory: never on the platform the session
  // names (one that needs a display fails where there is none). Nor is
  // there an event loop to run: Qt's own, not GLib's, which aborts the
  // process when its memory runs out.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_NO_GLIB", "1");
  TLentRuntimeFolder lent;
  auto application = std::make_unique<QGuiApplication>(argc, argv);
  // Qt took the whole locale from the environment: the program's own again,
  // the messages' language alone, so that no number it writes follows the
  // user's country.
  quorvex::UseUsersLanguage();
  return application;
}
