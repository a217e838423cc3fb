#include "viewer/languages.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

TLanguages::TLanguages() {
  const QLocale locale;
  own_ = viewer_.load(locale, QStringLiteral("quorvex-view"), QStringLiteral("_"), QStringLiteral(":/i18n")) &&
         QCoreApplication::installTranslator(&viewer_);
  qtInstalled_ = qt_.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                 QCoreApplication::installTranslator(&qt_);
}

TLanguages::~TLanguages() {
  if (own_) QCoreApplication::removeTranslator(&viewer_);
  if (qtInstalled_) QCoreApplication::removeTranslator(&qt_);
}
