#include "viewer/commandline.h"

#include <cstdio>

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

struct TParser {
  QCommandLineParser Parser;
  QCommandLineOption Help{QStringList{QStringLiteral("h"), QStringLiteral("help")}, QCoreApplication::translate("CommandLine", "Show this help.")};
  QCommandLineOption Version{QStringLiteral("version"), QCoreApplication::translate("CommandLine", "Show the version.")};
  QCommandLineOption Screenshot{QStringLiteral("screenshot"), QString(), QStringLiteral("file")};

  TParser() {
    Screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    Parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Shows JWW drawings and what the explode of their dimensions without a value changes; exports and "
           "prints them."));
    Parser.addOptions({Help, Version, Screenshot});
    Parser.addPositionalArgument(QStringLiteral("drawings"), QCoreApplication::translate("CommandLine", "Drawings to open, each in a tab."),
                                 QStringLiteral("[DRAWING.jww...]"));
  }
};

}  // namespace

std::optional<int> AnswerEarly(const QStringList& arguments) {
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--")) break;
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      TParser p;
      std::fputs(qPrintable(p.Parser.helpText()), stdout);
      return 0;
    }
    if (a == QLatin1String("--version")) {
      std::printf("quorvex-view %s\n", QUORVEX_VERSION);
      return 0;
    }
  }
  return std::nullopt;
}

std::optional<TViewerCommand> ReadCommand(const QStringList& arguments) {
  TParser p;
  if (!p.Parser.parse(arguments)) {
    std::fprintf(stderr, "quorvex-view: %s\n", qPrintable(p.Parser.errorText()));
    std::fputs(qPrintable(p.Parser.helpText()), stderr);
    return std::nullopt;
  }
  TViewerCommand command;
  command.Drawings = p.Parser.positionalArguments();
  command.Screenshot = p.Parser.value(p.Screenshot);
  return command;
}
