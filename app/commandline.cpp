#include "app/commandline.h"

#include <cstdio>

TCommandLine::TCommandLine()
    : help_(QStringList{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")),
      version_(QStringLiteral("version"), QStringLiteral("Show the version.")),
      screenshot_(QStringLiteral("screenshot"), QString(), QStringLiteral("file")) {
  screenshot_.setFlags(QCommandLineOption::HiddenFromHelp);
  parser_.setApplicationDescription(
      QStringLiteral("Explodes the dimensions without a value of a JWW drawing into lines and points."));
  parser_.addOptions({help_, version_, screenshot_});
  parser_.addPositionalArgument(QStringLiteral("drawing"), QStringLiteral("The input drawing to start with."),
                                QStringLiteral("[DRAWING.jww]"));
}

bool TCommandLine::Read(const QStringList& arguments) {
  const bool parsed = parser_.parse(arguments);
  read_ = parsed && parser_.positionalArguments().size() <= 1;
  return parsed;
}

bool TCommandLine::Answers() const { return !read_ || parser_.isSet(help_) || parser_.isSet(version_); }

int TCommandLine::Answer() const {
  // Wrong usage ends with 2, as with quorvex-convert.
  if (!read_) {
    if (!parser_.errorText().isEmpty()) std::fprintf(stderr, "quorvex: %s\n", qPrintable(parser_.errorText()));
    std::fputs(qPrintable(parser_.helpText()), stderr);
    return 2;
  }
  if (parser_.isSet(help_)) std::fputs(qPrintable(parser_.helpText()), stdout);
  else std::printf("quorvex %s\n", QUORVEX_VERSION);
  return 0;
}

QString TCommandLine::Drawing() const {
  const QStringList drawings = parser_.positionalArguments();
  return drawings.isEmpty() ? QString() : drawings.first();
}

QString TCommandLine::Screenshot() const { return parser_.value(screenshot_); }

QStringList ArgumentsOf(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
  return arguments;
}
