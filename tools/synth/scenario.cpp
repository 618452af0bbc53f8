#include "scenario.h"

#include "ground/printable.h"
#include "ground/timetext.h"
#include "stations/geodesic.h"

#include <cmath>
#include <stdexcept>

namespace velkor::synth {

namespace {

constexpr const char* kMasterCode = "110010101100111110";
constexpr const char* kSecondaryCode = "1111100110101100";

double wrapDegrees(double deg) {
  double x = std::fmod(deg, 360.0);
  if (x <= -180) x += 360;
  if (x > 180) x -= 360;
  return x;
}

double positiveMod(double x, double m) {
  double r = std::fmod(x, m);
  if (r < 0) r += m;
  if (r >= m) r -= m;
  return r;
}

} // namespace

bool isMasterLetter(char letter) { return letter == 'K' || letter == 'L' || letter == 'M' || letter == 'N'; }

void pulsePattern(int32_t gri, bool master, std::vector<double>& offsets, std::vector<int>& signs) {
  offsets.clear();
  signs.clear();
  const int perGroup = master ? 9 : 8;
  const char* code = master ? kMasterCode : kSecondaryCode;
  for (int group = 0; group < 2; ++group) {
    for (int i = 0; i < perGroup; ++i) {
      double within = i < 8 ? 0.001 * i : 0.009;
      offsets.push_back(group * gri * 1e-5 + within);
      signs.push_back(code[group * perGroup + i] == '1' ? 1 : -1);
    }
  }
}

Scenario buildScenario(const SynthConfig& config, const std::vector<TableRecord>& table) {
  Scenario s;
  s.config = config;
  if (config.origin || config.date.empty()) {
    s.start = AbsoluteTime{};
  } else {
    auto civil = parseCivilTime(config.date, config.time);
    if (!parseDateText(config.date))
      throw std::runtime_error("date = " + printable(config.date) + ": not a date of the form " + kDateForms);
    if (!civil) throw std::runtime_error("time = " + printable(config.time) + ": not a time of the form " + kTimeForms);
    s.start = internalTime(*civil);
  }
  s.startUtc = utcOf(s.start);
  s.leapSeconds = leapSeconds(s.startUtc.year, s.startUtc.month);
  s.trueRate = config.sr * (1 + config.ppm * 1e-6);
  s.frames = std::llround(config.duration * s.trueRate);
  s.basebandFrequency = 0.0 - config.bandcenter - config.loerror * (kCarrier + config.bandcenter);
  s.propagationSpeed = kLightSpeed / kGroundFactor / config.asf;

  for (const StationEntry& entry : config.stations) {
    const TableRecord* found = nullptr;
    for (const TableRecord& r : table) {
      if (r.gri == entry.gri && r.letter == std::string(1, entry.letter)) found = &r;
    }
    if (!found)
      throw std::runtime_error("station " + std::to_string(entry.gri) + entry.letter + " is not in the table");
    StationTruth t;
    t.gri = entry.gri;
    t.letter = entry.letter;
    t.name = found->name;
    t.master = isMasterLetter(entry.letter);
    t.amplitude = entry.amplitude * config.amplitude;
    t.phase = entry.phase;
    t.latitude = found->lat;
    t.longitude = found->lon;
    t.distance = geodesicDistance(config.lat, config.lon, found->lat, found->lon);
    t.emissionDelay = static_cast<double>(found->delay) * 1e-6;
    t.propagation = t.distance * 1000.0 / s.propagationSpeed;
    t.pci = entry.gri / 50000.0;
    double tau = t.emissionDelay + t.propagation;
    t.arrival = positiveMod(tau, t.pci);
    t.streamArrival = positiveMod(t.arrival - phaseInInterval(s.start, entry.gri), t.pci);
    t.streamArrivalSamples = t.streamArrival * s.trueRate;
    // the carrier's phase at τ: whole cycles dropped before the product to keep precision
    double cycles = positiveMod(kCarrier * t.emissionDelay, 1.0) + positiveMod(kCarrier * t.propagation, 1.0);
    t.carrierPhase = wrapDegrees(entry.phase - 360.0 * positiveMod(cycles, 1.0));
    pulsePattern(entry.gri, t.master, t.pulseOffsets, t.pulseSigns);
    s.stations.push_back(std::move(t));
  }
  return s;
}

} // namespace velkor::synth
