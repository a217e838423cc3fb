// The window program's command line: [DRAWING.jww], --help, --version and
// the hidden --screenshot FILE (a picture of the window shortly after it is
// shown; tools/screenshot.sh uses it).
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

class TCommandLine {
 public:
  TCommandLine();

  // Reads the arguments, the program's name first. False when they do not
  // read as options and drawings (an unknown option, a missing value).
  bool Read(const QStringList& arguments);
  // Whether the run ends with an answer on the terminal instead of a
  // window: help, the version or wrong usage (what Read refused, more than
  // one drawing).
  bool Answers() const;
  // Prints the help or the version on the standard output, or what was
  // wrong and the help on the error output; the exit status (0, or 2 for
  // wrong usage). Needs a QCoreApplication, no display.
  int Answer() const;

  // The drawing named, or empty.
  QString Drawing() const;
  // Where to save a picture of the window, or empty.
  QString Screenshot() const;

 private:
  QCommandLineParser parser_;
  QCommandLineOption help_;
  QCommandLineOption version_;
  QCommandLineOption screenshot_;
  bool read_ = false;
};

// The arguments as Qt gives them (each decoded from the locale's encoding),
// read before any application object exists.
QStringList ArgumentsOf(int argc, char** argv);

// The arguments without the options Qt takes for itself when it starts
// (-platform NAME, -style NAME, -reverse ...), as the program sees them
// once Qt has started: what is left is read before Qt starts a window.
QStringList WithoutQtOptions(const QStringList& arguments);
