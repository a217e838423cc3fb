// The viewer in the desktop's language: its own translations (built from
// the .ts files beside it into its resources) and Qt's for its dialogs,
// where qt6-translations-l10n is installed; English where there are none.
#pragma once

#include <QTranslator>

class TLanguages {
 public:
  // Installs the translations for the system's languages while it lives.
  TLanguages();
  ~TLanguages();
  TLanguages(const TLanguages&) = delete;
  TLanguages& operator=(const TLanguages&) = delete;

  bool Own() const { return own_; }

 private:
  QTranslator viewer_, qt_;
  bool own_ = false, qtInstalled_ = false;
};
