#include "core/cycle.h"

#include "core/errors.h"
#include "core/notice.h"
#include "image/bmpfile.h"
#include "image/render.h"
#include "processing/integration.h"
#include "processing/tracking.h"
#include "processing/transfer.h"
#include "timing/calendar.h"
#include "timing/sync.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace velkor {

namespace {

void drawImageRow(State& s, Platform& platform) {
  renderImageRow(s);
  appendImageRow(s, platform);
  std::fill(s.longsumre.begin(), s.longsumre.end(), 0.0f);
  std::fill(s.longsumim.begin(), s.longsumim.end(), 0.0f);
  std::fill(s.longdrift.begin(), s.longdrift.end(), 0.0f);
}

// Steps C to F of one integration run; returns when a re-synchronisation is due.
void integrateUntilResync(State& s, Platform& platform, const BlockReader& readBlock, bool bufferReady) {
  for (;;) {
    if (!bufferReady) {
      if (s.inputremaining <= 0) endOfInput(s, platform);
      readBlock(s, platform);
    }
    bufferReady = false;
    integrateBlock(s);
    if (s.blockend > s.shortmark + s.shortintegration) endShortIntegration(s, platform);
    if (s.resyncrequests >= 3) return;
  }
}

std::string referenceName(const State& s) {
  if (s.referencestation < 0 || s.referencestation >= s.stationcount) return "the reference station";
  const auto ref = static_cast<std::size_t>(s.referencestation);
  return "reference " + std::to_string(s.stationgri[ref]) + s.stationletter[ref];
}

// Lock is four strong reference edges in a row (lockcount 4); it ends at the
// first weak one.
void reportLockChange(State& s, Platform& platform, int32_t lockbefore) {
  char text[160];
  if (s.lockcount == 4 && lockbefore < 4) {
    std::snprintf(text, sizeof text, "locked: %s, max %.0f, edge %.2f, SR %.4f Hz", referenceName(s).c_str(),
                  static_cast<double>(s.edgemax), static_cast<double>(s.edgeposition), s.sr);
    notify(s, platform, text);
  } else if (lockbefore == 4 && s.lockcount < 4) {
    std::snprintf(text, sizeof text, "lock lost: %s edge max %.0f, not above resynclimit %g", referenceName(s).c_str(),
                  static_cast<double>(s.edgemax), static_cast<double>(s.resynclimit));
    notify(s, platform, text);
  }
}

// The requests of the last period, which brought the count to 3, say why.
void reportResync(const State& s, Platform& platform) {
  std::string reasons;
  char text[160];
  if (s.edgemax < s.resynclimit) {
    std::snprintf(text, sizeof text, "weak reference edge (max %.0f below resynclimit %g)",
                  static_cast<double>(s.edgemax), static_cast<double>(s.resynclimit));
    reasons = text;
  }
  if (!s.wavinput && s.clockerrorlimit > 0 && std::fabs(s.pcoffset) > s.clockerrorlimit) {
    std::snprintf(text, sizeof text, "PC clock %.2f s off the stream (clockerrorlimit %g s)",
                  static_cast<double>(s.pcoffset), static_cast<double>(s.clockerrorlimit));
    reasons += (reasons.empty() ? "" : "; ") + std::string(text);
  }
  notify(s, platform, "re-synchronising: " + (reasons.empty() ? std::string("requested") : reasons));
}

} // namespace

void endShortIntegration(State& s, Platform& platform) {
  s.shortmark = s.shortmark + s.shortintegration;
  if (s.nb != 0) updateNoiseBlanker(s);
  showStreamTime(s, platform);
  const int32_t lockbefore = s.lockcount;
  trackOscillator(s, platform);
  reportLockChange(s, platform, lockbefore);
  transferShortSums(s);
  countResyncRequests(s);
  s.rowpasscounter = s.rowpasscounter + 1;
  if (s.rowpasscounter >= s.longintegration) {
    s.rowpasscounter = 0;
    drawImageRow(s, platform);
  }
}

void resynchronise(State& s, Platform& platform, const BlockReader& readBlock) {
  s.resyncrequests = 0;
  s.lockcount = 0;
  if (s.wavinput) {
    s.clocktime = s.clocktime + s.blockend;
  } else {
    s.date = platform.clock.dateText();
    s.time = platform.clock.timeText();
    computeClockTime(s);
  }
  s.sr = s.nominalsr;
  s.blockstart = -s.overlap / s.sr;
  s.blockend = 0;
  s.newsamples = 0;
  synchronise(s, platform, readBlock);
}

void runMainCycle(State& s, Platform& platform, const BlockReader& readBlock) {
  for (;;) {
    setupStationTiming(s);
    // Samples left by the synchronisation are integrated first. Without them
    // a new run counts its short integrations from stream time 0.
    bool bufferReady = s.blockend > 0;
    s.shortmark = bufferReady ? static_cast<float>(s.blockend) : 0.0f;
    integrateUntilResync(s, platform, readBlock, bufferReady);
    reportResync(s, platform);
    resynchronise(s, platform, readBlock);
  }
}

void endByKey(State& s) {
  s.input.close();
  throw ProgramEnd{0};
}

void endOfInput(State& s, Platform& platform) {
  platform.console.lineEnd();
  s.input.close();
  throw ProgramEnd{0};
}

} // namespace velkor
