#include "top/input.h"

#include "acquisition/pcclock.h"
#include "acquisition/source.h"
#include "display/display.h"
#include "timing/timescale.h"

namespace velkor {

namespace {

constexpr double kFirstWaitNotice = 5;   // [s] of waiting for a raw file before it is said
constexpr double kWaitNoticeRepeat = 60; // [s] between the notices after that

// With notices: says that the capture program has not delivered since
// `waitstart` [s of the timer]; `nextnotice` is the timer reading of the next
// notice [s].
void noteLongWait(const Settings& cfg, Platform& platform, double waitstart, double& nextnotice) {
  if (cfg.notices == 0) return;
  const double now = platform.clock.timer(); // [s]
  if (now < nextnotice) return;
  nextnotice = now + kWaitNoticeRepeat;
  noticeRawWait(cfg, now - waitstart, platform.console, platform.errors);
}

// The capture program writes the next file under the same name; until it
// appears, try again after sleeptime (whole seconds), never in a busy loop.
Outcome awaitRawFile(Record& r, Platform& platform) {
  const double waitstart = r.settings.notices != 0 ? platform.clock.timer() : 0; // [s]
  double nextnotice = waitstart + kFirstWaitNotice;                              // [s]
  while (!tryOpenRaw(r.settings, r.acquisition)) {
    noteLongWait(r.settings, platform, waitstart, nextnotice);
    if (platform.keyboard.readKey() == 'q') return Outcome::quit;
    platform.keyboard.waitForKey(rawFileWait(r.settings));
  }
  return Outcome::ready;
}

// The raw file is used up: delete it, await the next one and stamp the PC
// clock when it opens. The capture program hands over a file as soon as its
// last sample is recorded; a receiver that keeps up waits for it, so the
// moment of opening, not the end of the previous file, dates its end.
Outcome changeRawFile(Record& r, Platform& platform) {
  Acquisition& acq = r.acquisition;
  releaseRawFile(r.settings, acq);
  updateClock(r.settings, acq, platform.clock);
  if (acq.clockconfidence == 0) calibrateClock(r.settings, acq, platform.clock);
  const Outcome opened = openInput(r, platform);
  if (opened != Outcome::ready) return opened;
  updateClock(r.settings, acq, platform.clock); // after the wait: the file's end was captured when it could be opened
  stampOpenTime(r.settings, acq);
  return Outcome::ready;
}

} // namespace

Outcome openInput(Record& r, Platform& platform) {
  if (!r.settings.wavinput) return awaitRawFile(r, platform);
  if (!openWav(r.settings, r.acquisition, platform.errors)) warnNotRiffWave(r.settings, platform.errors);
  return Outcome::ready;
}

Outcome readNextBlock(Record& r, Platform& platform) {
  if (r.acquisition.inputremaining <= 0) {
    // An empty raw file ends the run; left in place it would end the next one at once.
    if (!r.settings.wavinput) releaseRawFile(r.settings, r.acquisition);
    return Outcome::endOfInput;
  }
  if (platform.keyboard.readKey() == 'q') return Outcome::quit;
  readBlock(r.settings, r.acquisition, platform.errors);
  computeStreamOffset(r.settings, r.acquisition, r.timing);
  if (rawFileUsedUp(r.settings, r.acquisition)) return changeRawFile(r, platform);
  return Outcome::ready;
}

BlockReader blockReader(Record& r, Platform& platform) {
  return [&r, &platform] { return readNextBlock(r, platform); };
}

QuitPoll quitPoll(Platform& platform) {
  return [&platform] { return platform.keyboard.readKey() == 'q'; };
}

} // namespace velkor
