// The viewer's command line: drawings to open, --help, --version, and the
// hidden --screenshot FILE (a picture of the window once its drawing is
// painted, then the viewer ends; for the software centre's screenshot and
// the checks under a real X server).
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

struct TViewerCommand {
  QStringList Drawings;
  QString Screenshot;
};

// --help or --version among the arguments (before a "--"): answered on
// the standard output without a display, in the user's language; the
// exit status. Nothing for other arguments. Needs a QCoreApplication.
std::optional<int> AnswerEarly(const QStringList& arguments);

// The arguments Qt left (its own options taken out); nothing, with what
// was wrong and the usage on the error output, for wrong usage.
std::optional<TViewerCommand> ReadCommand(const QStringList& arguments);
