#include "dxf/colors.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <iterator>

namespace quorvex {
namespace {

struct TRgb {
  int R = 0, G = 0, B = 0;
};

// The standard ACI table: 1 to 6 the pure colours, 7 the foreground (black
// on paper), 8 and 9 greys, 10 to 249 twenty-four hues 15 degrees apart,
// each at five values (255, 165, 127, 76, 38) in full and in half
// saturation, and 250 to 255 six greys.
std::array<TRgb, 256> AciTable() {
  std::array<TRgb, 256> t{};
  const TRgb first[] = {{0, 0, 0},       {255, 0, 0},   {255, 255, 0}, {0, 255, 0},     {0, 255, 255},
                        {0, 0, 255},     {255, 0, 255}, {0, 0, 0},     {128, 128, 128}, {192, 192, 192}};
  for (int i = 0; i < 10; ++i) t[i] = first[i];
  const int values[] = {255, 165, 127, 76, 38};
  for (int aci = 10; aci < 250; ++aci) {
    const double hue = (aci / 10 - 1) * 15.0;  // degrees
    const double v = values[(aci % 10) / 2];
    const double low = aci % 2 == 0 ? 0 : v / 2;  // half saturation: the lowest channel at half the value
    // The channels of a hue: the one it lies nearest at v, the opposite
    // at `low`, the third in between.
    auto channel = [&](double centre) {
      double d = std::fmod(std::abs(hue - centre), 360.0);
      if (d > 180) d = 360 - d;
      if (d <= 60) return v;
      if (d >= 120) return low;
      return low + (v - low) * (120 - d) / 60;
    };
    t[aci] = {static_cast<int>(channel(0)), static_cast<int>(channel(120)), static_cast<int>(channel(240))};
  }
  const int greys[] = {51, 91, 132, 173, 214, 255};
  for (int i = 0; i < 6; ++i) t[250 + i] = {greys[i], greys[i], greys[i]};
  return t;
}

}  // namespace

int NearestAci(uint32_t rgb) {
  static const std::array<TRgb, 256> table = AciTable();
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  int best = 7;
  long bestDistance = -1;
  for (int aci = 1; aci < 256; ++aci) {
    const TRgb& c = table[aci];
    const long d = long(c.R - r) * (c.R - r) + long(c.G - g) * (c.G - g) + long(c.B - b) * (c.B - b);
    if (bestDistance < 0 || d < bestDistance) best = aci, bestDistance = d;
  }
  return best;
}

int NearestLineweight(double millimetres) {
  static constexpr int kWeights[] = {0,  5,  9,  13, 15, 18, 20,  25,  30,  35,  40,  50,
                                     53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  // In hundredths, rid of the last bits a width in millimetres brings
  // (0.14 * 100 is 14.000000000000002): a width halfway between two
  // lineweights takes the thinner.
  const double hundredths = std::isfinite(millimetres) ? std::round(millimetres * 1e8) / 1e6 : 0;
  int best = kWeights[0];
  for (int w : kWeights)
    if (std::abs(w - hundredths) < std::abs(best - hundredths)) best = w;
  return best;
}

}  // namespace quorvex
