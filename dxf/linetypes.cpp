#include "dxf/linetypes.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace quorvex {
namespace {

// The look of a pattern: the family of standard line types it belongs to.
const char* FamilyOf(const std::vector<double>& e) {
  std::vector<double> dashes, gaps;
  for (double v : e) (v > 0 ? dashes : gaps).push_back(std::abs(v));
  if (dashes.empty() || gaps.empty()) return "DASHED";
  const auto [shortest, longest] = std::minmax_element(dashes.begin(), dashes.end());
  const double gap = *std::min_element(gaps.begin(), gaps.end());
  if (dashes.size() == 1) return *shortest <= gap / 2 ? "DOT" : "DASHED";
  // Long dashes and short ones: those nearer the longest are long.
  size_t longs = 0;
  for (double d : dashes) longs += d - *shortest > *longest - d;
  if (longs == 0) return "DASHED";  // all alike
  if (dashes.size() == 2) return *shortest <= gap / 2 ? "DASHDOT" : "CENTER";
  if (dashes.size() == 3) return longs == 1 ? "DIVIDE" : "BORDER";
  return "DASHED";
}

double Period(const std::vector<double>& e) {
  return std::accumulate(e.begin(), e.end(), 0.0, [](double sum, double v) { return sum + std::abs(v); });
}

}  // namespace

std::vector<double> LineTypeElements(const std::vector<double>& dashes) {
  std::vector<double> out;
  if (dashes.size() < 2) return out;
  for (size_t i = 0; i < dashes.size(); ++i) out.push_back(i % 2 == 0 ? dashes[i] : -dashes[i]);
  // An odd number of runs: the last drawn one goes on into the first.
  if (out.size() % 2 == 1) {
    out.front() += out.back();
    out.pop_back();
  }
  return out;
}

std::vector<std::string> LineTypeNames(const std::vector<std::vector<double>>& elements) {
  std::vector<std::string> names(elements.size());
  std::vector<const char*> family(elements.size());
  for (size_t i = 0; i < elements.size(); ++i) family[i] = FamilyOf(elements[i]);
  std::vector<bool> done(elements.size(), false);
  for (size_t i = 0; i < elements.size(); ++i) {
    if (done[i]) continue;
    // The patterns of this look, shortest first (the first met first
    // among equals).
    std::vector<size_t> same;
    for (size_t k = i; k < elements.size(); ++k)
      if (std::string_view(family[k]) == family[i]) same.push_back(k), done[k] = true;
    std::stable_sort(same.begin(), same.end(),
                     [&](size_t a, size_t b) { return Period(elements[a]) < Period(elements[b]); });
    static const std::vector<std::vector<const char*>> kSizes = {
        {""}, {"2", ""}, {"TINY", "2", ""}, {"TINY", "2", "", "X2"}};
    const std::vector<const char*>& sizes = kSizes[std::min<size_t>(same.size(), kSizes.size()) - 1];
    for (size_t r = 0; r < same.size(); ++r)
      names[same[r]] = std::string(family[i]) + sizes[std::min(r, sizes.size() - 1)];
  }
  return names;
}

}  // namespace quorvex
