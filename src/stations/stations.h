// The stations part of the run's record: the configured stations and the
// synchronisation entries completed from the station table, their pulse
// patterns and the processing order. Written at start-up by this subsystem
// (stationmodel, chaintiming), read by every later one.
#pragma once

#include "ground/loran.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

struct Stations {
  // ---- Configured stations (index = [stations] order) --------------------
  std::vector<int32_t> stationgri;      // [10 us]
  std::vector<char> stationletter;      // upper case
  std::vector<int16_t> stationblanked;  // 1: pulses removed after integration
  std::vector<float> stationchaindelay; // [ms]
  std::vector<std::string> stationname; // from the table, empty when not found
  std::vector<float> stationdelay;      // emission delay incl. chain delay [ms]
  std::vector<float> stationpower;      // [kW]
  std::vector<float> stationdistance;   // [km], 0 when not found
  int16_t blankedcount = 0;             // [stations] blanked
  int32_t displayedstations = 0;        // [stations] drawn: stationcount - hidden
  int32_t gri6000count = 0;             // [stations] with GRI 6000 (cross-rate strips)
  int32_t gri7950count = 0;             // [stations] with GRI 7950 (cross-rate strips)

  // ---- Synchronisation entries (index = [taisync] order; GRI, letter and
  // weight are Settings::taientries) ---------------------------------------
  std::vector<float> taichaindelay;  // [ms]
  std::vector<float> taidelay;       // emission delay incl. chain delay [ms]
  std::vector<float> taidistance;    // [km], 0 when not found
  std::vector<double> tailineoffset; // GRI harmonic nearest bandcenter minus bandcenter [Hz]

  // ---- Pulse patterns and processing order -------------------------------
  std::vector<int32_t> pulsecount;                              // [slots] per phase-code interval
  std::vector<std::array<double, kPatternSlots>> pulseinterval; // [s] slot k to k + 1
  std::vector<std::array<int16_t, kPatternSlots>> pulsesign;    // +1 / -1 per slot
  std::vector<float> blankingweight;                            // share of time left after earlier blanking [1]
  std::vector<int32_t> stationorder;                            // station indices, blanked stations first
  float propagationspeed = 0;                                   // [m/s]
  int16_t blanklength = 0;                                      // [points] removed after a blanked pulse

  // [stations] entries: the index range of every station array.
  int32_t stationcount() const { return static_cast<int32_t>(stationgri.size()); }
};

} // namespace velkor
