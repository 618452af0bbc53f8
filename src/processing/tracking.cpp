#include "processing/tracking.h"

#include "acquisition/source.h"
#include "ground/loran.h"
#include "ground/numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace velkor {

namespace {

constexpr int32_t kLocked = 4; // [periods] of strong edges in a row that make a lock
// A sound card's clock is off by parts per million, a mistaken nominal rate
// by a few per cent; a rate estimate beyond 10 % of sr is a loop running away.
constexpr double kRateBand = 0.1; // [1] of sr
// The position loop is stable up to a gain root of 2 (srcorr 4): no stable
// loop moves the stream clock by more than twice the farthest edge error.
constexpr double kStableGainRoot = 2;
// The edge error reaches past the window by the edge's fraction and the
// rounding residue, each below one point.
constexpr double kEdgeErrorMargin = 2; // [points]

// Whether a sample-clock correction keeps the loop in its band: a rate step
// [Hz] that leaves sr within kRateBand, a shift [s] that a stable loop can make.
bool isSaneCorrection(const Settings& cfg, const StreamClock& clock, double shift, double rateStep) {
  const double rate = clock.sr + rateStep;                                                               // [Hz]
  const double farthestError = std::max<double>(cfg.displaysamples, cfg.pulseoffset) + kEdgeErrorMargin; // [points]
  return std::fabs(rate - cfg.sr) <= kRateBand * cfg.sr &&
         std::fabs(shift) <= kStableGainRoot * farthestError / clock.sr;
}

// The argument handed to the oscillator command: the value in the receiver's
// double-precision print form, cut to ten characters.
std::string commandArgument(double value) { return formatDouble(value).substr(0, 10); }

// Steers the external oscillator; runs only while locked.
void runOscillatorCommand(const Settings& cfg, Processing& proc, Random& random, CommandRunner& commands) {
  proc.pllavgfreq = static_cast<float>(cfg.pllaveragef * proc.relfreq + (1.0 - cfg.pllaveragef) * proc.pllavgfreq);
  proc.pllvalue = cfg.pllcenter - proc.lotime * cfg.pllfactort - (proc.relfreq - proc.pllavgfreq) * cfg.pllfactorf;
  proc.srloavg = static_cast<float>(proc.srlodrift * cfg.srloavfac / cfg.shortintegration / kPerMillion +
                                    (1.0 - cfg.srloavfac) * proc.srloavg);
  if (cfg.ffactor != 0) proc.pllvalue += (proc.pllavgfreq - proc.srloavg) * cfg.ffactor;
  if (cfg.plldither != 0) proc.pllvalue += (2.0 * random.uniform() - 1.0) * cfg.plldither;
  if (proc.pllvalue > cfg.pllhigh) proc.pllvalue = cfg.pllhigh;
  if (proc.pllvalue < cfg.plllow) proc.pllvalue = cfg.plllow;
  commands.run(cfg.pllcommand + " " + commandArgument(proc.pllvalue));
}

} // namespace

void findEdge(const Settings& cfg, const Stations& stn, Processing& proc) {
  // Without a valid reference station or with a window too small to hold an
  // edge and its successor there is nothing to measure.
  if (cfg.referencestation < 0 || cfg.referencestation >= stn.stationcount()) return;
  const int32_t points = cfg.displaysamples;
  if (points < 2) return;
  auto ref = static_cast<std::size_t>(cfg.referencestation);
  int32_t n = proc.pulsesintegrated[ref];
  if (n == 0) return;
  const std::size_t base = ref * static_cast<std::size_t>(points);
  const int32_t* sumre = proc.shortsumre.data() + base;
  const int32_t* sumim = proc.shortsumim.data() + base;
  float* envelope = proc.envelope.data();

  int32_t lo = std::max(cfg.pulseoffset - 4, 0);
  int32_t hi = std::min(cfg.pulseoffset + 4, points - 1);
  proc.edgemax = 0;
  int32_t peak = std::min(cfg.pulseoffset, points - 1);
  for (int32_t i = lo; i <= hi; ++i) {
    auto re = static_cast<float>(static_cast<double>(sumre[i]) / n); // mean per pulse
    auto im = static_cast<float>(static_cast<double>(sumim[i]) / n);
    envelope[i] = std::sqrt(re * re + im * im);
    if (envelope[i] > proc.edgemax) {
      proc.edgemax = envelope[i];
      peak = i;
    }
  }

  float threshold = cfg.edgelevel * proc.edgemax;
  if (cfg.edgelevelabs > 0) threshold = cfg.edgelevelabs;

  envelope[0] = 0;
  int32_t k = 1;
  while (envelope[k] < threshold && k < peak) k += 1;
  k -= 1;

  if (envelope[k + 1] > envelope[k]) proc.edgefrac = (threshold - envelope[k]) / (envelope[k + 1] - envelope[k]);
  if (proc.edgefrac < 0 || proc.edgefrac > 1) proc.edgefrac = 0.5f;

  proc.edgere = static_cast<float>(((1.0 - proc.edgefrac) * sumre[k] + proc.edgefrac * sumre[k + 1]) / n);
  proc.edgeim = static_cast<float>(((1.0 - proc.edgefrac) * sumim[k] + proc.edgefrac * sumim[k + 1]) / n);
  proc.edgeposition = k + proc.edgefrac - proc.roundingresidue[ref] / n;

  proc.edgeamplitude = std::sqrt(proc.edgere * proc.edgere + proc.edgeim * proc.edgeim);
  if (proc.edgeamplitude > 0) {
    float phase = std::atan2(proc.edgeim, proc.edgere);
    proc.edgephase = phase < 0 ? static_cast<float>(phase + 2.0 * kPiSingle) : phase;
  }
}

void trackOscillator(const Settings& cfg, const Stations& stn, StreamClock& clock, Processing& proc, Random& random,
                     CommandRunner& commands) {
  findEdge(cfg, stn, proc);

  // Sample-clock loop: a late edge means the samples come faster than sr says.
  if (cfg.srcorr != 0) {
    double err = proc.edgeposition - cfg.pulseoffset + 1.0;    // [points] 0 with the edge at point 5
    double shift = -cfg.srcorrroot * err / clock.sr;           // [s]
    double rateStep = err * cfg.srcorr / cfg.shortintegration; // [Hz]
    if (isSaneCorrection(cfg, clock, shift, rateStep)) correctStreamClock(clock, shift, rateStep);
    else proc.clocklost = 1;
  }

  // Oscillator frequency error from the carrier phase step over one period.
  auto p = static_cast<float>(proc.edgephase / (2.0 * kPiSingle)); // [cycles]
  float d = p - proc.lastphase;                                    // [cycles]
  d = static_cast<float>(d - std::floor(d + 0.5));
  proc.relfreq = static_cast<float>(d / cfg.shortintegration / kCarrierFrequency);
  proc.lastphase = p;
  proc.lotime = static_cast<float>(proc.lotime + cfg.shortintegration * proc.relfreq * kPerMillion);
  proc.srlodrift =
      static_cast<float>(((clock.sr - cfg.sr) * cfg.srlofactor + kPerMillion * cfg.srlooffset) * cfg.shortintegration);
  proc.lotime -= proc.srlodrift;

  if (proc.edgemax > cfg.resynclimit) {
    proc.lockcount += 1;
  } else {
    proc.lockcount = 0;
  }
  if (proc.lockcount >= kLocked) {
    proc.lockcount = kLocked;
    proc.lodisplay = proc.lotime;
  } else {
    proc.lotime = 0;
    proc.srloavg = cfg.srloavini;
  }

  if (proc.lockcount == kLocked && cfg.pllcommandgiven) runOscillatorCommand(cfg, proc, random, commands);
}

ResyncCauses resyncCauses(const Settings& cfg, const Timing& tim, const Processing& proc) {
  ResyncCauses causes;
  causes.weakEdge = proc.edgemax < cfg.resynclimit;
  causes.pcClockAstray = !cfg.wavinput && cfg.clockerrorlimit > 0 && std::fabs(tim.pcoffset) > cfg.clockerrorlimit;
  causes.clockLost = proc.clocklost != 0;
  return causes;
}

bool isLocked(const Processing& proc) { return proc.lockcount >= kLocked; }

void countResyncRequests(const Settings& cfg, const Timing& tim, Processing& proc) {
  if (proc.clocklost) {
    proc.resyncrequests = kResyncRequestsDue;
  } else if (resyncCauses(cfg, tim, proc).any()) {
    proc.resyncrequests += 1;
  } else if (proc.resyncrequests > 0) {
    proc.resyncrequests -= 1;
  }
}

} // namespace velkor
