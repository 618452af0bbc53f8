#include "image/render.h"

#include "processing/integration.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace velkor {

namespace {

constexpr float kDecibels = 8.6859f;     // dB per natural-log unit of an amplitude (20 / ln 10)
constexpr float kByteScale = 255.999f;   // maps 0 ... 1 onto the 256 byte values
constexpr float kRootThree = 1.7320508f; // hue terms 120 degrees apart
constexpr uint8_t kUndrawn = 0x20;       // bytes of pixels no station draws

// Floor of a product that lies within 0 ... 255.999 by construction; a NaN
// (sums that overflowed) shows black rather than an arbitrary byte.
uint8_t pixelByte(float product) {
  float level = std::floor(product);
  if (!(level >= 0.0f)) return 0;
  if (level > 255.0f) return 255;
  return static_cast<uint8_t>(level);
}

float scaleFactor(const Settings& cfg, const Stations& stn, std::size_t station) {
  auto k = static_cast<float>(1.0 / cfg.fullscale);
  if (cfg.normalizedistance != 0 && stn.stationdistance[station] > 0)
    k = k * stn.stationdistance[station] / cfg.normalizedistance;
  if (cfg.normalizepower != 0 && stn.stationpower[station] > 0)
    k = k * std::sqrt(cfg.normalizepower / stn.stationpower[station]);
  return k;
}

// The hidden strips at the end of the list are integrated at fixed time
// offsets from the station's own window, where they pick up the cross-rate
// interference rather than the station; half of each is taken off its strip.
void subtractCrossRate(const Settings& cfg, const Stations& stn, Processing& proc, int32_t& crossrateindex,
                       std::size_t station) {
  int32_t gri = stn.stationgri[station];
  bool takesPart = (gri == 6000 && stn.gri6000count == 3) || (gri == 7950 && stn.gri7950count == 9);
  if (!takesPart || crossrateindex >= 0) return;
  const auto points = static_cast<std::size_t>(cfg.displaysamples);
  for (int pass = 0; pass < 2; ++pass) {
    int32_t cancelling = stn.stationcount() + crossrateindex;
    if (cancelling >= 0 && cancelling < stn.stationcount()) {
      std::size_t own = station * points;
      std::size_t other = static_cast<std::size_t>(cancelling) * points;
      for (std::size_t i = 0; i < points; ++i) {
        proc.longsumre[own + i] = static_cast<float>(proc.longsumre[own + i] - proc.longsumre[other + i] / 2.0);
        proc.longsumim[own + i] = static_cast<float>(proc.longsumim[own + i] - proc.longsumim[other + i] / 2.0);
      }
    }
    crossrateindex = crossrateindex + 1;
  }
}

// Brightness 0 ... 1 (linear scale above 1 is clipped by the caller) from the
// normalised magnitude m.
float brightness(const Settings& cfg, float m) {
  float v = m;
  if (cfg.dbrange == 0) {
    // A zero magnitude stays black also for exponents that would make it infinite.
    if (cfg.gamma != 1 && m > 0)
      v = static_cast<float>(std::pow(static_cast<double>(v), static_cast<double>(cfg.gamma)));
    // Above three quarters each dB adds one grey step, so strong stations stay apart.
    if (v > 0.75 && cfg.fullscaleknee == 1) v = static_cast<float>(0.75 + kDecibels * std::log(v / 0.75) / 256.0);
  } else {
    if (m > 0) v = static_cast<float>(1.0 + kDecibels * std::log(m) / std::fabs(cfg.dbrange));
    if (v < 0) v = 0;
  }
  return v;
}

// One hue term, faded toward white as the brightness approaches 1, as a byte.
uint8_t colourChannel(float term, float v) {
  term = std::clamp(term, -1.0f, 1.0f);
  if (v > 0.5) term = static_cast<float>(term * (1.0 / v - 1.0));
  return pixelByte(v * kByteScale * static_cast<float>(term + 1.0));
}

} // namespace

void renderImageRow(const Settings& cfg, const Stations& stn, Processing& proc, Image& img) {
  int32_t crossrateindex = crossRateStart(stn); // cancelling strip, counted up to 0
  const int32_t points = cfg.displaysamples;
  const int32_t stations = std::clamp(stn.displayedstations, 0, stn.stationcount());
  const std::size_t bytesPerPixel = cfg.colour != 0 ? 3 : 1;
  const std::size_t rowBytes = static_cast<std::size_t>(stations) * static_cast<std::size_t>(points) * bytesPerPixel;
  if (img.rowbuffer.size() < rowBytes) img.rowbuffer.resize(rowBytes, kUndrawn);

  const bool highPass = cfg.hipass != 0 || cfg.jittercorr != 0;
  const auto taps = static_cast<int32_t>(
      std::min<int64_t>({int64_t{static_cast<int32_t>(cfg.tapre.size())}, static_cast<int64_t>(cfg.tapre.size()),
                         static_cast<int64_t>(cfg.tapim.size())}));
  const auto jc = static_cast<float>(cfg.jittercorr * 0.5 / cfg.longintegration);
  std::size_t pixel = 0; // running pixel number P
  for (int32_t station = 0; station < stations; ++station) {
    const auto st = static_cast<std::size_t>(station);
    const float k = scaleFactor(cfg, stn, st);
    // The drift of the window during the integration smears the pulse to one
    // side; weighting the neighbours unequally takes it back.
    const float a = -cfg.hipass - proc.longdrift[st] * jc;
    const float b = -cfg.hipass + proc.longdrift[st] * jc;
    subtractCrossRate(cfg, stn, proc, crossrateindex, st);
    const float* xre = proc.longsumre.data() + st * static_cast<std::size_t>(points);
    const float* xim = proc.longsumim.data() + st * static_cast<std::size_t>(points);

    for (int32_t i = 0; i < points; ++i) {
      float re = xre[i];
      float im = xim[i];
      if (highPass && 0 < i && i < points - 1) {
        re = re + a * xre[i - 1] + b * xre[i + 1];
        im = im + a * xim[i - 1] + b * xim[i + 1];
      }
      for (int32_t t = 0; t < taps; ++t) {
        int64_t n = int64_t{i} - cfg.firbegin - t;
        if (n < 0 || n >= points) continue;
        const float tre = cfg.tapre[static_cast<std::size_t>(t)];
        const float tim = cfg.tapim[static_cast<std::size_t>(t)];
        re += tre * xre[n] - tim * xim[n];
        im += tim * xre[n] + tre * xim[n];
      }
      re = re * k / static_cast<float>(cfg.longintegration);
      im = im * k / static_cast<float>(cfg.longintegration);
      const float m = std::sqrt(re * re + im * im);
      float v = brightness(cfg, m);

      if (cfg.colour == 0) {
        if (v > 1) v = 1;
        img.rowbuffer[pixel] = pixelByte(v * kByteScale);
      } else {
        if (m > 0) {
          img.cosphi = re / m;
          img.sinphi = im / m;
        }
        if (cfg.colour == 1) {
          v = static_cast<float>(v / (1.0 + v)); // soft saturation toward 1
        } else {
          v = static_cast<float>(v * 0.5);
          if (v > 0.5) v = 0.5f;
        }
        // 2 cos(phi), 2 cos(phi - 120 deg), 2 cos(phi + 120 deg)
        const auto hr = static_cast<float>(2.0 * img.cosphi);
        const float hb = kRootThree * img.sinphi - img.cosphi;
        const float hg = -kRootThree * img.sinphi - img.cosphi;
        img.rowbuffer[3 * pixel] = colourChannel(hb, v);
        img.rowbuffer[3 * pixel + 1] = colourChannel(hg, v);
        img.rowbuffer[3 * pixel + 2] = colourChannel(hr, v);
      }
      pixel = pixel + 1;
    }
  }
}

} // namespace velkor
