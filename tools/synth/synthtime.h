// The absolute time scale of the recording: seconds since 1958-01-01 00:00 on
// the receiver's internal scale, internal = UTC + 22 s + leap seconds, where
// the leap seconds are counted by the date as the receiver counts them:
// +1 after 2005, +1 after 2008, +1 from June 2012 on (0 … 3). Every Loran-C
// chain repeats its phase-code interval on this scale from time 0.
//
// Start dates and times are read by the receiver's own reader
// (src/ground/timetext.h), so they take the same forms: MM-DD-YYYY or
// YYYY-MM-DD, and HH:MM:SS with an optional decimal fraction of the second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkor::synth {

// A point on the internal scale, kept as whole seconds and a fraction so that
// positions within a phase-code interval stay exact far from 1958.
struct AbsoluteTime {
  int64_t seconds = 0;
  double fraction = 0; // [0, 1)
  double value() const { return static_cast<double>(seconds) + fraction; }
};

struct CivilTime {
  int year = 1958;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  double fraction = 0;
};

// Leap seconds of a date as the receiver counts them.
int leapSeconds(int year, int month);

// Days since 1958-01-01 of a proleptic Gregorian date.
int64_t daysSince1958(int year, int month, int day);

// Parses date and time (ground/timetext.h); nothing when either is in no accepted form.
std::optional<CivilTime> parseCivilTime(std::string_view date, std::string_view time);

// Internal time of a UTC date and time.
AbsoluteTime internalTime(const CivilTime& utc);

// UTC date and time of a point on the internal scale.
CivilTime utcOf(const AbsoluteTime& t);

// "yyyy-mm-dd hh:mm:ss.ffffff"
std::string formatCivil(const CivilTime& t);

// Position of `t` within a repetition interval of `gri` × 20 µs, in [0, interval).
double phaseInInterval(const AbsoluteTime& t, int32_t gri);

} // namespace velkor::synth
