#include "timing/sync.h"

#include "core/cycle.h"
#include "core/format.h"
#include "core/notice.h"
#include "core/numbers.h"
#include "timing/ratesearch.h"
#include "timing/syncsteps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <string_view>

namespace velkor {

namespace {

// The folded sums may run past 32 bits only with absurd averaging times;
// they then wrap around instead of being undefined.
inline int32_t wrappingAdd(int32_t sum, int32_t value) {
  return static_cast<int32_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(value));
}

// Seconds of one phase-code interval (two GRIs of gri x 10 us).
inline double phaseCodeInterval(int32_t gri) { return gri / 50000.0; }

int32_t wrapIndex(int64_t index, int32_t length) {
  int64_t wrapped = index % length;
  return static_cast<int32_t>(wrapped < 0 ? wrapped + length : wrapped);
}

// Adds samples first ... first + count - 1 of the buffer unchanged.
void addPlain(const State& s, TaiAverage& a, int32_t first, int32_t position, int32_t count) {
  const int16_t* re = s.samplere.data() + first;
  const int16_t* im = s.sampleim.data() + first;
  int32_t* sumre = a.taisumre.data() + position;
  int32_t* sumim = a.taisumim.data() + position;
  for (int32_t i = 0; i < count; ++i) {
    sumre[i] = wrappingAdd(sumre[i], re[i]);
    sumim[i] = wrappingAdd(sumim[i], im[i]);
  }
}

// Adds samples multiplied by exp(-j theta), theta advancing by delta per sample
// added; returns the phase reached [rad].
float addMixed(const State& s, TaiAverage& a, int32_t first, int32_t position, int32_t count, float theta,
               float delta) {
  const int16_t* re = s.samplere.data() + first;
  const int16_t* im = s.sampleim.data() + first;
  int32_t* sumre = a.taisumre.data() + position;
  int32_t* sumim = a.taisumim.data() + position;
  for (int32_t i = 0; i < count; ++i) {
    float c = std::cos(theta);
    float q = std::sin(theta);
    float x = re[i];
    float y = im[i];
    float mixedre = x * c + y * q;
    float mixedim = y * c - x * q;
    sumre[i] = wrappingAdd(sumre[i], static_cast<int32_t>(std::lrint(mixedre)));
    sumim[i] = wrappingAdd(sumim[i], static_cast<int32_t>(std::lrint(mixedim)));
    theta += delta;
    if (theta > kPiSingle) theta = static_cast<float>(theta - 2.0 * kPiSingle);
  }
  return theta;
}

void averageEntry(State& s, TaiAverage& a, int n) {
  TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const bool mixing = s.bandcenter != 0;
  const int32_t last = s.newsamples + s.overlap - 1;
  const double pci = phaseCodeInterval(s.taigri[static_cast<std::size_t>(n)]);
  int32_t p = w.taiwritepos;
  int32_t k = w.taicarry;
  float theta = 0; // mixer phase [rad]
  float delta = 0; // its step per sample [rad]
  if (mixing) {
    double offset = s.tailineoffset[static_cast<std::size_t>(n)];
    double t = (w.taicarry + a.totalsamples - s.overlap) / s.sr;
    double cycles = t * offset;
    theta = static_cast<float>(2.0 * kPiSingle * (cycles - std::floor(cycles)));
    delta = static_cast<float>(2.0 * kPiSingle * offset / s.sr);
  }
  while (k <= last) {
    // Runs of samples up to the window's end or the buffer's end, whichever comes first.
    int32_t run = std::min(w.taiwindowend - p, last - k + 1);
    if (mixing) {
      theta = addMixed(s, a, k, p, run, theta, delta);
    } else {
      addPlain(s, a, k, p, run);
    }
    k += run;
    p += run;
    if (p == w.taiwindowend) {
      // The next window starts at the sample nearest its nominal start,
      // counted from the sample just added; this keeps the fold on the
      // interval although the interval is no whole number of samples.
      int32_t added = k - 1;
      w.tainominal += pci;
      double late = w.tainominal - (s.blockstart + (added + s.overlap) / s.sr);
      k = added + static_cast<int32_t>(std::lrint(late * s.sr)) + 1;
      p = w.taiwindowstart;
      s.taiwindows[static_cast<std::size_t>(n)] += 1;
    }
  }
  w.taicarry = k - s.newsamples;
  w.taiwritepos = p;
}

void printPeak(Platform& platform, const char* label, int32_t gri, float amplitude, float time) {
  // The position is shown in ms, held in single precision like the position itself.
  float milliseconds = static_cast<float>(time * 1000.0);
  platform.console.write(std::string(label) + formatInteger(gri) + "max" + formatSingle(amplitude) + "at" +
                         formatSingle(milliseconds) + "ms");
  platform.console.lineEnd();
}

void findAmplitudePeak(State& s, Platform& platform, int n, const TaiAverage& a) {
  const TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const int32_t length = w.taiwindowend - w.taiwindowstart;
  float best = 0;  // largest squared magnitude [sample units^2]
  int32_t at = 0;  // [samples] into the window
  for (int32_t i = 0; i < length; ++i) {
    float re = static_cast<float>(a.taisumre[static_cast<std::size_t>(w.taiwindowstart + i)]);
    float im = static_cast<float>(a.taisumim[static_cast<std::size_t>(w.taiwindowstart + i)]);
    float power = re * re + im * im;
    if (power > best) {
      best = power;
      at = i;
    }
  }
  auto slot = static_cast<std::size_t>(n);
  s.taicandamp[slot][0] = best > 0 ? std::sqrt(best) / static_cast<float>(s.taiwindows[slot]) : 0.0f;
  s.taicandtime[slot][0] = static_cast<float>(at / s.sr);
  if (s.syncverbose) printPeak(platform, "", s.taigri[slot], s.taicandamp[slot][0], s.taicandtime[slot][0]);
}

void blank(std::vector<float>& mastercorr, std::vector<float>& secondarycorr, int64_t first, int32_t count,
           int32_t length) {
  for (int32_t i = 0; i < count; ++i) {
    auto at = static_cast<std::size_t>(wrapIndex(first + i, length));
    mastercorr[at] = 0;
    secondarycorr[at] = 0;
  }
}

void findCodedPeaks(State& s, Platform& platform, int n, const TaiAverage& a, std::vector<float>& mastercorr,
                    std::vector<float>& secondarycorr) {
  const auto entry = static_cast<std::size_t>(n);
  const TaiWindow& w = a.windows[entry];
  const int32_t length = w.taiwindowend - w.taiwindowstart;
  correlateWindow(a, n, pulsePattern(s.taigri[entry], s.sr), mastercorr, secondarycorr);
  s.taicandamp[entry].fill(0.0f);
  int32_t mastersfound = 0;
  int32_t secondariesfound = 0;
  const int32_t halfwidth = static_cast<int32_t>(std::lrint(0.009 * s.sr)); // [samples] blanked each side
  for (int pass = 0; pass < 4; ++pass) {
    float best = 0;      // [sample units^2]
    int32_t lag = 0;     // [samples]
    bool master = false;
    bool found = false;
    for (int32_t j = 0; j < length; ++j) {
      auto at = static_cast<std::size_t>(j);
      if (mastercorr[at] > best) {
        best = mastercorr[at];
        lag = j;
        master = true;
        found = true;
      }
      if (secondarycorr[at] > best) {
        best = secondarycorr[at];
        lag = j;
        master = false;
        found = true;
      }
    }
    // Nothing positive left: the pass counts as amplitude 0 at lag 0, as the
    // master while none has been found, else as the next secondary.
    if (!found) master = mastersfound == 0;
    int slot = -1;
    if (master) {
      if (mastersfound == 0) slot = 0;
      mastersfound += 1;
    } else {
      secondariesfound += 1;
      slot = secondariesfound;
    }
    float amplitude = found ? std::sqrt(best) / static_cast<float>(s.taiwindows[entry]) : 0.0f;
    float time = static_cast<float>(lag / s.sr);
    if (slot >= 0 && slot < kCandidateSlots) {
      s.taicandamp[entry][static_cast<std::size_t>(slot)] = amplitude;
      s.taicandtime[entry][static_cast<std::size_t>(slot)] = time;
    }
    // The station's own side lobes, here and one GRI later, must not come back as peaks.
    const int32_t span = 2 * halfwidth + 1;
    blank(mastercorr, secondarycorr, int64_t{lag} - halfwidth, span, length);
    blank(mastercorr, secondarycorr, std::lrint(lag + length / 2.0 - halfwidth), span, length);
    if (s.syncverbose) printPeak(platform, master ? "M" : "S", s.taigri[entry], amplitude, time);
  }
}

void announce(const State& s, Platform& platform) {
  platform.console.endCurrentLine();
  auto seconds = static_cast<long long>(std::floor(s.integrationtime + 0.5));
  platform.console.write("sync: averaging for" + formatInteger(seconds) + "sec ");
  platform.console.returnToColumnOne();
}

// The day is kept; the time of day becomes the PC clock's time of the first
// averaged sample plus 0.05 s. Only raw input has a PC clock to go by.
void rebaseClock(State& s, const TaiAverage& a) {
  s.clocktime = s.clocktime - std::fmod(s.clocktime, 86400.0) + (s.pcbuffertime - a.totalsamples / s.sr) + 0.05;
}

void printResult(State& s, Platform& platform, const TaiAmbiguity& result) {
  platform.console.returnToColumnOne();
  platform.console.write(result.match ? "TAI match" : "TAI guess");
  platform.console.write(
      formatTemplate(" at ####.## s offset, rel. error ##.## rms, ", {s.syncoffset, std::sqrt(result.besterror)}));
  platform.console.write(" ");
  platform.console.write(universalTime(s, s.timeorigin));
  platform.console.write(" UT");
  platform.console.lineEnd();
}

// With srsearch: the rate is measured from the kept samples, the stream is
// restamped at it and every entry folded again at it.
void acquireSampleRate(State& s, const KeptSamples& kept, TaiAverage& average) {
  const double rate = searchSampleRate(s, kept);
  const int32_t total = average.totalsamples;
  restampStream(s, rate, total);
  average = beginAverage(s);
  average.totalsamples = total;
  foldKeptSamples(s, kept, average);
}

void reportSampleRate(const State& s, Platform& platform) {
  char text[128];
  std::snprintf(text, sizeof text, "sample rate %.4f Hz from the signal (%+.2f ppm from sr = %.10g Hz)", s.sr,
                (s.sr / s.nominalsr - 1.0) * 1e6, s.nominalsr);
  printNotice(platform, text);
}

} // namespace

TaiAverage beginAverage(const State& s) {
  TaiAverage a;
  a.windows.resize(static_cast<std::size_t>(s.taicount));
  int32_t start = 0;
  for (std::size_t n = 0; n < a.windows.size(); ++n) {
    TaiWindow& w = a.windows[n];
    w.taiwindowstart = start;
    w.taiwindowend = static_cast<int32_t>(std::lrint(start + s.taigri[n] / 50000.0 * s.sr));
    // A window must hold a sample, else the fold would never complete one.
    w.taiwindowend = std::max(w.taiwindowend, start + 1);
    w.taiwritepos = start;
    w.taicarry = s.overlap;
    w.tainominal = s.overlap / s.sr;
    start = w.taiwindowend;
  }
  a.taisumre.assign(static_cast<std::size_t>(start), 0);
  a.taisumim.assign(static_cast<std::size_t>(start), 0);
  return a;
}

void averageBlock(State& s, TaiAverage& a) {
  for (int n = 0; n < s.taicount; ++n) averageEntry(s, a, n);
  a.totalsamples += s.newsamples;
}

TaiPulsePattern pulsePattern(int32_t gri, double sr) {
  TaiPulsePattern pattern;
  const double gritime = gri / 100000.0; // one GRI [s]
  auto place = [&](int group, int index, double seconds, int code) {
    pattern.taipulseoffset[static_cast<std::size_t>(group)][static_cast<std::size_t>(index)] =
        static_cast<int32_t>(std::lrint(seconds * sr));
    pattern.taipulsesign[static_cast<std::size_t>(group)][static_cast<std::size_t>(index)] =
        phaseCodeSign(code);
  };
  for (int i = 0; i <= 7; ++i) place(0, i, 0.001 * i, i);
  place(0, 8, 0.009, 8);
  for (int i = 9; i <= 16; ++i) place(0, i, gritime + 0.001 * (i - 9), i);
  place(0, 17, gritime + 0.009, 17);
  for (int i = 0; i <= 7; ++i) place(1, i, 0.001 * i, 18 + i);
  for (int i = 8; i <= 15; ++i) place(1, i, gritime + 0.001 * (i - 8), 18 + i);
  return pattern;
}

void correlateWindow(const TaiAverage& a, int n, const TaiPulsePattern& pattern, std::vector<float>& mastercorr,
                     std::vector<float>& secondarycorr) {
  const TaiWindow& w = a.windows[static_cast<std::size_t>(n)];
  const int32_t length = w.taiwindowend - w.taiwindowstart;
  const int32_t* re = a.taisumre.data() + w.taiwindowstart;
  const int32_t* im = a.taisumim.data() + w.taiwindowstart;
  // Offsets reduced into the window once, so that one subtraction wraps a lag.
  std::array<std::array<int32_t, kMasterPulses>, 2> offset{};
  for (std::size_t g = 0; g < 2; ++g)
    for (std::size_t i = 0; i < kMasterPulses; ++i) offset[g][i] = wrapIndex(pattern.taipulseoffset[g][i], length);
  auto correlate = [&](std::size_t group, int pulses, int32_t lag) {
    float sumre = 0; // [sample units]
    float sumim = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(pulses); ++i) {
      int32_t at = lag + offset[group][i];
      if (at >= length) at -= length;
      float sign = pattern.taipulsesign[group][i];
      sumre += sign * static_cast<float>(re[at]);
      sumim += sign * static_cast<float>(im[at]);
    }
    return sumre * sumre + sumim * sumim;
  };
  for (int32_t j = 0; j < length; ++j) {
    mastercorr[static_cast<std::size_t>(j)] = static_cast<float>(correlate(0, kMasterPulses, j) / 324.0);
    secondarycorr[static_cast<std::size_t>(j)] = static_cast<float>(correlate(1, kSecondaryPulses, j) / 256.0);
  }
}

void findPeaks(State& s, Platform& platform, int n, const TaiAverage& a, std::vector<float>& mastercorr,
               std::vector<float>& secondarycorr) {
  if (s.tailetter[static_cast<std::size_t>(n)] == 'A') {
    findAmplitudePeak(s, platform, n, a);
  } else {
    findCodedPeaks(s, platform, n, a, mastercorr, secondarycorr);
  }
}

void measurePositions(State& s) {
  for (std::size_t n = 0; n < static_cast<std::size_t>(s.taicount); ++n) {
    const double pci = phaseCodeInterval(s.taigri[n]);
    // Emission delay plus propagation: where the pulses stand after each interval's start [s].
    float taiarrival = static_cast<float>(s.taidelay[n] / 1000.0 + 1000.0 * s.taidistance[n] / s.propagationspeed);
    double x = (taiarrival - s.clocktime) / pci;
    s.taiexpected[n] = static_cast<float>((x - std::floor(x)) * pci);
    bool master = std::string_view("AKLMN").find(s.tailetter[n]) != std::string_view::npos;
    s.taimeasured[n] = master ? s.taicandtime[n][0] : s.taicandtime[n][1];
  }
}

TaiAmbiguity resolveAmbiguity(State& s) {
  TaiAmbiguity result;
  const double reference = phaseCodeInterval(s.taigri[0]);
  float e = s.taiexpected[0] - s.taimeasured[0]; // [s], formed from single positions
  if (e > reference / 2) e = static_cast<float>(e - reference);
  if (e < -reference / 2) e = static_cast<float>(e + reference);
  result.referenceerror = e;
  const long shifts = std::lrint(s.searchrange / reference);
  double besterror = 1000000.0;
  long bestshift = 0;
  bool done = false;
  for (long m = 0; m <= shifts && !done; ++m) {
    for (long shift : {-m, m}) {
      double trial = shift * reference + e;
      double error = 0;
      for (std::size_t n = 1; n < static_cast<std::size_t>(s.taicount); ++n) {
        double pci = phaseCodeInterval(s.taigri[n]);
        double y = (s.taiexpected[n] - s.taimeasured[n] - trial) / pci;
        double d = (y - std::floor(y + 0.5)) * pci;
        double weighted = d * s.taivalue[n];
        error += weighted * weighted;
      }
      if (error < besterror) {
        besterror = error;
        bestshift = shift;
      }
      if (error < 1.0) {
        done = true;
        break;
      }
    }
  }
  result.besterror = besterror;
  result.match = besterror < 1.0;
  result.shift = static_cast<int32_t>(bestshift);
  s.syncoffset = result.match ? bestshift * reference + e : e;
  return result;
}

std::string universalTime(const State& s, double internaltime) {
  double u = (internaltime - 22.0 - s.leapseconds - s.clockoffset) / 86400.0;
  double hours = (u - std::floor(u)) * 24.0;
  double minutes = (hours - std::floor(hours)) * 60.0;
  float seconds = static_cast<float>((minutes - std::floor(minutes)) * 60.0);
  long milliseconds = std::lrint(seconds * 1000.0);
  auto hour = static_cast<int>(std::floor(hours));
  auto minute = static_cast<int>(std::floor(minutes));
  // Seconds that round up to a whole minute carry on, so no ":60.000" is shown.
  if (milliseconds >= 60000) {
    milliseconds -= 60000;
    if (++minute == 60) {
      minute = 0;
      if (++hour == 24) hour = 0;
    }
  }
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02ld.%03ld", hour, minute, milliseconds / 1000, milliseconds % 1000);
  return text;
}

void synchronise(State& s, Platform& platform, const BlockReader& readBlock) {
  if (s.integrationtime == 0) return;
  if (s.taicount <= 0) {
    // Said once: every re-synchronisation would repeat it.
    if (!s.taiskipwarned)
      platform.errors << "velkor: warning: integrationtime is set but [taisync] names no station;"
                         " the TAI synchronisation is skipped\n";
    s.taiskipwarned = 1;
    return;
  }
  const bool searching = s.srsearch > 0;
  TaiAverage average = beginAverage(s);
  KeptSamples kept;
  if (searching) kept = beginKeeping(s);
  announce(s, platform);
  std::fill(s.taiwindows.begin(), s.taiwindows.end(), 0);

  while (s.blockend < s.integrationtime) {
    if (s.inputremaining <= 0) endOfInput(s, platform);
    readBlock(s, platform);
    if (searching) {
      keepNewSamples(s, kept);
      average.totalsamples += s.newsamples;
    } else {
      averageBlock(s, average);
    }
  }
  if (searching) acquireSampleRate(s, kept, average);

  int32_t longest = 0; // [samples] of the longest phase-coded window
  for (std::size_t n = 0; n < average.windows.size(); ++n)
    if (s.tailetter[n] != 'A')
      longest = std::max(longest, average.windows[n].taiwindowend - average.windows[n].taiwindowstart);
  std::vector<float> mastercorr(static_cast<std::size_t>(longest));
  std::vector<float> secondarycorr(static_cast<std::size_t>(longest));
  for (int n = 0; n < s.taicount; ++n) findPeaks(s, platform, n, average, mastercorr, secondarycorr);

  if (!s.wavinput) rebaseClock(s, average);
  measurePositions(s);
  TaiAmbiguity result = resolveAmbiguity(s);
  s.timeorigin = s.syncoffset + s.clocktime;
  printResult(s, platform, result);
  if (searching) {
    reportSampleRate(s, platform);
    placeReferenceEdge(s, edgeBeforePeak(s, average));
  }
}

} // namespace velkor
