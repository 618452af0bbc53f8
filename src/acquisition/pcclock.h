// The PC clock of raw input: the timer calibrated against the time of day.
#pragma once

#include "acquisition/acquisition.h"
#include "config/settings.h"
#include "platform/platform.h"

namespace velkor {

// One reading of timer and time of day: pcclock [s of day] from the timer,
// timeroffset averaged with timercalavfac while the readings agree,
// clockconfidence counted up or down.
void updateClock(const Settings& settings, Acquisition& acquisition, Clock& clock);

// Polls every 50 ms until the time of day ticks and sets timeroffset [s] from
// that tick; clockconfidence 3.
void calibrateClock(const Settings& settings, Acquisition& acquisition, Clock& clock);

// opentime = pcclock - 0.05 s, the PC time of the end of the file just
// opened; capturetime = pcclock - rawlatency, the same in double precision
// with the hand-over latency the settings give.
void stampOpenTime(const Settings& settings, Acquisition& acquisition);

} // namespace velkor
