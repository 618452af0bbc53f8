// The GPS time stamps of a KiwiSDR recording ([file] kiwistamps): the sample
// rate and the absolute time of its first frame fitted to them, and the
// time-transfer measurement Loran-C time minus GPS time after each
// synchronisation.
#pragma once

#include "acquisition/acquisition.h"
#include "acquisition/wavlayout.h"
#include "config/settings.h"
#include "timing/timing.h"

#include <cstdint>
#include <vector>

namespace velkor {

// A straight line through the stamps with a GPS fix: GPS time against frame index.
struct GpsStampFit {
  int32_t stamps = 0;    // [chunks] carrying a stamp (blank ones not counted)
  int32_t nofix = 0;     // [chunks] of them without a GPS fix, not used
  int32_t offline = 0;   // [chunks] with a fix but more than 1 ms off the line through the others, not used
  int32_t used = 0;      // [chunks] in the fit
  double rate = 0;       // [Hz] frames per GPS second
  double firstframe = 0; // [s of the GPS week] time of frame 0, below 0 when it lies in the week before
  double rms = 0;        // [s] rms residual of the stamps about the line
  bool usable() const { return used >= 2 && rate > 0; }
};

// The least-squares line through `stamps` (blank ones, those without a fix
// and glitches more than 1 ms off the others left out; a week turning over
// within the file is unwrapped).
GpsStampFit fitGpsStamps(const std::vector<KiwiStamp>& stamps);

// Internal time [s since 1958] of `weekseconds` [s of a GPS week], in the GPS
// week that puts it nearest clocktime (the configured date and time).
double gpsInternalTime(const Timing& timing, double weekseconds);

// Reads clocktime (from the configured date and time) and the fit; writes the
// GPS part of Timing and, when the fit is usable, clocktime: the GPS time of
// the stream's first frame.
void startGpsClock(const GpsStampFit& fit, Timing& timing);

// Internal time [s since 1958] of stream time 0 of the current integration
// run by the GPS stamps: the first frame plus the frames before the run.
double gpsStreamStart(const Acquisition& acquisition, const Timing& timing);

// After a synchronisation with GPS stamps: loranminusgps [s], the internal
// time of the last frame read by the synchronisation (timeorigin plus the
// buffer end) minus its time by the GPS stamps.
void measureLoranMinusGps(const Acquisition& acquisition, Timing& timing);

} // namespace velkor
