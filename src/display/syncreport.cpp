// The synchronisation lines:
//   "sync: averaging for 10 sec "                       while the average runs
//   "M 7499 max 123.4 at 12.5ms"                        per peak, with syncverbose
//   "TAI match at    0.35 s offset, rel. error  0.22 rms,  12:00:00.350 UT"
#include "display/display.h"
#include "display/format.h"
#include "ground/numbers.h"

#include <cmath>
#include <ostream>
#include <string>

namespace velkor {

namespace {

void printPeak(const SyncPeak& peak, Console& console) {
  // The position is shown in ms, held in single precision like the position itself.
  float milliseconds = static_cast<float>(peak.time * 1000.0);
  console.write(std::string(peak.label) + formatInteger(peak.gri) + "max" + formatSingle(peak.amplitude) + "at" +
                formatSingle(milliseconds) + "ms");
  console.lineEnd();
}

} // namespace

void warnSyncSkipped(Display& dsp, std::ostream& errors) {
  // Said once: every re-synchronisation would repeat it.
  if (!dsp.taiskipwarned)
    errors << "velkor: warning: integrationtime is set but [taisync] names no station;"
              " the TAI synchronisation is skipped\n";
  dsp.taiskipwarned = 1;
}

void announceSync(const Settings& cfg, Console& console) {
  console.endCurrentLine();
  auto seconds = roundToInteger<long long>(std::floor(cfg.integrationtime + 0.5));
  console.write("sync: averaging for" + formatInteger(seconds) + "sec ");
  console.returnToColumnOne();
}

void printSyncPeaks(const std::vector<SyncPeak>& peaks, Console& console) {
  for (const SyncPeak& peak : peaks) printPeak(peak, console);
}

void printSyncReport(const Settings& cfg, const Timing& tim, const SyncReport& report, Console& console) {
  printSyncPeaks(report.peaks, console);
  const TaiAmbiguity& result = report.ambiguity;
  console.returnToColumnOne();
  console.write(result.match ? "TAI match" : "TAI guess");
  console.write(
      formatTemplate(" at ####.## s offset, rel. error ##.## rms, ", {tim.syncoffset, std::sqrt(result.besterror)}));
  console.write(" ");
  console.write(universalTime(cfg, tim, tim.timeorigin));
  console.write(" UT");
  console.lineEnd();
}

} // namespace velkor
