#include "timing/ratesearch.h"

#include "ground/loran.h"
#include "ground/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace velkor {

namespace {

// A candidate rate that is off by d (relative) moves the pulses of a fold of
// t seconds by d * t. The fold still shows them as long as that stays well
// within the pulse's 65 us rise, and, with a carrier f away from 0 Hz in the
// samples, as long as the carrier phase it costs (f * d * t cycles) stays
// within an eighth of a cycle. Candidates lie that far apart.
constexpr double kTwoPi = 6.283185307179586; // [rad] per cycle, in double precision
constexpr double kDriftTolerance = 20e-6;    // [s] of pulse movement over a fold
constexpr double kPhaseTolerance = 0.125;    // [cycles] of carrier movement over a fold
constexpr int kFirstStageSteps = 32;         // candidates on each side of the first, widest grid
// A grid holds about kFirstStageSteps candidates each side at first and six
// later; only a carrier far outside the band (an absurd bandcenter or
// oscillator) would ask for more, and a grid of ever more candidates would
// never end.
constexpr double kMostGridSteps = 4 * kFirstStageSteps;
constexpr int64_t kStretchGrowth = 4;     // each finer grid folds four times as many samples
constexpr double kRefineRange = 1.5;      // a finer grid spans +-1.5 steps of the one before
constexpr int kDriftPasses = 2;           // refinements by the edge's drift between the halves
constexpr double kMatchReach = 150e-6;    // [s] of lags tried each side: the pulse's match is that wide
constexpr double kMatchLevel = 0.9;       // the match's middle is taken between its falls to this
constexpr float kDefaultEdgeLevel = 0.4f; // edgelevel when it is given as an absolute value

// One entry folded modulo its phase-code interval.
struct EntryFold {
  std::vector<float> re; // [sample units]
  std::vector<float> im; // [sample units]
  int32_t windows = 0;   // complete phase-code intervals folded
  double residue = 0;    // mean over the windows of first sample - exact start [samples]
};

int32_t windowLength(int32_t gri, double rate) {
  return std::max<int32_t>(1, roundToInteger<int32_t>(phaseCodeInterval(gri) * rate));
}

// Cycles per sample by which the synchronisation turns entry n's samples at
// `rate`: the offset of its line from bandcenter, and, with the digital
// oscillator on, what that oscillator (run at the kept oscillatorrate) left over.
double mixingCycles(const Settings& cfg, const Stations& stn, const KeptSamples& kept, std::size_t n, double rate) {
  double cycles = 0;
  if (cfg.bandcenter != 0) cycles += stn.tailineoffset[n] / rate;
  if (kept.looffset != 0 && kept.oscillatorrate > 0) cycles += kept.looffset * (1.0 / rate - 1.0 / kept.oscillatorrate);
  return cycles;
}

// Adds run samples from `first` on, turned by the phasor (c, q).
void addTurned(const KeptSamples& kept, int64_t first, int32_t run, float c, float q, EntryFold& fold) {
  const int16_t* re = kept.re.data() + first;
  const int16_t* im = kept.im.data() + first;
  float* sumre = fold.re.data();
  float* sumim = fold.im.data();
  for (int32_t p = 0; p < run; ++p) {
    const float x = re[p];
    const float y = im[p];
    sumre[p] += c * x - q * y;
    sumim[p] += q * x + c * y;
  }
}

// Mean over the windows that begin from sample `from` to before `count` of
// (first sample - exact start) [samples], for windows of `length` samples.
double meanRounding(double length, int64_t from, int64_t count) {
  double sum = 0;
  int64_t windows = 0;
  for (int64_t m = 0;; ++m) {
    const double start = static_cast<double>(m) * length;
    const int64_t first = roundToInteger<int64_t>(start);
    if (first >= count) break;
    if (first < from) continue;
    sum += static_cast<double>(first) - start;
    windows += 1;
  }
  return windows > 0 ? sum / static_cast<double>(windows) : 0.0;
}

// Entry n folded at `rate` over samples `from` ... count - 1. Window m begins
// at the sample nearest m phase-code intervals; its samples are turned by the
// mixing phase of the window's first sample, and the turn within the window,
// the same in every window, is applied to the sums once. Only windows that
// begin at or after sample `from` are folded.
EntryFold foldEntry(const Settings& cfg, const Stations& stn, const KeptSamples& kept, std::size_t n, double rate,
                    int64_t count, int64_t from = 0) {
  const double pci = phaseCodeInterval(cfg.taientries[n].gri);
  const int32_t length = windowLength(cfg.taientries[n].gri, rate);
  EntryFold fold;
  fold.re.assign(static_cast<std::size_t>(length), 0.0f);
  fold.im.assign(static_cast<std::size_t>(length), 0.0f);
  const double cycles = mixingCycles(cfg, stn, kept, n, rate);
  for (int64_t m = 0;; ++m) {
    const double start = static_cast<double>(m) * pci * rate; // [samples]
    const int64_t first = roundToInteger<int64_t>(start);
    if (first >= count) break;
    if (first < from) continue;
    const auto run = static_cast<int32_t>(std::min<int64_t>(length, count - first));
    double turns = cycles * static_cast<double>(first);
    turns -= std::floor(turns);
    addTurned(kept, first, run, static_cast<float>(std::cos(kTwoPi * turns)),
              static_cast<float>(-std::sin(kTwoPi * turns)), fold);
    if (run == length) fold.windows += 1;
  }
  fold.residue = meanRounding(pci * rate, from, count);
  if (cycles != 0) {
    for (int32_t p = 0; p < length; ++p) {
      double turns = cycles * p;
      turns -= std::floor(turns);
      const auto c = static_cast<float>(std::cos(kTwoPi * turns));
      const auto q = static_cast<float>(-std::sin(kTwoPi * turns));
      const auto at = static_cast<std::size_t>(p);
      const float x = fold.re[at];
      const float y = fold.im[at];
      fold.re[at] = c * x - q * y;
      fold.im[at] = q * x + c * y;
    }
  }
  return fold;
}

// |correlation|^2 of entry n's fold at every lag: with the phase code of its
// own pulse group, or the magnitude alone for an amplitude-only entry ("A").
std::vector<float> correlationPower(const Settings& cfg, std::size_t n, const EntryFold& fold, double rate) {
  const auto length = static_cast<int32_t>(fold.re.size());
  std::vector<float> power(fold.re.size());
  const char letter = cfg.taientries[n].letter;
  if (letter == kAmplitudeLetter) {
    for (std::size_t j = 0; j < power.size(); ++j) power[j] = fold.re[j] * fold.re[j] + fold.im[j] * fold.im[j];
    return power;
  }
  const TaiPulsePattern pattern = pulsePattern(cfg.taientries[n].gri, rate);
  const std::size_t group = isOneOf(letter, kMasterSyncLetters) ? 0 : 1;
  const int pulses = group == 0 ? kMasterPulses : kSecondaryPulses;
  std::array<int32_t, kMasterPulses> offset{};
  for (int i = 0; i < pulses; ++i) {
    const int64_t wrapped = pattern.taipulseoffset[group][static_cast<std::size_t>(i)] % length;
    offset[static_cast<std::size_t>(i)] = static_cast<int32_t>(wrapped < 0 ? wrapped + length : wrapped);
  }
  for (int32_t j = 0; j < length; ++j) {
    float sumre = 0;
    float sumim = 0;
    for (int i = 0; i < pulses; ++i) {
      int32_t at = j + offset[static_cast<std::size_t>(i)];
      if (at >= length) at -= length;
      const float sign = pattern.taipulsesign[group][static_cast<std::size_t>(i)];
      sumre += sign * fold.re[static_cast<std::size_t>(at)];
      sumim += sign * fold.im[static_cast<std::size_t>(at)];
    }
    power[static_cast<std::size_t>(j)] = sumre * sumre + sumim * sumim;
  }
  return power;
}

// How well the reference entry folds at `rate` over the first count samples.
float candidateScore(const Settings& cfg, const Stations& stn, const KeptSamples& kept, double rate, int64_t count) {
  const std::vector<float> power = correlationPower(cfg, 0, foldEntry(cfg, stn, kept, 0, rate, count), rate);
  return std::sqrt(*std::max_element(power.begin(), power.end()));
}

// [s] by which candidates of a fold of one second may differ (relative x s).
double foldTolerance(const Settings& cfg, const KeptSamples& kept) {
  const double carrier = std::fabs(cfg.bandcenter) + std::fabs(kept.looffset); // [Hz]
  return carrier > 0 ? std::min(kDriftTolerance, kPhaseTolerance / carrier) : kDriftTolerance;
}

// The vertex of the parabola through three neighbouring scores, in steps
// from the middle one (which is the largest).
double vertexOffset(float before, float middle, float after) {
  const double curvature = static_cast<double>(before) - 2.0 * middle + after;
  if (!(curvature < 0)) return 0;
  return std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
}

int32_t wrap(int64_t index, int32_t length) {
  const int64_t wrapped = index % length;
  return static_cast<int32_t>(wrapped < 0 ? wrapped + length : wrapped);
}

// The lag [samples, fractional] at which the correlation envelope of a fold
// of the reference entry rises through edgelevel of its peak, and the peak's lag.
struct FoldEdge {
  double edge = 0;  // [samples]
  int32_t peak = 0; // [samples]
};

FoldEdge findFoldEdge(const Settings& cfg, const EntryFold& fold, double rate) {
  std::vector<float> envelope = correlationPower(cfg, 0, fold, rate);
  for (float& value : envelope) value = std::sqrt(value);
  const auto length = static_cast<int32_t>(envelope.size());
  FoldEdge found;
  found.peak = static_cast<int32_t>(std::max_element(envelope.begin(), envelope.end()) - envelope.begin());
  found.edge = found.peak;
  const float level = cfg.edgelevel > 0 && cfg.edgelevel < 1 ? cfg.edgelevel : kDefaultEdgeLevel;
  const float threshold = level * envelope[static_cast<std::size_t>(found.peak)];
  // Back from the peak to the first lag below the threshold, at most half a
  // window; the edge lies between it and the next lag.
  for (int32_t back = 1; back < length / 2; ++back) {
    const float below = envelope[static_cast<std::size_t>(wrap(int64_t{found.peak} - back, length))];
    if (below >= threshold) continue;
    const float above = envelope[static_cast<std::size_t>(wrap(int64_t{found.peak} - back + 1, length))];
    const double fraction = above > below ? (threshold - below) / (above - below) : 0.5;
    found.edge = found.peak - back + fraction;
    break;
  }
  return found;
}

// |sum over the window of second[p] * conj(first[p - lag])|^2: how well the
// second fold matches the first moved by lag samples.
double matchAtLag(const EntryFold& first, const EntryFold& second, int32_t lag) {
  const auto length = static_cast<int32_t>(first.re.size());
  double re = 0;
  double im = 0;
  for (int32_t p = 0; p < length; ++p) {
    const auto a = static_cast<std::size_t>(wrap(int64_t{p} - lag, length));
    const auto b = static_cast<std::size_t>(p);
    re += double{second.re[b]} * first.re[a] + double{second.im[b]} * first.im[a];
    im += double{second.im[b]} * first.re[a] - double{second.re[b]} * first.im[a];
  }
  return re * re + im * im;
}

// The middle between the two points where the values fall through
// kMatchLevel of their largest, interpolated between neighbours; NaN when
// they do not fall that far on both sides.
double middleOfPeak(const std::vector<double>& values) {
  const auto best = static_cast<std::size_t>(std::max_element(values.begin(), values.end()) - values.begin());
  const double level = kMatchLevel * values[best];
  double sides[2] = {std::nan(""), std::nan("")};
  for (int side = 0; side < 2; ++side) {
    const int direction = side == 0 ? -1 : 1;
    for (auto at = static_cast<std::ptrdiff_t>(best);
         at + direction >= 0 && at + direction < static_cast<std::ptrdiff_t>(values.size()); at += direction) {
      const double inner = values[static_cast<std::size_t>(at)];
      const double outer = values[static_cast<std::size_t>(at + direction)];
      if (outer >= level) continue;
      sides[side] = static_cast<double>(at) + direction * (inner - level) / (inner - outer);
      break;
    }
  }
  return 0.5 * (sides[0] + sides[1]);
}

// The rate corrected by how far the reference entry's window (its chain's
// pulses, all of them) moves between the folds of the first and the second
// half of the kept samples at `rate`: the lag of the best match between the
// two folds, between samples by a parabola through its neighbours.
double refineByDrift(const Settings& cfg, const Stations& stn, const KeptSamples& kept, double rate) {
  const auto total = static_cast<int64_t>(kept.re.size());
  const int64_t half = total / 2;
  const EntryFold first = foldEntry(cfg, stn, kept, 0, rate, half);
  const EntryFold second = foldEntry(cfg, stn, kept, 0, rate, total, half);
  const auto reach = static_cast<int32_t>(std::ceil((kMatchReach + 2 * kDriftTolerance) * rate)) + 1; // [samples]
  std::vector<double> match(static_cast<std::size_t>(2 * reach + 1));
  for (int32_t lag = -reach; lag <= reach; ++lag)
    match[static_cast<std::size_t>(lag + reach)] = std::sqrt(matchAtLag(first, second, lag));
  const double centre = middleOfPeak(match);                                                     // [samples] into match
  if (std::isnan(centre) || std::fabs(centre - reach) > 2 * kDriftTolerance * rate) return rate; // no clear match
  // Each fold shows the pulses earlier by its mean rounding of the window starts.
  const double drift = second.residue - first.residue + centre - reach; // [samples]
  const double seconds = static_cast<double>(half) / rate;              // between the halves' centres
  return rate * (1 + drift / (rate * seconds));
}

} // namespace

KeptSamples beginKeeping(const Settings& cfg, const Acquisition& acq) {
  KeptSamples kept;
  kept.samplerate = acq.clock.sr;
  kept.oscillatorrate = acq.losamplerate;
  kept.looffset = acq.looffset;
  const double expected =
      std::min<double>(kLargestKeptSamples, std::max(0.0, cfg.integrationtime) * acq.clock.sr + acq.blocklength);
  kept.re.reserve(static_cast<std::size_t>(expected));
  kept.im.reserve(static_cast<std::size_t>(expected));
  return kept;
}

void keepNewSamples(const Acquisition& acq, KeptSamples& kept) {
  const int64_t room = kLargestKeptSamples - static_cast<int64_t>(kept.re.size());
  const auto count = static_cast<std::ptrdiff_t>(std::min<int64_t>(acq.newsamples, room));
  if (count <= 0) return;
  const auto first = static_cast<std::ptrdiff_t>(acq.overlap);
  kept.re.insert(kept.re.end(), acq.samplere.begin() + first, acq.samplere.begin() + first + count);
  kept.im.insert(kept.im.end(), acq.sampleim.begin() + first, acq.sampleim.begin() + first + count);
}

double searchSampleRate(const Settings& cfg, const Stations& stn, const KeptSamples& kept) {
  const auto total = static_cast<int64_t>(kept.re.size());
  const double sr = kept.samplerate;                                              // [Hz]
  const double bound = std::min<double>(cfg.srsearch, kLargestRateSearch) * 1e-6; // relative
  if (total == 0 || cfg.taicount() <= 0 || !(bound > 0)) return sr;
  const double tolerance = foldTolerance(cfg, kept);
  // Clamped before it is rounded: a tiny bound would ask for more steps than 64 bits hold.
  double steps = kFirstStageSteps * tolerance / bound * sr; // [samples]
  if (!(steps >= 1)) steps = 1;
  int64_t count = std::llround(std::min(steps, static_cast<double>(total)));
  double centre = 0;    // relative offset of the grid's middle from sr
  double range = bound; // relative half-width of the grid
  for (;;) {
    const double step = tolerance / (static_cast<double>(count) / sr); // relative
    const int steps = roundToInteger<int>(std::min(std::ceil(range / step), kMostGridSteps));
    std::vector<float> score(static_cast<std::size_t>(2 * steps + 1));
    for (int i = -steps; i <= steps; ++i)
      score[static_cast<std::size_t>(i + steps)] = candidateScore(cfg, stn, kept, sr * (1 + centre + i * step), count);
    const auto best = static_cast<int>(std::max_element(score.begin(), score.end()) - score.begin());
    double offset = best - steps; // [steps]
    if (count == total) {
      if (best > 0 && best < 2 * steps) {
        const auto at = static_cast<std::size_t>(best);
        offset += vertexOffset(score[at - 1], score[at], score[at + 1]);
      }
      double rate = sr * (1 + centre + offset * step);
      for (int pass = 0; pass < kDriftPasses; ++pass) rate = refineByDrift(cfg, stn, kept, rate);
      return rate;
    }
    centre += offset * step;
    range = kRefineRange * step;
    count = std::min(total, count * kStretchGrowth);
  }
}

void foldKeptSamples(const Settings& cfg, const Stations& stn, const KeptSamples& kept, double rate,
                     TaiAverage& average, Timing& tim) {
  const auto count = static_cast<int64_t>(kept.re.size());
  for (std::size_t n = 0; n < average.windows.size(); ++n) {
    const EntryFold fold = foldEntry(cfg, stn, kept, n, rate, count);
    const TaiWindow& w = average.windows[n];
    const auto length = static_cast<std::size_t>(w.taiwindowend - w.taiwindowstart);
    const auto limit = static_cast<float>(std::numeric_limits<int32_t>::max() / 2);
    for (std::size_t p = 0; p < std::min(length, fold.re.size()); ++p) {
      const auto at = static_cast<std::size_t>(w.taiwindowstart) + p;
      average.taisumre[at] = static_cast<int32_t>(std::lrint(std::clamp(fold.re[p], -limit, limit)));
      average.taisumim[at] = static_cast<int32_t>(std::lrint(std::clamp(fold.im[p], -limit, limit)));
    }
    tim.taiwindows[n] = fold.windows;
  }
}

double referenceEdgeShift(const Settings& cfg, const TaiAverage& average, double rate) {
  if (average.windows.empty()) return 0;
  const TaiWindow& w = average.windows[0];
  EntryFold fold;
  fold.re.assign(average.taisumre.begin() + w.taiwindowstart, average.taisumre.begin() + w.taiwindowend);
  fold.im.assign(average.taisumim.begin() + w.taiwindowstart, average.taisumim.begin() + w.taiwindowend);
  const FoldEdge found = findFoldEdge(cfg, fold, rate);
  // The fold shows the pulses earlier by its mean rounding of the window starts.
  const int64_t count = std::min<int64_t>(average.totalsamples, kLargestKeptSamples);
  const double edgebeforepeak =
      found.peak - found.edge - meanRounding(phaseCodeInterval(cfg.taientries[0].gri) * rate, 0, count); // [samples]
  const double err = 1.0 - edgebeforepeak; // [points] of the edge after pulseoffset - 1
  return -err / rate;
}

} // namespace velkor
