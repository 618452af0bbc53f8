#include "timing/lorantestsignal.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace velkor::test {

const int kMasterCodeA[9] = {+1, +1, -1, -1, +1, -1, +1, -1, +1};
const int kMasterCodeB[9] = {+1, -1, -1, +1, +1, +1, +1, +1, -1};
const int kSecondaryCodeA[8] = {+1, +1, +1, +1, +1, -1, -1, +1};
const int kSecondaryCodeB[8] = {+1, -1, +1, -1, +1, +1, -1, -1};

namespace {

constexpr double kRise = 65e-6;        // envelope peak after the pulse start [s]
constexpr double kPulseLength = 6e-4;  // beyond this the envelope is below 1e-5 [s]
constexpr double kTwoPi = 6.283185307179586;

struct Pulse {
  double offset; // [s] after the group's interval start
  int sign;
};

std::vector<Pulse> pulsesOf(const LoranTransmitter& tx) {
  const double gri = tx.gri * 1e-5;
  std::vector<Pulse> pulses;
  if (tx.master) {
    for (int i = 0; i < 9; ++i) pulses.push_back({(i < 8 ? i : 9) * 1e-3, kMasterCodeA[i]});
    for (int i = 0; i < 9; ++i) pulses.push_back({gri + (i < 8 ? i : 9) * 1e-3, kMasterCodeB[i]});
  } else {
    for (int i = 0; i < 8; ++i) pulses.push_back({i * 1e-3, kSecondaryCodeA[i]});
    for (int i = 0; i < 8; ++i) pulses.push_back({gri + i * 1e-3, kSecondaryCodeB[i]});
  }
  return pulses;
}

} // namespace

double pulseEnvelope(double seconds) {
  if (seconds <= 0) return 0;
  double x = seconds / kRise;
  return x * x * std::exp(2 - 2 * x);
}

double firstGroupStart(const LoranTransmitter& tx, int64_t startns) {
  // Whole nanoseconds keep the grid exact although the epoch is 1.8e9 s away.
  const int64_t pci = int64_t{tx.gri} * 20000;
  const auto arrival = static_cast<int64_t>(std::llround(tx.arrival * 1e9));
  int64_t offset = (arrival - startns) % pci;
  if (offset < 0) offset += pci;
  return static_cast<double>(offset) * 1e-9;
}

LoranRecording synthesiseLoran(const std::vector<LoranTransmitter>& transmitters, double sr, double seconds,
                               int64_t startns, double carrier, double noise, uint32_t seed) {
  LoranRecording rec;
  rec.sr = sr;
  rec.startns = startns;
  const auto count = static_cast<std::size_t>(std::llround(seconds * sr));
  std::vector<double> re(count, 0.0), im(count, 0.0);
  for (const LoranTransmitter& tx : transmitters) {
    const double pci = tx.gri * 2e-5;
    const std::vector<Pulse> pulses = pulsesOf(tx);
    // Start one interval early so that pulses running into the start are whole.
    for (double group = firstGroupStart(tx, startns) - pci; group < seconds; group += pci) {
      for (const Pulse& pulse : pulses) {
        const double begin = group + pulse.offset;
        auto first = static_cast<int64_t>(std::ceil(begin * sr));
        auto last = static_cast<int64_t>(std::floor((begin + kPulseLength) * sr));
        for (int64_t i = std::max<int64_t>(first, 0); i <= last && i < static_cast<int64_t>(count); ++i) {
          const double t = static_cast<double>(i) / sr;
          const double a = tx.amplitude * pulse.sign * pulseEnvelope(t - begin);
          const double phi = tx.phase + kTwoPi * carrier * t;
          re[static_cast<std::size_t>(i)] += a * std::cos(phi);
          im[static_cast<std::size_t>(i)] += a * std::sin(phi);
        }
      }
    }
  }
  // Box-Muller on the raw generator output, so the noise is the same everywhere.
  std::mt19937 engine(seed);
  auto uniform = [&] { return (static_cast<double>(engine()) + 0.5) / 4294967296.0; };
  auto clamp16 = [](double v) { return static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L)); };
  rec.re.resize(count);
  rec.im.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    double r = noise * std::sqrt(-2 * std::log(uniform()));
    double angle = kTwoPi * uniform();
    rec.re[i] = clamp16(re[i] + r * std::cos(angle));
    rec.im[i] = clamp16(im[i] + r * std::sin(angle));
  }
  return rec;
}

void RecordingReader::open(State& s) const {
  s.inputremaining = static_cast<int64_t>(recording_.re.size()) * 4;
}

BlockReader RecordingReader::reader() {
  return [this](State& s, Platform&) { read(s); };
}

void RecordingReader::read(State& s) {
  ++reads;
  // Retire the previous block: its last `overlap` samples move to the front.
  if (s.newsamples > 0) {
    std::copy_n(s.samplere.begin() + s.newsamples, s.overlap, s.samplere.begin());
    std::copy_n(s.sampleim.begin() + s.newsamples, s.overlap, s.sampleim.begin());
  }
  const auto total = static_cast<int64_t>(recording_.re.size());
  const auto n = static_cast<int32_t>(std::min<int64_t>(blocklength_, total - consumed));
  for (int32_t i = 0; i < n; ++i) {
    s.samplere[static_cast<std::size_t>(s.overlap + i)] = recording_.re[static_cast<std::size_t>(consumed + i)];
    s.sampleim[static_cast<std::size_t>(s.overlap + i)] = recording_.im[static_cast<std::size_t>(consumed + i)];
  }
  consumed += n;
  s.newsamples = n;
  s.inputremaining = (total - consumed) * 4;
  s.blockstart = s.blockend - s.overlap / s.sr;
  s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
  // The true time of day of the buffer's end, as a PC clock off by pcerror would give it.
  double end = recording_.startSeconds() + static_cast<double>(consumed) / recording_.sr + pcerror;
  s.pcbuffertime = static_cast<float>(end - std::floor(end / 86400.0) * 86400.0);
}

} // namespace velkor::test
