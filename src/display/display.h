// The display: every line the receiver writes to the console (banner,
// station list, status line, synchronisation report, image error codes, the
// end of input) and its one warning that needs remembering. It reads the
// other parts and writes only its own.
#pragma once

#include "acquisition/acquisition.h"
#include "config/configcheck.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "processing/processing.h"
#include "stations/stations.h"
#include "timing/gpsstamps.h"
#include "timing/sync.h"
#include "timing/timescale.h"
#include "timing/timing.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// The display part of the run's record.
struct Display {
  int16_t taiskipwarned = 0; // flag: the skip for want of [taisync] entries was reported
};

inline constexpr const char* kBanner = "velkor " VELKOR_VERSION " - Loran-C receiver";

// kBanner and a line end.
void printBanner(Console& console);

// --help: how velkor is called and its keys, lines ending in "\n".
void printUsage(Console& console);

// --version: "velkor <version>" and "\n".
void printVersion(Console& console);

// --check of a file that cannot be read: "FILE: <reason>".
void printUnreadableConfiguration(const std::string& fileName, const std::string& reason, Console& console);

// --check: one line "FILE:LINE: <problem>" per problem ("FILE: " for the
// file as a whole), then the summary "FILE: <n> problems, ...".
void printCheckReport(const std::string& fileName, const std::vector<ConfigurationProblem>& problems, Console& console);

// One warning "velkor: warning: FILE:LINE: ..." on `errors` per unknown
// section or key among `problems`.
void warnUnknownNames(const std::string& fileName, const std::vector<ConfigurationProblem>& problems,
                      std::ostream& errors);

// The warning that the WAV input is no RIFF/WAVE file and how it is read.
void warnNotRiffWave(const Settings& settings, std::ostream& errors);

// One line per configured station: GRI, letter, and name, delay [ms], power
// [kW] and distance [km] from the table, or "not found in table"; hidden and
// blanked marked.
void printStationList(const Stations& stations, Console& console);

// " <n> blanked, sync to <gri> <letter> ..." without a line end: the next
// output continues it.
void printStationSummary(const Settings& settings, const Stations& stations, Console& console);

// The status line's start: a fresh row when text stands on the current one,
// the stream time "hh:mm:ss" and on raw input the PC offset " PC###.##s".
void printStreamTime(const Settings& settings, const Timing& timing, const StreamTimeOfDay& time, Console& console);

// The status line's rest: edge amplitude and position, sr [Hz], relative
// oscillator error and its time [us]; back to column 1.
void printStatus(const StreamClock& clock, const Processing& processing, Console& console);

// The warning that the synchronisation is skipped for want of [taisync]
// entries, once per run, on `errors`.
void warnSyncSkipped(Display& display, std::ostream& errors);

// "sync: averaging for <n> sec " on a fresh row, back to column 1.
void announceSync(const Settings& settings, Console& console);

// The detailed peak lines (syncverbose), one per peak in the order found.
void printSyncPeaks(const std::vector<SyncPeak>& peaks, Console& console);

// The detailed peak lines and the result line "TAI match" /
// "TAI guess" with offset, error and the UT of stream time 0.
void printSyncReport(const Settings& settings, const Timing& timing, const SyncReport& report, Console& console);

// The errno of a failed image write that is retried (bmperrorhandling 2).
void printImageError(int error, Console& console);

// The line end that closes the run at the end of the input.
void printEndOfInput(Console& console);

// ---- Notices: one line "velkor: <text>" on `errors` (stderr) -------------
// The console row in progress is ended first, so a notice never joins a
// status line. Notices that runs of existing configurations could show go
// through printNotice; messages only a new setting can cause may use
// printNoticeAlways.

// The notice, when the setting notices is not 0.
void printNotice(const Settings& settings, Console& console, std::ostream& errors, std::string_view text);

// The notice, whatever the settings say.
void printNoticeAlways(Console& console, std::ostream& errors, std::string_view text);

// With notices: "locked: ..." when lockcount has just reached 4 (lockbefore
// was below), "lock lost: ..." when it has just left 4.
void noticeLockChange(const Settings& settings, const Stations& stations, const StreamClock& clock,
                      const Processing& processing, int32_t lockbefore, Console& console, std::ostream& errors);

// With notices: "re-synchronising: " and why (weak reference edge, PC clock
// off the stream), from the last period's edge and PC offset; before it
// "lock lost: re-synchronising" when the receiver was still locked.
void noticeResync(const Settings& settings, const Timing& timing, const Processing& processing, Console& console,
                  std::ostream& errors);

// With notices, when the synchronisation left whole intervals open: "time
// known only modulo <period> s (<why>, <the [taisync] entries>)".
void noticeAmbiguity(const Settings& settings, const SyncReport& report, Console& console, std::ostream& errors);

// With notices: the raw input file has been awaited `seconds` [s].
void noticeRawWait(const Settings& settings, double seconds, Console& console, std::ostream& errors);

// Always (only srsearch causes it): the sample rate measured from the signal,
// in Hz and in ppm from sr.
void noticeSampleRate(const Settings& settings, const StreamClock& clock, Console& console, std::ostream& errors);

// Always (only kiwistamps causes it), once at start-up: where start time and
// sample rate come from (the GPS stamps of `fit`, or the settings when none
// is usable), and how many stamps were left out for want of a GPS fix or as
// glitches off the line.
void noticeGpsStamps(const Settings& settings, const Timing& timing, const GpsStampFit& fit, Console& console,
                     std::ostream& errors);

// Always, after each synchronisation on GPS stamps: "Loran - GPS <ms> ms",
// the time-transfer measurement loranminusgps.
void noticeLoranMinusGps(const Timing& timing, Console& console, std::ostream& errors);

} // namespace velkor
