// The seven entity kinds, each described once: its code in order lists,
// its record type, the class name it is stored under, its array and count
// in a store, the layout of its body and the fewest bytes that body takes
// on file. Whatever acts per kind (reading, writing, counting, appending)
// is written once over this list, so a kind is never forgotten in one place
// and a code that names no kind reaches no array.
#pragma once

#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "jww/records.h"

namespace quorvex {

// One kind: Code, Record, ClassName, Array and Count (members of a store),
// MinBodyBytes (an old file's 13-byte common part and the shortest body
// behind it) and Body (the layout, for reading and writing alike).
template <TEntKind K, class R, TRecords<R> TEntJwwStore::*A, int32_t TEntJwwStore::*N, size_t MinBytes>
struct TKindOf {
  static constexpr TEntKind Code = K;
  using Record = R;
  static constexpr TRecords<R> TEntJwwStore::*Array = A;
  static constexpr int32_t TEntJwwStore::*Count = N;
  static constexpr size_t MinBodyBytes = MinBytes;
};

struct TLineKind : TKindOf<kLine, TEntJwwLine, &TEntJwwStore::Lines, &TEntJwwStore::LineCount, 13 + 32> {
  static constexpr std::string_view ClassName = "CDataSen";
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double) { LineBody(io, r); }
};
struct TArcKind : TKindOf<kArc, TEntJwwArc, &TEntJwwStore::Arcs, &TEntJwwStore::ArcCount, 13 + 60> {
  static constexpr std::string_view ClassName = "CDataEnko";
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double) { ArcBody(io, r); }
};
struct TPointKind : TKindOf<kPoint, TEntJwwPoint, &TEntJwwStore::Points, &TEntJwwStore::PointCount, 13 + 20> {
  static constexpr std::string_view ClassName = "CDataTen";
  // pointScale: the Scale a point without its extra fields gets where it is read.
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double pointScale) { PointBody(io, r, pointScale); }
};
// The fixed part and two empty strings.
struct TTextKind : TKindOf<kText, TEntJwwText, &TEntJwwStore::Texts, &TEntJwwStore::TextCount, 13 + 68 + 2> {
  static constexpr std::string_view ClassName = "CDataMoji";
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double) { TextBody(io, r); }
};
// The common part, the dimension line and the value text of an old file.
struct TDimensionKind
    : TKindOf<kDimension, TEntJwwDimension, &TEntJwwStore::Dims, &TEntJwwStore::DimCount, 13 + 45 + 83> {
  static constexpr std::string_view ClassName = "CDataSunpou";
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double) { DimensionBody(io, r); }
};
struct TSolidKind : TKindOf<kSolid, TEntJwwSolid, &TEntJwwStore::Solids, &TEntJwwStore::SolidCount, 13 + 64> {
  static constexpr std::string_view ClassName = "CDataSolid";
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double) { SolidBody(io, r); }
};
struct TBlockRefKind
    : TKindOf<kBlockRef, TEntJwwBlockRef, &TEntJwwStore::BlockRefs, &TEntJwwStore::BlockRefCount, 13 + 44> {
  static constexpr std::string_view ClassName = "CDataBlock";
  template <class IO, class Rec>
  static void Body(IO& io, Rec& r, double) { BlockRefBody(io, r); }
};

// The seven kinds in code order.
using TEntityKinds =
    std::tuple<TLineKind, TArcKind, TPointKind, TTextKind, TDimensionKind, TSolidKind, TBlockRefKind>;

// One record of each kind, as scratch space.
template <class... K>
std::tuple<typename K::Record...> OneRecordOfEach(std::tuple<K...>);
using TOneRecordOfEach = decltype(OneRecordOfEach(TEntityKinds{}));

// Calls f(kind) for each of the seven kinds, in code order.
template <class F>
constexpr void ForEachKind(F&& f) {
  std::apply([&](auto... kind) { (f(kind), ...); }, TEntityKinds{});
}

// Calls f(kind) with the kind whose code this is and returns true; returns
// false without calling f when the code names no kind (0 marks an item that
// stands for nothing).
template <class F>
bool WithKind(int32_t code, F&& f) {
  return std::apply([&](auto... kind) { return ((code == kind.Code ? (f(kind), true) : false) || ...); },
                    TEntityKinds{});
}

// The kind whose records are of type R (a type that is no record does not
// compile).
template <class R, class Kinds>
struct TKindOfRecord;
template <class R, class K, class... Rest>
struct TKindOfRecord<R, std::tuple<K, Rest...>>
    : std::conditional_t<std::is_same_v<R, typename K::Record>, std::type_identity<K>,
                         TKindOfRecord<R, std::tuple<Rest...>>> {};
template <class R>
using KindOfRecord = typename TKindOfRecord<R, TEntityKinds>::type;

// The array and the count of a kind in a store.
template <class K, class Store>
auto& RecordsOf(Store& s) { return s.*K::Array; }
template <class K, class Store>
auto& CountOf(Store& s) { return s.*K::Count; }

// Calls f(record) with the record an order list's item names and returns
// true; returns false without calling f when the item's code names no kind
// (0: a removed entity) or its index no record of that kind.
template <class Store, class F>
bool WithListedRecord(Store& s, const TEntJwwListItem& item, F&& f) {
  bool named = false;
  WithKind(item.Kind, [&](auto kind) {
    const auto& records = RecordsOf<decltype(kind)>(s);
    if (item.Index < 0 || static_cast<size_t>(item.Index) >= records.size()) return;
    named = true;
    f(records[static_cast<size_t>(item.Index)]);
  });
  return named;
}

// Appends a record to a store (the drawing, or a block definition) after the
// records in use, and its item after the first entityCount items of the
// order list; raises both counts. For building drawings in code.
template <class R>
void AppendEntity(TEntJwwStore& s, int32_t& entityCount, const R& r) {
  using K = KindOfRecord<R>;
  auto& array = RecordsOf<K>(s);
  int32_t& count = CountOf<K>(s);
  array.resize(static_cast<size_t>(count));
  array.push_back(r);
  s.EntityOrder.resize(static_cast<size_t>(entityCount));
  s.EntityOrder.push_back({K::Code, count++});
  ++entityCount;
}

}  // namespace quorvex
