#include "processing/synthetic.h"

#include "core/startup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>

namespace velkor::test {

void fillPulsePattern(State& s, int32_t station) {
  auto st = static_cast<std::size_t>(station);
  const double gri = s.stationgri[st];
  const std::string letter(1, s.stationletter[st]);
  auto& interval = s.pulseinterval[st];
  auto& sign = s.pulsesign[st];
  interval.fill(0);
  sign.fill(0);
  const std::string codes = kPhaseCodes;
  if (std::string("OPQRSTUVWXYZ").find(letter) != std::string::npos) {
    s.pulsecount[st] = 16;
    for (int k = 0; k < 16; ++k) {
      interval[static_cast<std::size_t>(k)] = (k == 7 || k == 15) ? (gri - 700) * 1e-5 : 0.001;
      sign[static_cast<std::size_t>(k)] = codes[static_cast<std::size_t>(18 + k)] == '1' ? 1 : -1;
    }
  } else if (std::string("KLMN").find(letter) != std::string::npos) {
    s.pulsecount[st] = 18;
    for (int k = 0; k < 18; ++k) {
      double step = 0.001;
      if (k == 7 || k == 16) step = 0.002;
      if (k == 8 || k == 17) step = (gri - 900) * 1e-5;
      interval[static_cast<std::size_t>(k)] = step;
      sign[static_cast<std::size_t>(k)] = codes[static_cast<std::size_t>(k)] == '1' ? 1 : -1;
    }
  } else {
    int32_t count = letter == "B" ? 2 : 1;
    s.pulsecount[st] = count;
    for (int k = 0; k < count; ++k) {
      interval[static_cast<std::size_t>(k)] = 2e-5 * gri / count;
      sign[static_cast<std::size_t>(k)] = k % 2 == 0 ? 1 : -1;
    }
  }
}

State stationState(const std::vector<TestStation>& stations, double sr, int32_t blocklength,
                   int32_t displaysamples) {
  State s;
  s.sr = sr;
  s.nominalsr = sr;
  s.wavinput = 1;
  s.displaysamples = displaysamples;
  s.overlap = (displaysamples / 256 + 1) * 256;
  s.blocklength = blocklength;
  s.buffersize = s.overlap + blocklength;
  s.stationcount = static_cast<int32_t>(stations.size());
  s.displayedstations = s.stationcount;
  s.propagationspeed = 297145696.0f;
  dimensionArrays(s);
  for (const TestStation& station : stations) {
    s.stationgri.push_back(station.gri);
    s.stationletter.push_back(station.letter);
    s.stationblanked.push_back(station.blanked);
    s.stationdelay.push_back(station.delay);
    s.stationdistance.push_back(0);
    s.stationchaindelay.push_back(0);
    s.stationname.emplace_back();
    s.stationpower.push_back(0);
  }
  for (int32_t i = 0; i < s.stationcount; ++i) {
    fillPulsePattern(s, i);
    s.blankingweight[static_cast<std::size_t>(i)] = 1.0f;
  }
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t i = 0; i < s.stationcount; ++i)
      if ((s.stationblanked[static_cast<std::size_t>(i)] != 0) == (pass == 0)) s.stationorder.push_back(i);
  s.firstblankedsample = std::max<int16_t>(s.firstblankedsample, 0);
  s.lastblankedsample = std::min<int16_t>(s.lastblankedsample, static_cast<int16_t>(displaysamples - 1));
  s.blanklength = static_cast<int16_t>(s.lastblankedsample - s.firstblankedsample + 1);
  s.blockstart = -s.overlap / s.sr;
  s.blockend = 0;
  return s;
}

// ---- Synthetic signal ------------------------------------------------------

namespace {

// Published Loran-C phase codes, GRI A then GRI B.
constexpr int kMasterCode[2][9] = {{+1, +1, -1, -1, +1, -1, +1, -1, +1}, {+1, -1, -1, +1, +1, +1, +1, +1, -1}};
constexpr int kSecondaryCode[2][8] = {{+1, +1, +1, +1, +1, -1, -1, +1}, {+1, -1, +1, -1, +1, +1, -1, -1}};
constexpr double kMasterOffsets[9] = {0, 0.001, 0.002, 0.003, 0.004, 0.005, 0.006, 0.007, 0.009}; // [s]

int16_t saturate(double value) {
  double rounded = std::nearbyint(value);
  return static_cast<int16_t>(std::clamp(rounded, -32768.0, 32767.0));
}

} // namespace

std::complex<double> loranEnvelope(double seconds) {
  if (seconds <= 0) return 0;
  double x = seconds / 65e-6;
  return x * x * std::exp(2 - 2 * x);
}

namespace {

void transmitterPulses(const Transmitter& tx, double from, double to, std::vector<SyntheticSignal::Pulse>& out) {
  double gri = tx.gri * 1e-5; // [s]
  double pci = 2 * gri;       // [s]
  int count = tx.master ? 9 : 8;
  auto first = static_cast<int64_t>(std::floor((from - tx.arrival - pci) / pci));
  auto last = static_cast<int64_t>(std::ceil((to - tx.arrival) / pci));
  for (int64_t n = first; n <= last; ++n) {
    for (int half = 0; half < 2; ++half) {
      for (int p = 0; p < count; ++p) {
        double offset = tx.master ? kMasterOffsets[p] : 0.001 * p;
        double time = tx.arrival + static_cast<double>(n) * pci + half * gri + offset;
        int sign = tx.master ? kMasterCode[half][p] : kSecondaryCode[half][p];
        if (time >= from && time < to) out.push_back({time, sign});
      }
    }
  }
}

} // namespace

std::vector<SyntheticSignal::Pulse> SyntheticSignal::pulses(double from, double to) const {
  std::vector<Pulse> out;
  for (const Transmitter& tx : transmitters) transmitterPulses(tx, from, to, out);
  return out;
}

void SyntheticSignal::render(int64_t first, int32_t count, int16_t* re, int16_t* im) {
  auto n = static_cast<std::size_t>(count);
  accre_.assign(n, 0.0);
  accim_.assign(n, 0.0);
  double from = static_cast<double>(first) / rate;                  // [s]
  double to = static_cast<double>(first + count) / rate;            // [s]
  for (const Transmitter& tx : transmitters) {
    std::complex<double> carrier = std::polar(tx.amplitude, tx.phase);
    pulses_.clear();
    transmitterPulses(tx, from - shapestart - shapelength, to - shapestart, pulses_);
    for (const Pulse& pulse : pulses_) {
      double begin = (pulse.time + shapestart) * rate; // [samples]
      auto lo = static_cast<int64_t>(std::ceil(begin - 1e-6));
      auto hi = static_cast<int64_t>(std::ceil(begin + shapelength * rate - 1e-6));
      for (int64_t i = std::max(lo, first); i < std::min(hi, first + count); ++i) {
        std::complex<double> v = carrier * static_cast<double>(pulse.sign) *
                                 shape(static_cast<double>(i) / rate - pulse.time);
        auto k = static_cast<std::size_t>(i - first);
        accre_[k] += v.real();
        accim_[k] += v.imag();
      }
    }
  }
  if (noise > 0) {
    // A fresh generator per block keeps the noise a function of the sample index.
    std::mt19937_64 engine(seed ^ static_cast<uint64_t>(first) * 0x9E3779B97F4A7C15ull);
    std::normal_distribution<double> gauss(0.0, noise);
    for (std::size_t k = 0; k < n; ++k) {
      accre_[k] += gauss(engine);
      accim_[k] += gauss(engine);
    }
  }
  for (std::size_t k = 0; k < n; ++k) {
    re[k] = saturate(accre_[k]);
    im[k] = saturate(accim_[k]);
  }
}

void SyntheticReader::start(State& s) const { s.inputremaining = total_ * 4; }

void SyntheticReader::operator()(State& s, Platform&) {
  const auto overlap = static_cast<std::size_t>(s.overlap);
  if (s.newsamples > 0) {
    auto retired = static_cast<std::size_t>(s.newsamples);
    int32_t sumre = 0; // [sample units]
    int32_t sumim = 0; // [sample units]
    float threshold = 0;
    if (s.nb != 0) {
      float power = 0;
      for (std::size_t i = 0; i < retired; ++i) power += s.samplepower[i];
      threshold = static_cast<float>(s.nbfac * power / s.newsamples);
    }
    for (std::size_t i = 0; i < retired; ++i) {
      if (s.nb != 0 && !(s.samplepower[i] < threshold)) continue;
      sumre += s.samplere[i];
      sumim += s.sampleim[i];
    }
    s.dcsumre += static_cast<float>(sumre);
    s.dcsumim += static_cast<float>(sumim);
    s.dccount += static_cast<float>(s.newsamples);
    std::memmove(s.samplere.data(), s.samplere.data() + retired, overlap * sizeof(int16_t));
    std::memmove(s.sampleim.data(), s.sampleim.data() + retired, overlap * sizeof(int16_t));
    if (s.nb != 0) std::memmove(s.samplepower.data(), s.samplepower.data() + retired, overlap * sizeof(float));
  }
  auto count = static_cast<int32_t>(std::min<int64_t>(s.blocklength, total_ - produced_));
  signal_.render(produced_, count, s.samplere.data() + overlap, s.sampleim.data() + overlap);
  produced_ += count;
  s.inputremaining = (total_ - produced_) * 4;
  s.newsamples = count;
  if (s.nb != 0) {
    for (std::size_t i = overlap; i < overlap + static_cast<std::size_t>(count); ++i) {
      float re = s.samplere[i];
      float im = s.sampleim[i];
      s.samplepower[i] = re * re + im * im;
    }
  }
  s.blockstart = s.blockend - s.overlap / s.sr;
  s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
}

} // namespace velkor::test
