// The Shift-JIS and UTF-16 string filters and the fixed-field helpers.
#include <climits>
#include <cstring>

#include "testutil.h"
#include "text/jwwstring.h"
#include "text/sjis.h"

namespace qtest {
namespace {

using S = std::string;
using U = std::u16string;
const S kFullBlank = "\x81\x40";  // the full-width blank in Shift-JIS

template <class Str, class F>
void Check(F filter, std::initializer_list<std::pair<Str, Str>> cases) {
  for (const auto& [in, want] : cases) EXPECT_EQ(filter(in), want) << testing::PrintToString(in);
}

TEST(TextHelpers, LeadByteRangesAreInclusive) {
  for (int b : {0x80, 0x9F, 0xE0, 0xFD}) EXPECT_TRUE(IsLeadByte(b)) << b;
  for (int b : {0x00, 0x7F, 0xA0, 0xDF, 0xFE, 0xFF}) EXPECT_FALSE(IsLeadByte(b)) << b;
}

TEST(TextHelpers, NarrowFiltersWalkByCharacters) {
  Check<S>([](const S& s) { return RemoveBlanks(s); },
           {{"", ""}, {" " + kFullBlank + " \t", ""}, {"1 0", "10"}, {S("a\0b\x1f", 4), "ab"},
            {"\x81\x20", "\x81\x20"},          // trail bytes 0x20 and 0x40 belong to their character
            {"\x88\x40 ", "\x88\x40"},
            {"\x81\x81\x40", "\x81\x81\x40"},  // the straddling 0x81 0x40 is no blank
            {"\xB1" + kFullBlank, "\xB1"},     // half-width katakana are single bytes
            {"a \x82", "a\x82"}});             // a lone final lead byte stays here
  Check<S>([](const S& s) { return StripCaretM(s); },
           {{"", ""}, {"^m", " "}, {"x^m^my", "xy"}, {"^M", "^M"}, {"^^m", "^"}, {"m^", "m^"},
            {"\x01\x1f\t", " "}, {S("a\0b\r\n", 5), "ab"}, {" " + kFullBlank, " " + kFullBlank},
            {"\x81^m", "\x81^m"},  // 0x5E is the trail byte of 0x81 0x5E
            {"\x81\x01", "\x81\x01"}, {"a\x82", "a\x82"}});
  Check<S>([](const S& s) { return CleanArchiveText(s); },
           {{"", ""}, {"ab\x82", "ab"}, {"\x82", ""}, {"\x82\xA0\xE0", "\x82\xA0"}, {"\xFE\xFF\xDF", "\xFE\xFF\xDF"},
            {S("a\x01" "b\0\x7f\r\n", 7), "ab\x7f"}, {"\x82\x01", "\x82\x01"}, {" ^m ", " ^m "}});
}

TEST(TextHelpers, WideFilters) {
  const U high(1, char16_t(0xD83D)), low(1, char16_t(0xDE00));
  Check<U>([](const U& s) { return RemoveBlanks(s); },
           {{u" \u3000 ", u""}, {u"1\u30000", u"10"}, {u"\t", u""}, {u"\u8140\u3001", u"\u8140\u3001"}});
  Check<U>([](const U& s) { return StripCaretM(s); },
           {{u"", u""}, {u"^m", u" "}, {u"x^m^my", u"xy"}, {u"^M", u"^M"}, {u"\x01\x02", u" "},
            {u"\u5E6D^m", u"\u5E6D"}});  // a unit is never split into bytes
  Check<U>([](const U& s) { return CleanArchiveText(s); },
           {{u"ab" + high, u"ab"}, {u"ab" + high + low, u"ab" + high + low}, {u"a\x01" "b\r\n", u"ab"},
            {U(u"a\0b", 3), u"ab"}});
  // The JwwString overloads keep the form of their argument.
  EXPECT_EQ(StripCaretM(W(u"\x01")), W(u" "));
  EXPECT_NE(StripCaretM(W(u"\x01")), N(" "));
  EXPECT_EQ(StripCaretM(N("^m")), N(" "));
  EXPECT_EQ(RemoveBlanks(W(u" \u3000")), W(u""));
  EXPECT_EQ(CleanArchiveText(N("x\x82")), N("x"));
  EXPECT_EQ(CleanArchiveText(W(u"x\xD800")), W(u"x"));
  EXPECT_EQ(W(u"x").SameForm("Color_1"), W(u"Color_1"));
  EXPECT_EQ(N("x").SameForm("Color_1"), N("Color_1"));
}

TEST(TextHelpers, StringsOfEveryLengthKeepEveryUnitWhereverTheyAreKept) {
  // Up to 15 bytes or 7 units are kept inside the string, longer ones
  // outside: the lengths around that edge, copied and moved too.
  for (size_t n = 0; n <= 20; ++n) {
    U units;
    S bytes;
    for (size_t i = 0; i < n; ++i) {
      units.push_back(static_cast<char16_t>(u'A' + i));
      bytes.push_back(static_cast<char>('a' + i));
    }
    for (const JwwString& s : {JwwString::Wide(units), JwwString::Narrow(bytes)}) {
      JwwString copy = s;
      const JwwString moved = std::move(copy);
      for (const JwwString* t : {&s, &moved}) {
        EXPECT_EQ(t->Length(), n);
        if (t->IsWide()) EXPECT_EQ(t->Units(), units) << n;
        else EXPECT_EQ(t->Bytes(), bytes) << n;
      }
    }
  }
}

TEST(TextHelpers, CopyAndFillTouchOnlyTheirCount) {
  struct Case {
    S src;
    int count;
    size_t copied;
  };
  for (const Case& k : {Case{"abc", 8, 3}, Case{"abcdefgh", -5, 5}, Case{"abc", 0, 0}, Case{"", 5, 0},
                        Case{"xyz", INT_MIN, 3}, Case{S("\0\x01", 2), 2, 2}}) {
    uint8_t buf[10];
    std::memset(buf, 0xAA, sizeof buf);
    CopyToBuffer(buf, k.src, k.count);
    for (size_t i = 0; i < 10; ++i)
      EXPECT_EQ(buf[i], i < k.copied ? uint8_t(k.src[i]) : 0xAA) << k.count << " at " << i;
  }
  for (int count : {0, -3, 4}) {
    uint8_t buf[6];
    std::memset(buf, 0xAA, sizeof buf);
    FillBuffer(buf, 0x20, count);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(buf[i], i < count ? 0x20 : 0xAA) << count << " at " << i;
  }
}

}  // namespace
}  // namespace qtest
