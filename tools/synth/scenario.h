// What the recording holds, worked out before any sample is made: the true
// start and sample rate, the carrier frequency in baseband, and for every
// station heard its pulse pattern and where its pulses fall.
//
// Timing: every chain repeats its phase-code interval (PCI, 2 × GRI × 10 µs)
// on the internal scale from absolute time 0. Within each PCI the master's
// first pulse leaves at 0 and a secondary's at its emission delay; a station's
// signal reaches the receiver later by the geodesic distance divided by the
// propagation speed 299792458 / 1.0009 / asf m/s. Masters (letters K, L, M, N)
// send nine pulses 1 ms apart with the ninth 2 ms after the eighth, every
// other letter is a secondary with eight pulses 1 ms apart; the second GRI of
// the PCI repeats the group one GRI later. Phase codes (1 = +, 0 = −): master
// 110010101 / 100111110, secondary 11111001 / 10101100 (GRI A / GRI B).
//
// Signal model, per pulse starting (envelope t = 0) at stream time t_p, in
// the complex baseband I + jQ at true stream time t:
//   A · code · env(t − t_p) · exp(j(φ + 2π · f_bb · t)),
//   env(u) = (u / 65 µs)² · exp(2 − 2u / 65 µs) for 0 ≤ u ≤ pulseend, else 0
// (peak 1 at u = 65 µs), f_bb = −bandcenter − loerror · (100 kHz + bandcenter)
// the carrier's frequency after the local oscillator, and the carrier phase
// φ = p − 360° · 100 kHz · τ (p the station's configured phase, τ its emission
// delay plus propagation time): the local oscillator is taken in phase with a
// 100 kHz carrier that starts on the 1958 grid, so φ is the 100 kHz carrier's
// phase at the receiver, held by every pulse of the station (the 100 kHz
// carrier makes whole cycles in 1 ms and in one GRI).
#pragma once

#include "synthconfig.h"
#include "synthtime.h"

#include "stations/stationmodel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::synth {

inline constexpr double kCarrier = 100000.0;     // [Hz]
inline constexpr double kPulseRise = 65e-6;      // envelope time constant [s]
inline constexpr double kLightSpeed = 299792458; // [m/s]
inline constexpr double kGroundFactor = 1.0009;

struct StationTruth {
  int32_t gri = 0;
  char letter = 'M';
  std::string name;
  bool master = true;
  double amplitude = 0;    // envelope peak in sample units
  double phase = 0;        // configured extra phase [deg]
  double carrierPhase = 0; // φ in (−180, 180] [deg]
  double latitude = 0;     // transmitter [deg]
  double longitude = 0;
  double distance = 0;              // [km]
  double emissionDelay = 0;         // [s]
  double propagation = 0;           // [s]
  double pci = 0;                   // [s]
  double arrival = 0;               // first pulse after a PCI start of the 1958 grid, in [0, pci) [s]
  double streamArrival = 0;         // first pulse after stream time 0, in [0, pci) [s]
  double streamArrivalSamples = 0;  // the same at the true rate [samples]
  std::vector<double> pulseOffsets; // within the PCI, from its first pulse [s]
  std::vector<int> pulseSigns;      // +1 / −1
};

struct Scenario {
  SynthConfig config;
  AbsoluteTime start; // internal time of the first sample
  CivilTime startUtc;
  int leapSeconds = 0;
  double trueRate = 0;          // [Hz]
  int64_t frames = 0;           // sample frames in the recording
  double basebandFrequency = 0; // f_bb [Hz]
  double propagationSpeed = 0;  // [m/s]
  std::vector<StationTruth> stations;
};

// Builds the scenario from valid settings and the station table's records.
// Throws std::runtime_error naming a station missing from the table.
Scenario buildScenario(const SynthConfig& config, const std::vector<TableRecord>& table);

// Pulse pattern of one PCI for a station letter and GRI.
void pulsePattern(int32_t gri, bool master, std::vector<double>& offsets, std::vector<int>& signs);

bool isMasterLetter(char letter);

} // namespace velkor::synth
