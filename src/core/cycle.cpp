#include "core/cycle.h"

#include "core/errors.h"
#include "image/bmpfile.h"
#include "image/render.h"
#include "output/logrecords.h"
#include "processing/integration.h"
#include "processing/tracking.h"
#include "processing/transfer.h"
#include "timing/calendar.h"
#include "timing/sync.h"

#include <algorithm>

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

} // namespace

void endShortIntegration(State& s, Platform& platform) {
  s.shortmark = s.shortmark + s.shortintegration;
  if (s.nb != 0) updateNoiseBlanker(s);
  showStreamTime(s, platform);
  trackOscillator(s, platform);
  logStatus(s);
  transferShortSums(s);
  countResyncRequests(s);
  s.rowpasscounter = s.rowpasscounter + 1;
  if (s.rowpasscounter >= s.longintegration) {
    s.rowpasscounter = 0;
    drawImageRow(s, platform);
  }
}

void resynchronise(State& s, Platform& platform, const BlockReader& readBlock) {
  logResynchronisation(s);
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
  logSynchronisation(s);
}

void runMainCycle(State& s, Platform& platform, const BlockReader& readBlock) {
  for (;;) {
    setupStationTiming(s);
    // Samples left by the synchronisation are integrated first. Without them
    // a new run counts its short integrations from stream time 0.
    bool bufferReady = s.blockend > 0;
    s.shortmark = bufferReady ? static_cast<float>(s.blockend) : 0.0f;
    integrateUntilResync(s, platform, readBlock, bufferReady);
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
