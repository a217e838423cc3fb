// Archive strings, object counts, class tags, the byte cursor and the writer.
#include <cerrno>

#include "bytes_util.h"

namespace qtest {
namespace {

// n bytes that differ from their neighbours (zeros included), so a misplaced block shows.
std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>((i * 7 + i / 256) % 251);
  return s;
}

// Writes s, expects prefix + body, reads it back whole; every strict prefix
// of a short encoding must fail to read (each cut is an exactly sized buffer).
void ExpectString(const JwwString& s, const Bytes& prefix, const Bytes& body) {
  const Bytes out = Written([&](TArchiveWriter& w) { WriteArchiveString(w, s); });
  EXPECT_EQ(out, Cat(prefix, body));
  ByteCursor c(out.data(), out.size()), clean(out.data(), out.size());
  EXPECT_EQ(ReadArchiveString(c), s);
  EXPECT_EQ(ReadCleanString(clean), CleanArchiveText(s));  // zero bytes are taken, then dropped
  EXPECT_TRUE(c.Ok() && c.Remaining() == 0 && clean.Remaining() == 0);
  for (size_t n = 0; out.size() < 1000 && n < out.size(); ++n) {
    const Bytes cut = Head(out, n);
    ByteCursor k(cut.data(), cut.size());
    EXPECT_TRUE(ReadArchiveString(k).Empty() && !k.Ok()) << n;
  }
}

TEST(ArchiveStrings, PrefixesCutsAndLimits) {
  for (const auto& [length, prefix] : {std::pair{0u, B({0})}, {254u, B({0xFE})}, {255u, B({0xFF, 0xFF, 0x00})},
                                       {300u, B({0xFF, 0x2C, 0x01})}, {65533u, B({0xFF, 0xFD, 0xFF})},
                                       {65535u, B({0xFF, 0xFF, 0xFF})}}) {
    SCOPED_TRACE(length);
    const std::string s = Pattern(length);
    ExpectString(N(s), prefix, B(s));
    std::u16string units;
    Bytes body;
    for (unsigned i = 0; length <= 300 && i < length; ++i) units += char16_t(0x3000 + i);
    for (char16_t u : units) body.push_back(uint8_t(u)), body.push_back(uint8_t(u >> 8));
    if (length <= 300) ExpectString(W(units), Cat(B({0xFF, 0xFE, 0xFF}), prefix), body);
  }
  // Lengths no form holds fail the writer.
  for (const JwwString& s : {N(std::string(65534, 'a')), N(std::string(65536, 'a')), W(std::u16string(65536, u'a')),
                             W(std::u16string(65535, u'a'))}) {
    TArchiveWriter w;
    WriteArchiveString(w, s);
    w.U32(1);  // after a failure nothing more is taken
    const bool fits = s.IsWide() && s.Length() == 65535;
    EXPECT_EQ(w.Error(), fits ? 0 : EINVAL) << s.Length();
    EXPECT_EQ(w.Data().size(), fits ? 6 + 2 * 65535 + 4 : 0u) << s.Length();
  }
}

TEST(ArchiveCounts, ObjectCountsAndClassReferences) {
  for (const auto& [count, bytes] : {std::pair{0u, B({0, 0})}, {65534u, B({0xFE, 0xFF})},
                                     {65535u, B({0xFF, 0xFF, 0xFF, 0xFF, 0, 0})},
                                     {70000u, B({0xFF, 0xFF, 0x70, 0x11, 1, 0})}}) {
    EXPECT_EQ(Written([&](TArchiveWriter& w) { WriteObjectCount(w, count); }), bytes) << count;
    ByteCursor c(bytes.data(), bytes.size());
    EXPECT_TRUE(ReadObjectCount(c) == count && c.Ok()) << count;
  }
  EXPECT_EQ(Written([](TArchiveWriter& w) { WriteClassReference(w, 1); }), B({0x01, 0x80}));
  EXPECT_EQ(Written([](TArchiveWriter& w) { WriteClassReference(w, 32766); }), B({0xFE, 0xFF}));
  EXPECT_EQ(Written([](TArchiveWriter& w) { WriteClassReference(w, 32767); }), B({0xFF, 0x7F, 0xFF, 0x7F, 0, 0x80}));
}

// One numbering runs through the file: a class takes the next number when it
// is named, each object the one after; tags written are read back as kinds.
TEST(ArchiveClassTags, NumberingRoundTrip) {
  const std::vector<int> kinds = {1, 1, 2, kBlockDefClass, 1, 5, 2, 7, 7};
  for (uint32_t start : {1u, 32760u}) {
    TArchiveNumbering wn, rn;
    wn.NextObject = rn.NextObject = start;
    const Bytes tags = Written([&](TArchiveWriter& w) {
      for (int k : kinds) WriteClassTag(w, wn, k, 700), ++wn.NextObject;
    });
    EXPECT_EQ(wn.ClassOf[7], start + 11);
    ByteCursor c(tags.data(), tags.size());
    for (int k : kinds) {
      if (k == kBlockDefClass) ReadBlockDefClassTag(c, rn);
      else EXPECT_EQ(ReadEntityClassTag(c, rn), k);
      ++rn.NextObject;
    }
    EXPECT_TRUE(c.Ok() && c.Remaining() == 0);
    EXPECT_EQ(rn.ClassOf, wn.ClassOf);
  }
  // By hand: CDataSen is 1, its line 2; tag 0x8001 names kind 1 again (3);
  // CDataEnko is 4, its arc 5; then an arc and a line by reference.
  const Bytes sen = Cat(B({0xFF, 0xFF, 0x58, 0x02, 0x08, 0x00}), B("CDataSen"));
  EXPECT_EQ(Written([](TArchiveWriter& w) { WriteNewClass(w, 600, "CDataSen"); }), sen);
  const Bytes list = Cat(Cat(sen, B({0x01, 0x80, 0xFF, 0xFF, 0x58, 0x02, 0x09, 0})), B("CDataEnko\x04\x80\x01\x80"));
  ByteCursor c(list.data(), list.size());
  TArchiveNumbering n;
  std::vector<int> got;
  for (int i = 0; i < 5; ++i) got.push_back(ReadEntityClassTag(c, n)), ++n.NextObject;
  EXPECT_EQ(got, (std::vector<int>{1, 1, 2, 2, 1}));
  EXPECT_TRUE(c.Ok() && c.Remaining() == 0);
}

TEST(ArchiveClassTags, BadTagsFail) {
  TArchiveNumbering named{3, {0, 1}};  // CDataSen is class 1, object 2 a line
  auto newClass = [](const std::string& s) {
    return Cat(B({0xFF, 0xFF, 0, 0, int(s.size() & 0xFF), int(s.size() >> 8)}), B(s));
  };
  const Bytes sen = newClass("CDataSen");
  std::vector<Bytes> bad = {B({0x00, 0x80}), B({0x02, 0x80}), B({0x01, 0x00}), newClass("CDataFoo"),
                            newClass("CDataSenX"), newClass("CDataSe"), newClass("CDataList"),
                            newClass(std::string(2049, 'C'))};
  for (size_t cut = 0; cut < sen.size(); ++cut) bad.push_back(Head(sen, cut));
  for (const Bytes& tag : bad) {
    TArchiveNumbering n = named;
    ByteCursor c(tag.data(), tag.size());
    EXPECT_EQ(ReadEntityClassTag(c, n), 0) << testing::PrintToString(tag).substr(0, 60);
    EXPECT_FALSE(c.Ok());
  }
  // A block definition's class name is not compared, only its length limited.
  const Bytes longest = newClass(std::string(2048, 'C'));
  ByteCursor d(longest.data(), longest.size()), e(bad[7].data(), bad[7].size());
  ReadBlockDefClassTag(d, named), ReadBlockDefClassTag(e, named);
  EXPECT_TRUE(d.Ok() && !e.Ok());
}

TEST(ArchiveCursor, ShortReadIsStickyAndYieldsZeros) {
  const Bytes data = B({0x01, 0x02, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F});
  ByteCursor c(data.data(), data.size());
  EXPECT_TRUE(c.U16() == 0x0201 && c.I32() == -2 && c.Ok());
  EXPECT_EQ(c.Take(SIZE_MAX), nullptr);  // offset + a huge request must not wrap around
  EXPECT_EQ(c.F64(), 0.0);  // once failed, every read yields zero
  EXPECT_EQ(c.Take(0), nullptr);
  EXPECT_FALSE(c.Ok());
  ByteCursor d(data.data(), 3);  // a U32 over three bytes
  EXPECT_TRUE(d.U32() == 0 && !d.Ok());
}

// A sink with a room of 64 KiB that keeps what it is handed, and from the
// byte `fullAt` on fails as a full disk does.
class TestSink : public TByteSink {
 public:
  explicit TestSink(size_t fullAt = SIZE_MAX) : fullAt_(fullAt) {}
  int Exchange(size_t used, uint8_t*& room, size_t& size) override {
    kept.insert(kept.end(), room_.begin(), room_.begin() + std::ptrdiff_t(used));
    if (kept.size() > fullAt_) return ENOSPC;
    room = room_.data();
    size = room_.size();
    return 0;
  }
  Bytes kept;

 private:
  size_t fullAt_;
  Bytes room_ = Bytes(size_t(1) << 16);
};

TEST(ArchiveWriter, SinkOutputAndStickyErrors) {
  const std::string big = Pattern(70000);  // more than one room
  TestSink sink;
  TArchiveWriter w(sink);
  w.Bytes(big.data(), big.size());
  w.U32(0x04030201), w.U16(0x0605);
  EXPECT_TRUE(w.Flush() && w.Position() == 70006u);
  EXPECT_EQ(sink.kept, Cat(B(big), B({1, 2, 3, 4, 5, 6})));
  TestSink full(1000);
  TArchiveWriter f(full);
  f.Bytes(big.data(), big.size());  // flushes on its own once the room fills
  f.Fail(EIO);  // the first error stays
  EXPECT_EQ(f.Error(), ENOSPC);
}

}  // namespace
}  // namespace qtest
