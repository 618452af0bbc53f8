#include "top/cycle.h"

#include "display/display.h"
#include "image/bmpfile.h"
#include "image/render.h"
#include "log/logrecords.h"
#include "processing/integration.h"
#include "processing/tracking.h"
#include "processing/transfer.h"
#include "acquisition/source.h"
#include "timing/calendar.h"
#include "timing/gpsstamps.h"
#include "timing/timescale.h"
#include "top/startup.h"

namespace velkor {

namespace {

Outcome drawImageRow(Record& r, Platform& platform) {
  renderImageRow(r.settings, r.stations, r.processing, r.image);
  PosixImageFile file;
  const Outcome appended = appendImageRow(r, platform, file);
  clearLongSums(r.processing);
  return appended;
}

// Steps C to F of one integration run; returns ready when a re-synchronisation is due.
Outcome integrateUntilResync(Record& r, Platform& platform, const BlockReader& readBlock, bool bufferReady) {
  for (;;) {
    if (!bufferReady) {
      const Outcome read = readBlock();
      if (read != Outcome::ready) return read;
    }
    bufferReady = false;
    integrateBlock(r.settings, r.stations, r.acquisition, r.processing);
    if (r.acquisition.clock.blockend > r.cycle.shortmark + r.settings.shortintegration) {
      const Outcome ended = endShortIntegration(r, platform);
      if (ended != Outcome::ready) return ended;
    }
    if (r.processing.resyncrequests >= kResyncRequestsDue) return Outcome::ready;
  }
}

} // namespace

Outcome endShortIntegration(Record& r, Platform& platform) {
  const Settings& cfg = r.settings;
  r.cycle.shortmark = r.cycle.shortmark + cfg.shortintegration;
  if (cfg.nb != 0) updateNoiseBlanker(cfg, r.stations, r.processing);
  const StreamTimeOfDay now = streamTimeOfDay(cfg, r.acquisition, r.timing);
  printStreamTime(cfg, r.timing, now, platform.console);
  r.cycle.currenthour = now.hours;
  const int32_t lockbefore = r.processing.lockcount;
  trackOscillator(cfg, r.stations, r.acquisition.clock, r.processing, platform.random, platform.commands);
  printStatus(r.acquisition.clock, r.processing, platform.console);
  noticeLockChange(cfg, r.stations, r.acquisition.clock, r.processing, lockbefore, platform.console, platform.errors);
  logStatus(cfg, r.stations, r.acquisition, r.timing, r.processing, r.log);
  transferShortSums(cfg, r.stations, r.acquisition, r.processing);
  countResyncRequests(cfg, r.timing, r.processing);
  r.cycle.rowpasscounter = r.cycle.rowpasscounter + 1;
  if (r.cycle.rowpasscounter < cfg.longintegration) return Outcome::ready;
  r.cycle.rowpasscounter = 0;
  return drawImageRow(r, platform);
}

Outcome resynchronise(Record& r, Platform& platform, const BlockReader& readBlock) {
  const std::string reason = resyncReason(resyncCauses(r.settings, r.timing, r.processing));
  logResynchronisation(r.settings, r.acquisition, r.timing, reason, r.log);
  if (r.settings.wavinput) {
    r.timing.clocktime = r.timing.clocktime + r.acquisition.clock.blockend;
  } else {
    r.timing.date = platform.clock.dateText();
    r.timing.time = platform.clock.timeText();
    computeClockTime(r.settings, r.timing);
  }
  resetStreamClock(r.settings, r.acquisition);
  // The recording's GPS stamps date the new stream time 0 themselves.
  if (r.timing.gpsstamped != 0) r.timing.clocktime = gpsStreamStart(r.acquisition, r.timing);
  return synchroniseAndReport(r, platform, readBlock);
}

Outcome appendImageRow(Record& r, Platform& platform, ImageFileAccess& file) {
  const Settings& cfg = r.settings;
  if (!beginImageRow(cfg, r.stations, r.image, r.cycle.currenthour)) return Outcome::ready;
  bool retrying = false;
  for (;;) {
    const int error = writeImageRow(cfg, r.image, file, retrying);
    if (error == 0) break;
    retrying = true;
    if (platform.keyboard.readKey() == 'q') return Outcome::quit;
    if (cfg.bmperrorhandling > 1) printImageError(error, platform.console);
    platform.clock.sleep(kImageRetryWait);
  }
  finishImageRow(cfg, r.image, file, platform.commands);
  return Outcome::ready;
}

Outcome runMainCycle(Record& r, Platform& platform, const BlockReader& readBlock) {
  for (;;) {
    setupStationTiming(r.settings, r.stations, r.acquisition, r.timing, r.processing);
    // Samples left by the synchronisation are integrated first. Without them
    // a new run counts its short integrations from stream time 0.
    const bool bufferReady = r.acquisition.clock.blockend > 0;
    r.cycle.shortmark = bufferReady ? static_cast<float>(r.acquisition.clock.blockend) : 0.0f;
    const Outcome integrated = integrateUntilResync(r, platform, readBlock, bufferReady);
    if (integrated != Outcome::ready) return integrated;
    noticeResync(r.settings, r.timing, r.processing, platform.console, platform.errors);
    const Outcome synchronised = resynchronise(r, platform, readBlock);
    if (synchronised != Outcome::ready) return synchronised;
  }
}

int shutDown(Record& r, Platform& platform, Outcome outcome) {
  if (outcome == Outcome::endOfInput) printEndOfInput(platform.console);
  r.acquisition.input.close();
  return 0;
}

} // namespace velkor
