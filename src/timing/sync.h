// TAI synchronisation: fold the synchronisation chains, find them by their
// phase codes and resolve the clock offset; sets timeorigin.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "ground/outcome.h"
#include "stations/stations.h"
#include "timing/ratesearch.h"
#include "timing/syncsteps.h"
#include "timing/timing.h"

#include <vector>

namespace velkor {

// Sizes the per-entry result arrays (taiwindows, candidates, positions).
void prepareTiming(const Settings& settings, Timing& timing);

// Whether a synchronisation runs: not without integrationtime, and not
// without [taisync] entries (which is worth a warning).
enum class SyncPlan { none, noEntries, run };
SyncPlan syncPlan(const Settings& settings);

// What a synchronisation found, for the report on the console.
struct SyncReport {
  Outcome outcome = Outcome::ready; // ready, or the end of the run met while averaging
  std::vector<SyncPeak> peaks;      // with syncverbose: every peak, in the order found
  TaiAmbiguity ambiguity;           // the search's result ("TAI match" / "TAI guess")
};

// Averages blocks from `readBlock` until blockend reaches integrationtime [s]
// into `average` (laid out afresh); with `kept`, the new samples are only
// kept there and counted in totalsamples, for the sample-rate search and
// foldKeptSamples (ratesearch.h). Returns how the reading ended.
Outcome averageForSync(const Settings& settings, const Stations& stations, const Acquisition& acquisition,
                       Timing& timing, const BlockReader& readBlock, TaiAverage& average, KeptSamples* kept);

// Finds the entries' peaks in the average, rebases clocktime on raw input and
// resolves the ambiguity; writes the Timing results and timeorigin. The
// outcome is quit when `quitRequested` ends the search.
SyncReport evaluateSync(const Settings& settings, const Stations& stations, const Acquisition& acquisition,
                        Timing& timing, const TaiAverage& average, const QuitPoll& quitRequested = {});

// averageForSync, then evaluateSync: the synchronisation without a rate
// search. Run only when syncPlan says run.
SyncReport synchronise(const Settings& settings, const Stations& stations, const Acquisition& acquisition,
                       Timing& timing, const BlockReader& readBlock, const QuitPoll& quitRequested = {});

} // namespace velkor
