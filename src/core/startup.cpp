#include "core/startup.h"

#include "acquisition/pcclock.h"
#include "acquisition/source.h"
#include "core/check.h"
#include "core/config.h"
#include "core/errors.h"
#include "image/bmpfile.h"
#include "output/logrecords.h"
#include "stations/chaintiming.h"
#include "stations/report.h"
#include "stations/stationmodel.h"
#include "timing/calendar.h"
#include "timing/sync.h"

#include <cmath>
#include <cstdio>

namespace velkor {

namespace {

constexpr int64_t kLargestArray = int64_t{1} << 24; // [entries] of any working array

std::string setting(const char* key, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%s = %.10g", key, value);
  return text;
}

void refuseUnless(bool fine, const char* key, double value, const char* reason) {
  if (!fine) throw FatalError(setting(key, value), reason);
}

void validateGeometry(const State& s) {
  refuseUnless(s.blocklength >= 1, "sr", s.sr,
               "gives blocks of no samples (below 2756.25 Hz set fileblocklen)");
  refuseUnless(s.buffersize <= kLargestArray, s.fileblocklen > 0 ? "fileblocklen" : "sr",
               s.fileblocklen > 0 ? s.fileblocklen : s.sr, "gives a sample buffer above 16777216 samples");
  int64_t points = int64_t{s.displaysamples} * s.stationcount;
  refuseUnless(points <= kLargestArray, "displaysamples", s.displaysamples,
               "times the number of stations is above 16777216 points");
}

} // namespace

std::string configurationFileName(const std::vector<std::string>& arguments) {
  std::string name;
  for (std::size_t i = 0; i < arguments.size(); ++i) name += (i ? " " : "") + arguments[i];
  return name.empty() ? "velkor.ini" : name;
}

void validateSettings(const State& s) {
  refuseUnless(std::isfinite(s.sr) && s.sr > 0, "sr", s.sr, "the sample rate must be above 0 Hz");
  refuseUnless(s.sr < 1e9, "sr", s.sr, "gives a sample buffer above 16777216 samples");
  refuseUnless(s.displaysamples >= 1, "displaysamples", s.displaysamples, "must be 1 or more");
  refuseUnless(s.displaysamples <= kLargestArray, "displaysamples", s.displaysamples,
               "gives a sample buffer above 16777216 samples");
  refuseUnless(s.fileblocklen <= kLargestArray, "fileblocklen", s.fileblocklen,
               "gives a sample buffer above 16777216 samples");
  refuseUnless(s.shortintegration > 0, "shortintegration", s.shortintegration, "must be above 0 s");
  refuseUnless(s.longintegration >= 1, "longintegration", s.longintegration, "must be 1 or more");
  refuseUnless(s.fullscale != 0, "fullscale", s.fullscale, "must not be 0");
}

void dimensionArrays(State& s) {
  int64_t stations = s.stationcount;
  int64_t points = int64_t{s.displaysamples} * stations;
  dimension(s.pulsecount, stations);
  dimension(s.pulseinterval, stations);
  dimension(s.pulsesign, stations);
  dimension(s.blankingweight, stations);
  dimension(s.arrivaloffset, stations);
  dimension(s.arrivalphase, stations);
  dimension(s.nextpulse, stations);
  dimension(s.pulseindex, stations);
  dimension(s.pulsesintegrated, stations);
  dimension(s.roundingresidue, stations);
  dimension(s.signsum, stations);
  dimension(s.longdrift, stations);
  for (auto* array : {&s.shortsumre, &s.shortsumim}) dimension(*array, points);
  for (auto* array : {&s.longsumre, &s.longsumim, &s.nbpowersum, &s.nbthreshold, &s.nbblankcount})
    dimension(*array, points);
  dimension(s.samplere, s.buffersize);
  dimension(s.sampleim, s.buffersize);
  dimension(s.samplepower, s.buffersize);
  dimension(s.envelope, s.displaysamples);
  dimension(s.taiwindows, s.taicount);
  dimension(s.taicandamp, s.taicount);
  dimension(s.taicandtime, s.taicount);
  dimension(s.taiexpected, s.taicount);
  dimension(s.taimeasured, s.taicount);
}

void prepareIntegration(State& s) {
  buildStationOrder(s);
  computeBlockGeometry(s);
  validateGeometry(s);
  dimensionArrays(s);
  s.nominalsr = s.sr;
  computeChainTiming(s);
  s.blockstart = -s.overlap / s.sr;
  s.blockend = 0;
  s.newsamples = 0;
  initialiseDecoder(s);
}

void startUp(State& s, Platform& platform, const std::string& configurationFile, const BlockReader& readBlock) {
  s.date = platform.clock.dateText();
  s.time = platform.clock.timeText();
  s.stationentries.reserve(kStationCapacity);
  s.taientries.reserve(kTaiCapacity);
  s.chaindelays.reserve(kChainDelayCapacity);
  s.tapre.reserve(kTapCapacity);
  s.tapim.reserve(kTapCapacity);
  const std::string configuration = readWholeFile(configurationFile);
  applyConfigurationText(s, configuration, platform.errors);
  warnAboutUnknownNames(configuration, configurationFile, platform.errors);
  validateSettings(s);

  buildStationModel(s);
  readStationTable(s, platform.errors);
  blankByDistance(s);
  printStationList(s, platform);
  openMeasurementLog(s);

  prepareIntegration(s);
  if (!s.wavinput) calibrateClock(s, platform);
  openSource(s, platform);
  computeClockTime(s);
  synchronise(s, platform, readBlock);
  logSynchronisation(s);
  createImageFile(s);
}

} // namespace velkor
