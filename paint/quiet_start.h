// Starting Qt for the thumbnailer so that it leaves nothing behind and says
// nothing. Qt looks at its runtime folder ($XDG_RUNTIME_DIR) once, while it
// starts its platform: it looks there for "flatpak-info", to learn whether
// it runs in a sandbox of its own. Where the variable is not set (as under a
// file manager's thumbnail service, or in GNOME's thumbnail sandbox, whose
// /tmp must be empty again afterwards) Qt makes "runtime-<user>" in the
// temporary folder, leaves it there and warns on the error output. The
// thumbnailer lends Qt a private scratch folder of its own for that start
// instead, and gives the variable back its own value once Qt has started:
// the folder goes again, and the drawing's scratch folder is made where the
// caller said.
#pragma once

#include <memory>

#include <QGuiApplication>

// The application, on the offscreen platform whatever QT_QPA_PLATFORM
// says (thumbnailers run without a display), the locale left as the
// program had it (os/language.h).
std::unique_ptr<QGuiApplication> StartQtQuietly(int& argc, char** argv);
