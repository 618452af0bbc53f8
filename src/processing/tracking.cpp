#include "processing/tracking.h"

#include "core/format.h"
#include "core/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace velkor {

namespace {

// The argument handed to the oscillator command: the value in the receiver's
// double-precision print form, cut to ten characters.
std::string commandArgument(double value) {
  return formatDouble(value).substr(0, 10);
}

// Steers the external oscillator; runs only while locked.
void runOscillatorCommand(State& s, Platform& platform) {
  s.pllavgfreq = static_cast<float>(s.pllaveragef * s.relfreq + (1.0 - s.pllaveragef) * s.pllavgfreq);
  s.pllvalue = s.pllcenter - s.lotime * s.pllfactort - (s.relfreq - s.pllavgfreq) * s.pllfactorf;
  s.srloavg = static_cast<float>(s.srlodrift * s.srloavfac / s.shortintegration / 1000000.0 +
                                 (1.0 - s.srloavfac) * s.srloavg);
  if (s.ffactor != 0) s.pllvalue += (s.pllavgfreq - s.srloavg) * s.ffactor;
  if (s.plldither != 0) s.pllvalue += (2.0 * platform.random.uniform() - 1.0) * s.plldither;
  if (s.pllvalue > s.pllhigh) s.pllvalue = s.pllhigh;
  if (s.pllvalue < s.plllow) s.pllvalue = s.plllow;
  platform.commands.run(s.pllcommand + " " + commandArgument(s.pllvalue));
}

} // namespace

void showStreamTime(State& s, Platform& platform) {
  // The station summary and a log without synchronisation lines leave text on
  // the current row; the status line must not be appended to it.
  if (platform.console.somethingOnLine()) platform.console.lineEnd();

  double t = s.blockend + s.timeorigin - 22 - s.leapseconds - s.clockoffset; // UTC [s]
  double h = t - std::floor(t / 86400) * 86400;                               // [s] of the day
  auto c = static_cast<int32_t>(std::lrint(h * 100));                         // [0.01 s]
  int32_t hours = c / 360000;
  int32_t minutes = (c - hours * 360000) / 6000;
  int32_t rest = c - hours * 360000 - minutes * 6000; // [0.01 s] within the minute
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(hours), static_cast<int>(minutes),
                static_cast<int>(rest / 100));
  platform.console.write(text);
  if (!s.wavinput) platform.console.write(formatTemplate(" PC###.##s", {-s.pcoffset}));
  s.currenthour = hours;
}

void findEdge(State& s) {
  // Without a valid reference station or with a window too small to hold an
  // edge and its successor there is nothing to measure.
  if (s.referencestation < 0 || s.referencestation >= s.stationcount) return;
  const int32_t points = s.displaysamples;
  if (points < 2) return;
  auto ref = static_cast<std::size_t>(s.referencestation);
  int32_t n = s.pulsesintegrated[ref];
  if (n == 0) return;
  const std::size_t base = ref * static_cast<std::size_t>(points);
  const int32_t* sumre = s.shortsumre.data() + base;
  const int32_t* sumim = s.shortsumim.data() + base;
  float* envelope = s.envelope.data();

  int32_t lo = std::max(s.pulseoffset - 4, 0);
  int32_t hi = std::min(s.pulseoffset + 4, points - 1);
  s.edgemax = 0;
  int32_t peak = std::min(s.pulseoffset, points - 1);
  for (int32_t i = lo; i <= hi; ++i) {
    auto re = static_cast<float>(static_cast<double>(sumre[i]) / n); // mean per pulse
    auto im = static_cast<float>(static_cast<double>(sumim[i]) / n);
    envelope[i] = std::sqrt(re * re + im * im);
    if (envelope[i] > s.edgemax) {
      s.edgemax = envelope[i];
      peak = i;
    }
  }

  float threshold = s.edgelevel * s.edgemax;
  if (s.edgelevelabs > 0) threshold = s.edgelevelabs;

  envelope[0] = 0;
  int32_t k = 1;
  while (envelope[k] < threshold && k < peak) k += 1;
  k -= 1;

  if (envelope[k + 1] > envelope[k]) s.edgefrac = (threshold - envelope[k]) / (envelope[k + 1] - envelope[k]);
  if (s.edgefrac < 0 || s.edgefrac > 1) s.edgefrac = 0.5f;

  s.edgere = static_cast<float>(((1.0 - s.edgefrac) * sumre[k] + s.edgefrac * sumre[k + 1]) / n);
  s.edgeim = static_cast<float>(((1.0 - s.edgefrac) * sumim[k] + s.edgefrac * sumim[k + 1]) / n);
  s.edgeposition = k + s.edgefrac - s.roundingresidue[ref] / n;

  s.edgeamplitude = std::sqrt(s.edgere * s.edgere + s.edgeim * s.edgeim);
  if (s.edgeamplitude > 0) {
    float phase = std::atan2(s.edgeim, s.edgere);
    s.edgephase = phase < 0 ? static_cast<float>(phase + 2.0 * kPiSingle) : phase;
  }
}

void trackOscillator(State& s, Platform& platform) {
  findEdge(s);

  // Sample-clock loop: a late edge means the samples come faster than sr says.
  if (s.srcorr != 0) {
    double err = s.edgeposition - s.pulseoffset + 1.0; // [points] 0 with the edge at point 5
    double shift = -s.srcorrroot * err / s.sr;         // [s]
    s.blockstart += shift;
    s.blockend += shift;
    s.sr += err * s.srcorr / s.shortintegration;
  }

  // Oscillator frequency error from the carrier phase step over one period.
  auto p = static_cast<float>(s.edgephase / (2.0 * kPiSingle)); // [cycles]
  float d = p - s.lastphase;                                    // [cycles]
  d = static_cast<float>(d - std::floor(d + 0.5));
  s.relfreq = static_cast<float>(d / s.shortintegration / 100000.0);
  s.lastphase = p;
  s.lotime = static_cast<float>(s.lotime + s.shortintegration * s.relfreq * 1000000.0);
  s.srlodrift = static_cast<float>(((s.sr - s.nominalsr) * s.srlofactor + 1000000.0 * s.srlooffset) *
                                   s.shortintegration);
  s.lotime -= s.srlodrift;

  if (s.edgemax > s.resynclimit) {
    s.lockcount += 1;
  } else {
    s.lockcount = 0;
  }
  if (s.lockcount >= 4) {
    s.lockcount = 4;
    s.lodisplay = s.lotime;
  } else {
    s.lotime = 0;
    s.srloavg = s.srloavini;
  }

  if (s.lockcount == 4 && s.pllcommandgiven) runOscillatorCommand(s, platform);

  platform.console.write(formatTemplate(" max##### edge##.## ", {s.edgemax, s.edgeposition}));
  platform.console.write(formatTemplate("SR #####.####Hz ", {s.sr}));
  platform.console.write(formatTemplate("LO +#.#^^^^######.##us", {s.relfreq, s.lodisplay}));
  platform.console.returnToColumnOne();
}

void countResyncRequests(State& s) {
  bool weak = s.edgemax < s.resynclimit;
  bool clockAstray = !s.wavinput && s.clockerrorlimit > 0 && std::fabs(s.pcoffset) > s.clockerrorlimit;
  if (weak || clockAstray) {
    s.resyncrequests += 1;
  } else if (s.resyncrequests > 0) {
    s.resyncrequests -= 1;
  }
}

} // namespace velkor
