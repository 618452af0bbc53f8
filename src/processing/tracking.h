// End-of-period tracking: reference edge, sample-clock loop, oscillator error
// and command, re-synchronisation requests. The status line that shows the
// results is display/status.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "platform/platform.h"
#include "processing/processing.h"
#include "stations/stations.h"
#include "timing/timing.h"

namespace velkor {

// The reference station's leading edge in its short sums: edgemax, the
// envelope, edgeposition [points], edge value, amplitude and phase [rad].
void findEdge(const Settings& settings, const Stations& stations, Processing& processing);

// findEdge, then the sample-clock loop (moves the stream clock and sr), the
// oscillator frequency error relfreq [1] and time lotime [us], the lock count,
// and while locked the oscillator command (pllcommand with a computed argument).
void trackOscillator(const Settings& settings, const Stations& stations, StreamClock& clock, Processing& processing,
                     Random& random, CommandRunner& commands);

// Why a period asks for a re-synchronisation: the reference edge below
// resynclimit, or on raw input the PC clock beyond clockerrorlimit [s].
// A sample-clock correction that would take the rate estimate out of the
// band or move the stream clock farther than the loop can is a lost lock
// (clockLost), which re-synchronises at once.
struct ResyncCauses {
  bool weakEdge = false;
  bool pcClockAstray = false;
  bool clockLost = false;
  bool any() const { return weakEdge || pcClockAstray || clockLost; }
};
ResyncCauses resyncCauses(const Settings& settings, const Timing& timing, const Processing& processing);

// Whether the tracking holds lock: strong periods in a row up to the lock count.
bool isLocked(const Processing& processing);

// Requests that start a re-synchronisation.
inline constexpr int32_t kResyncRequestsDue = 3;

// One more re-synchronisation request for a weak edge or a PC clock astray
// (pcoffset beyond clockerrorlimit [s]), one less for a good period; a lost
// sample clock makes them due at once.
void countResyncRequests(const Settings& settings, const Timing& timing, Processing& processing);

} // namespace velkor
