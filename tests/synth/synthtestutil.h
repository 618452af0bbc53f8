// Helpers of the synthesiser's tests: scenarios from in-memory tables, the
// generated samples as complex values, sample files read back, and a matched
// filter that finds a station's pulses from first principles.
#pragma once

#include "generator.h"
#include "scenario.h"
#include "synthconfig.h"

#include <cmath>
#include <complex>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace velkor::synth::test {

using Complex = std::complex<double>;

inline TableRecord record(int32_t gri, const std::string& letter, const std::string& name, double lat, double lon,
                          float delayMicroseconds) {
  TableRecord r;
  r.gri = gri;
  r.letter = letter;
  r.name = name;
  r.lat = lat;
  r.lon = lon;
  r.delay = delayMicroseconds;
  r.power = 250;
  return r;
}

// A small western European table (positions rounded, delays as published).
inline std::vector<TableRecord> testTable() {
  return {record(7499, "M", "Sylt", 54.808, 8.294, 0), record(7499, "X", "Lessay", 49.149, -1.505, 14100),
          record(7499, "Y", "Vaerlandet", 61.297, 4.696, 29500), record(6731, "M", "Lessay", 49.149, -1.505, 0),
          record(6731, "X", "Soustons", 43.740, -1.381, 13000), record(6731, "Z", "Sylt", 54.808, 8.294, 42100),
          record(9007, "M", "Ejde", 62.300, -7.074, 0)};
}

inline SynthConfig quietConfig() {
  SynthConfig c;
  c.lat = 48.4;
  c.lon = -4.5;
  c.sr = 48000;
  c.duration = 2;
  c.amplitude = 1000;
  return c;
}

// All frames of a scenario as I + jQ before quantisation, made in uneven blocks.
inline std::vector<Complex> generateAll(const Scenario& scenario, std::size_t block = 7001) {
  Generator generator(scenario);
  std::vector<Complex> out;
  out.reserve(static_cast<std::size_t>(scenario.frames));
  std::vector<float> re(block), im(block);
  int64_t left = scenario.frames;
  while (left > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<int64_t>(left, static_cast<int64_t>(block)));
    generator.next(n, re.data(), im.data());
    for (std::size_t j = 0; j < n; ++j) out.emplace_back(re[j], im[j]);
    left -= static_cast<int64_t>(n);
  }
  return out;
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Interleaved sample values of raw bytes (8 bit: byte − 128; 16 bit: little-endian).
inline std::vector<int> decodeSamples(const std::string& bytes, int bits, std::size_t skip = 0) {
  std::vector<int> v;
  if (bits == 8) {
    for (std::size_t i = skip; i < bytes.size(); ++i) v.push_back(static_cast<unsigned char>(bytes[i]) - 128);
  } else {
    for (std::size_t i = skip; i + 1 < bytes.size(); i += 2) {
      int lo = static_cast<unsigned char>(bytes[i]);
      int hi = static_cast<unsigned char>(bytes[i + 1]);
      v.push_back(static_cast<int16_t>(static_cast<uint16_t>(lo | (hi << 8))));
    }
  }
  return v;
}

inline std::vector<Complex> toComplex(const std::vector<int>& interleaved, int channels) {
  std::vector<Complex> x;
  for (std::size_t i = 0; i + static_cast<std::size_t>(channels) - 1 < interleaved.size();
       i += static_cast<std::size_t>(channels))
    x.emplace_back(interleaved[i], channels == 2 ? interleaved[i + 1] : 0);
  return x;
}

inline double envelope(double u) {
  if (u < 0 || u > 500e-6) return 0;
  double x = u / 65e-6;
  return x * x * std::exp(2 - 2 * x);
}

// Phase-code signs of a pulse pattern, from the published codes.
inline std::vector<int> codeSigns(bool master) {
  const char* code = master ? "110010101100111110" : "1111100110101100";
  std::vector<int> s;
  for (const char* c = code; *c; ++c) s.push_back(*c == '1' ? 1 : -1);
  return s;
}

inline std::vector<double> pulseOffsets(int32_t gri, bool master) {
  std::vector<double> o;
  for (int group = 0; group < 2; ++group)
    for (int i = 0; i < (master ? 9 : 8); ++i) o.push_back(group * gri * 1e-5 + (i < 8 ? i * 1e-3 : 9e-3));
  return o;
}

// Coherent matched filter of the pulses of PCIs first … last assuming their
// first pulse starts at stream time `start` + k · pci and a constant carrier:
// c = the sum of sign · envelope · sample over every pulse sample, and
// e = the sum of envelope². c / e estimates A · e^{jφ} of a clean station;
// |c| / √e is largest where the assumed pulses lie on the real ones.
struct Correlation {
  Complex sum = 0;
  double energy = 0;
};

inline Correlation correlate(const std::vector<Complex>& x, double rate, int32_t gri, bool master, double start,
                             int first, int last) {
  const double pci = gri / 50000.0;
  const auto offsets = pulseOffsets(gri, master);
  const auto signs = codeSigns(master);
  Correlation c;
  for (int k = first; k <= last; ++k) {
    for (std::size_t i = 0; i < offsets.size(); ++i) {
      double tp = start + k * pci + offsets[i];
      auto n0 = static_cast<int64_t>(std::ceil(tp * rate));
      auto n1 = static_cast<int64_t>(std::floor((tp + 500e-6) * rate));
      for (int64_t n = std::max<int64_t>(n0, 0); n <= n1 && n < static_cast<int64_t>(x.size()); ++n) {
        double e = envelope(static_cast<double>(n) / rate - tp);
        c.sum += static_cast<double>(signs[i]) * e * x[static_cast<std::size_t>(n)];
        c.energy += e * e;
      }
    }
  }
  return c;
}

inline Complex matchedFilter(const std::vector<Complex>& x, double rate, int32_t gri, bool master, double start,
                             int first, int last) {
  Correlation c = correlate(x, rate, gri, master, start, first, last);
  return c.energy > 0 ? c.sum / c.energy : Complex(0);
}

// The start time near `guess` (± `range`) that maximises |c| / √e, by a grid
// of `step` and a finer grid around the best point.
inline double findStart(const std::vector<Complex>& x, double rate, int32_t gri, bool master, double guess,
                        double range, double step, int first, int last) {
  auto score = [&](double t) {
    Correlation c = correlate(x, rate, gri, master, t, first, last);
    return c.energy > 0 ? std::abs(c.sum) / std::sqrt(c.energy) : 0.0;
  };
  double best = guess, bestValue = -1;
  for (double t = guess - range; t <= guess + range; t += step) {
    double v = score(t);
    if (v > bestValue) bestValue = v, best = t;
  }
  double centre = best;
  for (double t = centre - step; t <= centre + step; t += step / 100) {
    double v = score(t);
    if (v > bestValue) bestValue = v, best = t;
  }
  return best;
}

inline double wrapRadians(double a) { return std::remainder(a, 2 * std::numbers::pi); }

} // namespace velkor::synth::test
