#include "top/startup.h"

#include "acquisition/pcclock.h"
#include "acquisition/source.h"
#include "config/config.h"
#include "config/configcheck.h"
#include "display/display.h"
#include "ground/errors.h"
#include "ground/ini.h"
#include "image/bmpfile.h"
#include "log/logrecords.h"
#include "processing/integration.h"
#include "stations/chaintiming.h"
#include "stations/stationfile.h"
#include "stations/stationmodel.h"
#include "timing/calendar.h"
#include "timing/gpsstamps.h"
#include "timing/ratesearch.h"
#include "timing/sync.h"
#include "top/input.h"

#include "platform/files.h"

namespace velkor {

namespace {

void validateGeometry(const Settings& cfg, const Acquisition& acq, const Stations& stn) {
  refuseUnless(acq.blocklength >= 1, "sr", cfg.sr, "gives blocks of no samples (below 2756.25 Hz set fileblocklen)");
  refuseUnless(acq.buffersize <= kLargestArray, cfg.fileblocklen > 0 ? "fileblocklen" : "sr",
               cfg.fileblocklen > 0 ? cfg.fileblocklen : cfg.sr, "gives a sample buffer above 16777216 samples");
  int64_t points = int64_t{cfg.displaysamples} * stn.stationcount();
  refuseUnless(points <= kLargestArray, "displaysamples", cfg.displaysamples,
               "times the number of stations is above 16777216 points");
}

void reserveLists(Settings& cfg) {
  cfg.stationentries.reserve(kStationCapacity);
  cfg.taientries.reserve(kTaiCapacity);
  cfg.chaindelays.reserve(kChainDelayCapacity);
  cfg.tapre.reserve(kTapCapacity);
  cfg.tapim.reserve(kTapCapacity);
}

// With srsearch: the averaging's samples are kept, the sample rate is
// measured from them, the stream restamped at it and every entry folded at
// it; after the report the reference edge is placed where the sample-clock
// loop holds it.
void reportLoranMinusGps(Record& r, Platform& platform) {
  if (r.timing.gpsstamped == 0) return;
  measureLoranMinusGps(r.acquisition, r.timing);
  noticeLoranMinusGps(r.timing, platform.console, platform.errors);
}

Outcome synchroniseWithRateSearch(Record& r, Platform& platform, const BlockReader& readBlock) {
  const Settings& cfg = r.settings;
  KeptSamples kept = beginKeeping(cfg, r.acquisition);
  TaiAverage average;
  const Outcome averaged = averageForSync(cfg, r.stations, r.acquisition, r.timing, readBlock, average, &kept);
  if (averaged != Outcome::ready) return averaged;
  const double rate = searchSampleRate(cfg, r.stations, kept); // [Hz]
  const int32_t total = average.totalsamples;                  // [samples]
  restampStreamClock(r.acquisition, rate, total);
  average = beginAverage(cfg, r.acquisition);
  average.totalsamples = total;
  foldKeptSamples(cfg, r.stations, kept, rate, average, r.timing);
  const SyncReport report = evaluateSync(cfg, r.stations, r.acquisition, r.timing, average, quitPoll(platform));
  if (report.outcome != Outcome::ready) return report.outcome;
  printSyncReport(cfg, r.timing, report, platform.console);
  noticeSampleRate(cfg, r.acquisition.clock, platform.console, platform.errors);
  noticeAmbiguity(cfg, report, platform.console, platform.errors);
  correctStreamClock(r.acquisition.clock, referenceEdgeShift(cfg, average, rate), 0.0);
  reportLoranMinusGps(r, platform);
  logSynchronisation(cfg, r.acquisition, r.timing, report, r.log);
  return Outcome::ready;
}

// With kiwistamps on a WAV recording: its GPS stamps fitted, and sr taken
// from them before the block geometry, the pulse patterns and the stream
// clock are derived from it.
GpsStampFit fitRecordingStamps(Settings& cfg) {
  if (cfg.kiwistamps == 0 || !cfg.wavinput) return {};
  const GpsStampFit fit = fitGpsStamps(readKiwiStamps(cfg));
  if (fit.usable()) cfg.sr = fit.rate;
  return fit;
}

// A file the run reads or writes, with what it is to the run.
struct RunFile {
  std::string role;
  std::string path;
};

// An output written over an input destroys it before it is read (an image
// named like the recording cuts it to a header): refused, whatever spelling
// of the path names the file.
void refuseOutputsOnInputs(const Settings& cfg, const std::string& configurationFile) {
  const RunFile inputs[] = {{"configuration file", configurationFile},
                            {"station table", cfg.table},
                            {cfg.wavinput ? "WAV input" : "raw sample file", cfg.inputfile}};
  std::vector<RunFile> outputs{{"image file (bmp)", cfg.bmp}};
  if (cfg.printstationlist) outputs.push_back({"station list", kStationFile});
  if (!cfg.log.empty()) outputs.push_back({"measurement log (log)", cfg.log});
  for (const RunFile& output : outputs)
    for (const RunFile& input : inputs)
      if (sameFile(output.path, input.path))
        throw FatalError(output.path, "the " + output.role + " would overwrite the " + input.role + " " + input.path);
}

// The image is created only after the synchronisation, which with raw input
// consumes (and deletes) sample files: an image that cannot be written is
// found before that.
void probeImageFile(const Settings& cfg) {
  if (const int error = writeProbe(cfg.bmp); error != 0) throw FatalError(cfg.bmp, fileErrorText(error));
}

} // namespace

std::string configurationFileName(const std::vector<std::string>& arguments) {
  std::string name;
  for (std::size_t i = 0; i < arguments.size(); ++i) name += (i ? " " : "") + arguments[i];
  return name.empty() ? "velkor.ini" : name;
}

void prepareIntegration(Record& r) {
  buildStationOrder(r.stations);
  computeBlockGeometry(r.settings, r.acquisition);
  validateGeometry(r.settings, r.acquisition, r.stations);
  prepareProcessing(r.settings, r.stations, r.processing);
  dimensionBuffer(r.acquisition);
  prepareTiming(r.settings, r.timing);
  computeChainTiming(r.settings, r.stations);
  resetStreamClock(r.settings, r.acquisition);
  initialiseDecoder(r.settings, r.acquisition);
}

void startClock(Record& r) {
  r.timing.date = r.settings.date;
  r.timing.time = r.settings.time;
  computeClockTime(r.settings, r.timing);
}

Outcome synchroniseAndReport(Record& r, Platform& platform, const BlockReader& readBlock) {
  switch (syncPlan(r.settings)) {
  case SyncPlan::none:
    return Outcome::ready;
  case SyncPlan::noEntries:
    warnSyncSkipped(r.display, platform.errors);
    return Outcome::ready;
  case SyncPlan::run:
    break;
  }
  announceSync(r.settings, platform.console);
  // A rate fitted to GPS time stamps is good to a few parts in 10^9; a rate
  // measured from seconds of averaging only to a part in 10^6.
  const bool rateFromStamps = r.timing.gpsstamped != 0;
  if (r.settings.srsearch > 0 && !rateFromStamps) return synchroniseWithRateSearch(r, platform, readBlock);
  const SyncReport report = synchronise(r.settings, r.stations, r.acquisition, r.timing, readBlock, quitPoll(platform));
  if (report.outcome != Outcome::ready) return report.outcome;
  printSyncReport(r.settings, r.timing, report, platform.console);
  noticeAmbiguity(r.settings, report, platform.console, platform.errors);
  reportLoranMinusGps(r, platform);
  logSynchronisation(r.settings, r.acquisition, r.timing, report, r.log);
  return Outcome::ready;
}

Outcome startUp(Record& r, Platform& platform, const std::string& configurationFile, const BlockReader& readBlock) {
  Settings& cfg = r.settings;
  cfg.date = platform.clock.dateText();
  cfg.time = platform.clock.timeText();
  reserveLists(cfg);
  const std::string configuration = readWholeFile(configurationFile);
  applyConfigurationText(cfg, configuration, platform.errors);
  warnUnknownNames(configurationFile, findTextProblems(configuration), platform.errors);
  validateSettings(cfg);
  clampBlankingWindow(cfg);

  buildStationModel(cfg, r.stations);
  readStationTable(cfg, r.stations, platform.errors);
  blankByDistance(cfg, r.stations);
  refuseOutputsOnInputs(cfg, configurationFile);
  probeImageFile(cfg);
  printStationList(r.stations, platform.console);
  if (cfg.printstationlist) writeStationFile(r.stations);
  printStationSummary(cfg, r.stations, platform.console);
  openMeasurementLog(cfg, r.stations, r.log);

  const GpsStampFit gps = fitRecordingStamps(cfg);
  prepareIntegration(r);
  if (!cfg.wavinput) calibrateClock(cfg, r.acquisition, platform.clock);
  const Outcome opened = openInput(r, platform);
  if (opened != Outcome::ready) return opened;
  if (!cfg.wavinput && cfg.rawlatencygiven != 0) {
    // The first file is dated like every later one, by the moment it could be opened.
    updateClock(cfg, r.acquisition, platform.clock);
    stampOpenTime(cfg, r.acquisition);
  }
  startClock(r);
  if (cfg.kiwistamps != 0 && cfg.wavinput) {
    startGpsClock(gps, r.timing);
    noticeGpsStamps(cfg, r.timing, gps, platform.console, platform.errors);
  }
  const Outcome synchronised = synchroniseAndReport(r, platform, readBlock);
  if (synchronised != Outcome::ready) return synchronised;
  createImageFile(cfg, r.stations, r.image);
  return Outcome::ready;
}

} // namespace velkor
