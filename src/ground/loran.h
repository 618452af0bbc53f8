// Facts of the Loran-C system that several subsystems use, each with why it
// is what it is.
#pragma once

#include <cstdint>
#include <cstring>

namespace velkor {

// ---- Time scales -------------------------------------------------------------
// The internal time scale is Loran-C system time, which stands 10 s behind
// TAI (seconds counted from 1958). UTC was 32 s behind TAI from 1999 to 2005; the leap seconds counted from the date
// (2006, 2009, 2012) and clockoffset add to it. So internal = UTC + 22 s +
// leapseconds + clockoffset; the calendar adds the 32 s to whole seconds and
// takes the 10 s off in double precision, as the two steps always were.
inline constexpr int32_t kTaiMinusUtcBefore2006 = 32; // [s] TAI - UTC, 1999 ... 2005
inline constexpr double kTaiMinusLoran = 10.0;        // [s] TAI - Loran-C time
inline constexpr double kLoranMinusUtc = 22.0;        // [s] 32 - 10: internal scale minus UTC before 2006

// A day of the time of day and of the internal scale; leap seconds are not
// in it but counted apart, in leapseconds.
inline constexpr double kSecondsPerDay = 86400.0; // [s]

// ---- Carrier and pulses ----------------------------------------------------------
inline constexpr double kCarrierFrequency = 100000.0; // [Hz] every Loran-C station sends on 100 kHz
inline constexpr double kPerMillion = 1000000.0;      // [us per s], [ppm per unit]
// GRIs are counted in units of 10 us.
inline constexpr double kGriUnitsPerSecond = 100000.0; // [10 us per s]
inline constexpr double kSecondsPerGriUnit = 1e-5;     // [s per 10 us]
inline constexpr double kPulseSpacing = 0.001;         // [s] between the pulses of a group
inline constexpr double kNinthPulseGap = 0.002;        // [s] a master's ninth pulse after its eighth
inline constexpr double kNinthPulseAt = 0.009;         // [s] a master's ninth pulse after its first

// ---- Phase-code interval -------------------------------------------------------
// A GRI is given in units of 10 us; the phase codes repeat every two GRIs, so
// the phase-code interval of GRI g is 2 g x 10 us = g / 50000 s. Every
// conversion between a GRI and seconds of its phase-code interval uses this
// divisor (written as it always was: g / 50000 or x / g x 50000).
inline constexpr double kGriPerPhaseCodeSecond = 50000.0; // [10 us per 2 s]

// Seconds of one phase-code interval of GRI gri [10 us] [s].
inline double phaseCodeInterval(int32_t gri) { return gri / kGriPerPhaseCodeSecond; }

// ---- Pulse patterns ----------------------------------------------------------------
inline constexpr int kPatternSlots = 18;         // pulse slots per phase-code interval, at most (a master's 2 x 9)
inline constexpr int kMasterPulses = 18;         // pulses of a master in one phase-code interval (2 x 9)
inline constexpr int kSecondaryPulses = 16;      // pulses of a secondary (2 x 8)
inline constexpr int32_t kNinePulseGroup = 900;  // [10 us] a master group: 8 pulses 1 ms apart, the ninth 2 ms later
inline constexpr int32_t kEightPulseGroup = 700; // [10 us] a secondary group: 8 pulses 1 ms apart

// Loran-C phase-code signs, 34 characters: the master's nine-pulse pattern
// for GRI A then GRI B (18), then the secondaries' eight-pulse pattern (16).
inline constexpr const char* kPhaseCodes = "1100101011001111101111100110101100";
inline constexpr int kEightPulseCodes = 18; // first character of the eight-pulse pattern

// Sign of the phase code at `character` (from 0) of kPhaseCodes: "1" is +1, "0" is -1.
inline int16_t phaseCodeSign(int character) { return kPhaseCodes[character] == '1' ? 1 : -1; }

// ---- Station letters ---------------------------------------------------------------------
// A master sends nine-pulse groups, a secondary eight; this receiver also
// knows 'A' (an amplitude-only synchronisation entry, found by its peak) and
// 'B' (two single pulses per phase-code interval).
inline constexpr const char* kNinePulseLetters = "KLMN";          // master letters
inline constexpr const char* kEightPulseLetters = "OPQRSTUVWXYZ"; // secondary letters
inline constexpr const char* kMasterSyncLetters = "AKLMN";        // entries measured at their first peak
inline constexpr char kAmplitudeLetter = 'A';
inline constexpr char kTwoPulseLetter = 'B';

// The letter is one of `letters` (never the terminating zero).
inline bool isOneOf(char letter, const char* letters) {
  return letter != '\0' && std::strchr(letters, letter) != nullptr;
}

} // namespace velkor
