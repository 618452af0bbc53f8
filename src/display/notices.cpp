// Notices: single lines "velkor: <text>" on stderr that say what the receiver
// is doing (lock gained or lost, why it re-synchronises, the sample rate it
// measured, raw files that stop coming, the GPS time stamps it goes by and
// Loran-C time against them). A notice never joins a status line:
// the console row in progress is ended first, so on a terminal the status
// line before it stays on its row.
#include "display/display.h"
#include "ground/printable.h"
#include "log/logrecords.h"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace velkor {

namespace {

constexpr int32_t kLocked = 4; // lockcount of four strong periods in a row: locked

std::string referenceName(const Settings& cfg, const Stations& stn) {
  if (cfg.referencestation < 0 || cfg.referencestation >= stn.stationcount()) return "the reference station";
  const auto ref = static_cast<std::size_t>(cfg.referencestation);
  return "reference " + std::to_string(stn.stationgri[ref]) + printable(std::string(1, stn.stationletter[ref]));
}

} // namespace

void printNoticeAlways(Console& console, std::ostream& errors, std::string_view text) {
  console.endCurrentLine();
  errors << "velkor: " << text << '\n';
  errors.flush();
}

void printNotice(const Settings& cfg, Console& console, std::ostream& errors, std::string_view text) {
  if (cfg.notices != 0) printNoticeAlways(console, errors, text);
}

void noticeLockChange(const Settings& cfg, const Stations& stn, const StreamClock& clock, const Processing& proc,
                      int32_t lockbefore, Console& console, std::ostream& errors) {
  char text[160];
  if (proc.lockcount == kLocked && lockbefore < kLocked) {
    std::snprintf(text, sizeof text, "locked: %s, max %.0f, edge %.2f, SR %.4f Hz", referenceName(cfg, stn).c_str(),
                  static_cast<double>(proc.edgemax), static_cast<double>(proc.edgeposition), clock.sr);
    printNotice(cfg, console, errors, text);
  } else if (lockbefore == kLocked && proc.lockcount < kLocked) {
    std::snprintf(text, sizeof text, "lock lost: %s edge max %.0f, not above resynclimit %g",
                  referenceName(cfg, stn).c_str(), static_cast<double>(proc.edgemax),
                  static_cast<double>(cfg.resynclimit));
    printNotice(cfg, console, errors, text);
  }
}

void noticeResync(const Settings& cfg, const Timing& tim, const Processing& proc, Console& console,
                  std::ostream& errors) {
  // A re-synchronisation gives up a lock that the edge still held (the PC clock asked for it).
  if (proc.lockcount == kLocked) printNotice(cfg, console, errors, "lock lost: re-synchronising");
  std::string reasons;
  char text[160];
  if (proc.edgemax < cfg.resynclimit) {
    std::snprintf(text, sizeof text, "weak reference edge (max %.0f below resynclimit %g)",
                  static_cast<double>(proc.edgemax), static_cast<double>(cfg.resynclimit));
    reasons = text;
  }
  if (!cfg.wavinput && cfg.clockerrorlimit > 0 && std::fabs(tim.pcoffset) > cfg.clockerrorlimit) {
    // pcoffset is PC time minus stream time; the status line shows it negated.
    std::snprintf(text, sizeof text, "PC clock %.2f s %s the stream (clockerrorlimit %g s)",
                  std::fabs(static_cast<double>(tim.pcoffset)), tim.pcoffset > 0 ? "ahead of" : "behind",
                  static_cast<double>(cfg.clockerrorlimit));
    reasons += (reasons.empty() ? "" : "; ") + std::string(text);
  }
  if (proc.clocklost)
    reasons += (reasons.empty() ? "" : "; ") + std::string("the sample-rate estimate left its band around sr");
  printNotice(cfg, console, errors, "re-synchronising: " + (reasons.empty() ? std::string("requested") : reasons));
}

void noticeAmbiguity(const Settings& cfg, const SyncReport& report, Console& console, std::ostream& errors) {
  const TaiAmbiguity& found = report.ambiguity;
  if (found.remaining <= 0) return;
  std::string chains;
  for (const TaiEntry& entry : cfg.taientries)
    chains += (chains.empty() ? "" : ", ") + std::to_string(entry.gri) + " " + printable(std::string(1, entry.letter));
  const char* why = !found.match          ? "no whole-interval shift fits the chains"
                    : cfg.taicount() == 1 ? "one chain"
                                          : "the chains repeat together within searchrange";
  char text[96];
  std::snprintf(text, sizeof text, "time known only modulo %.5f s (%s, ", found.remaining, why);
  printNotice(cfg, console, errors, text + chains + ")");
}

void noticeRawWait(const Settings& cfg, double seconds, Console& console, std::ostream& errors) {
  printNotice(cfg, console, errors,
              "waiting for " + printable(cfg.inputfile) + ": none for " + std::to_string(std::lround(seconds)) + " s");
}

void noticeSampleRate(const Settings& cfg, const StreamClock& clock, Console& console, std::ostream& errors) {
  char text[128];
  std::snprintf(text, sizeof text, "sample rate %.4f Hz from the signal (%+.2f ppm from sr = %.10g Hz)", clock.sr,
                (clock.sr / cfg.sr - 1.0) * 1e6, cfg.sr);
  printNoticeAlways(console, errors, text);
}

void noticeGpsStamps(const Settings& cfg, const Timing& tim, const GpsStampFit& fit, Console& console,
                     std::ostream& errors) {
  char text[256];
  if (fit.nofix > 0) {
    std::snprintf(text, sizeof text, "%d of %d GPS time stamps without a GPS fix, not used", fit.nofix, fit.stamps);
    printNoticeAlways(console, errors, text);
  }
  if (fit.offline > 0) {
    std::snprintf(text, sizeof text, "%d of %d GPS time stamps more than 1 ms off the others, not used", fit.offline,
                  fit.stamps);
    printNoticeAlways(console, errors, text);
  }
  if (!fit.usable()) {
    printNoticeAlways(console, errors,
                      "no usable GPS time stamps in " + printable(cfg.inputfile) +
                          ": start time and sample rate from date, time and sr");
    return;
  }
  std::string first = isoUniversalTime(cfg, tim, tim.gpsfirstframe); // "YYYY-MM-DDTHH:MM:SS.mmmZ"
  first[10] = ' ';
  first.back() = ' ';
  std::snprintf(text, sizeof text,
                "start time and sample rate from the GPS time stamps: first sample %sUTC, %.4f Hz (%d stamps, "
                "rms %.2f us)",
                first.c_str(), fit.rate, fit.used, fit.rms * 1e6);
  printNoticeAlways(console, errors, text);
}

void noticeLoranMinusGps(const Timing& tim, Console& console, std::ostream& errors) {
  char text[64];
  std::snprintf(text, sizeof text, "Loran - GPS %+.3f ms", tim.loranminusgps * 1e3);
  printNoticeAlways(console, errors, text);
}

} // namespace velkor
