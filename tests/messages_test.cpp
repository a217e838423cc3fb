// The messages in the user's language: the locale they are taken with, and
// the help's lines laid out in a terminal's columns.
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "os/language.h"
#include "testutil.h"
#include "text/columns.h"

namespace qtest {
namespace {

TEST(Messages, TheUsersLanguageTakesTheMessagesAndNeverTheNumbers) {
  const std::optional<std::string> folder = TestLocaleFolder();
  if (!folder) GTEST_SKIP() << "no German locale: localedef and Debian's locales are needed";
  if (!folder->empty()) ::setenv("LOCPATH", folder->c_str(), 1);
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  UseUsersLanguage();
  const std::string messages = std::setlocale(LC_MESSAGES, nullptr), numbers = std::setlocale(LC_NUMERIC, nullptr);
  char half[16];
  std::snprintf(half, sizeof half, "%.1f", 0.5);
  // The test's own process goes back to C for the tests after it.
  ::unsetenv("LC_ALL");
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(messages, "de_DE.UTF-8");
  EXPECT_EQ(numbers, "C");
  EXPECT_STREQ(half, "0.5");
}

TEST(Columns, LinesBreakAtSpacesAndBetweenJapaneseCharactersNeverBeforeAClosingMark) {
  EXPECT_EQ(Columns("DXF"), 3u);
  EXPECT_EQ(Columns("図面（R2007、UTF-8）"), 4u + 2 + 5 + 2 + 5 + 2);
  // English: as many words as fit, a word longer than a line on its own.
  EXPECT_EQ(Wrapped("one two three four", 9), "one two\nthree\nfour\n");
  EXPECT_EQ(Wrapped("exploded dimensions", 4), "exploded\ndimensions\n");
  EXPECT_EQ(Wrapped("one two", 7), "one two\n");
  // Japanese breaks between characters, but a closing mark stays with the
  // character before it and an opening one with the character after it.
  EXPECT_EQ(Wrapped("図面を変換、します", 10), "図面を変\n換、します\n");
  EXPECT_EQ(Wrapped("寸法図形（線と点）", 10), "寸法図形\n（線と点）\n");
  EXPECT_EQ(Wrapped("-d では NAME.dxf に書き出します", 14), "-d では\nNAME.dxf に書\nき出します\n");
}

}  // namespace
}  // namespace qtest
