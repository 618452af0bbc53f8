// The status line, printed in pieces at the end of every short integration
// and then returned to column 1, so that the next one overwrites it:
//   "12:09:55 PC -0.04s max 1934 edge 5.06 SR 48000.5886Hz LO +8.4E-08    -2.68us"
// (" PC...s" only on raw input, which has a PC clock).
#include "display/display.h"
#include "display/format.h"
#include "ground/numbers.h"

#include <cstdio>

namespace velkor {

void printStreamTime(const Settings& cfg, const Timing& tim, const StreamTimeOfDay& time, Console& console) {
  // The station summary and a log without synchronisation lines leave text on
  // the current row; the status line must not be appended to it.
  if (console.somethingOnLine()) console.lineEnd();
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(time.hours), static_cast<int>(time.minutes),
                static_cast<int>(time.seconds));
  console.write(text);
  if (!cfg.wavinput) console.write(formatTemplate(" PC###.##s", {-tim.pcoffset}));
}

void printStatus(const StreamClock& clock, const Processing& proc, Console& console) {
  console.write(formatTemplate(" max##### edge##.## ", {proc.edgemax, proc.edgeposition}));
  console.write(formatTemplate("SR #####.####Hz ", {clock.sr}));
  console.write(formatTemplate("LO +#.#^^^^######.##us", {proc.relfreq, proc.lodisplay}));
  console.returnToColumnOne();
}

void printImageError(int error, Console& console) {
  console.write(formatInteger(error));
  console.lineEnd();
}

void printEndOfInput(Console& console) { console.lineEnd(); }

} // namespace velkor
