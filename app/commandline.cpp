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

QStringList WithoutQtOptions(const QStringList& arguments) {
  // Qt's own options, with one dash or two: those that take the next
  // argument as their value, and those that stand alone.
  static const char* const kWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "session",
                                           "display", "geometry", "style", "stylesheet", "name", "title",
                                           "visual", "qmljsdebugger"};
  static const char* const kAlone[] = {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"};
  const auto among = [](const QString& name, const auto& names) {
    for (const char* n : names)
      if (name == QLatin1String(n)) return true;
    return false;
  };
  QStringList left;
  bool options = true;  // until "--": what follows it is drawings only
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (i == 0 || !options || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("--")) {
      options = options && a != QLatin1String("--");
      left.append(a);
      continue;
    }
    QString name = a.mid(a.startsWith(QLatin1String("--")) ? 2 : 1);
    const qsizetype equals = name.indexOf(QLatin1Char('='));
    if (equals >= 0) name.truncate(equals);
    if (among(name, kAlone)) continue;
    if (among(name, kWithValue)) {
      if (equals < 0) ++i;  // and its value
      continue;
    }
    left.append(a);
  }
  return left;
}
