#include "synthconfig.h"

#include "ground/ini.h"
#include "ground/numbers.h"

#include <cctype>
#include <cmath>
#include <stdexcept>

namespace velkor::synth {

namespace {

double number(std::string_view value) {
  double x = parseLeadingNumber(value);
  return std::isfinite(x) ? x : 0.0;
}

// The number after the first comma, or `fallback` when there is none.
double secondNumber(std::string_view value, double fallback) {
  auto comma = value.find(',');
  return comma == std::string_view::npos ? fallback : number(value.substr(comma + 1));
}

int toInt(double x) {
  if (x > 1e9) return 1000000000;
  if (x < -1e9) return -1000000000;
  return static_cast<int>(std::nearbyint(x));
}

void addStation(SynthConfig& c, std::string_view key, std::string_view value) {
  double gri = std::fabs(std::nearbyint(number(key)));
  if (gri < 1 || gri > 1e6) return;
  StationEntry entry;
  entry.gri = static_cast<int32_t>(gri);
  entry.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(key.back())));
  entry.amplitude = value.empty() ? 1.0 : number(value);
  entry.phase = secondNumber(value, 0.0);
  c.stations.push_back(entry);
}

void apply(SynthConfig& c, std::string_view section, std::string_view key, std::string_view value,
           std::string_view original) {
  if (section == "location") {
    if (key == "lat") c.lat = number(value);
    else if (key == "lon") c.lon = number(value);
  } else if (section == "file") {
    if (key == "table") c.table = std::string(original);
    else if (key == "wav") c.output = std::string(original), c.kind = OutputKind::Wav;
    else if (key == "dat") c.output = std::string(original), c.kind = OutputKind::Raw;
    else if (key == "split") c.split = number(value);
    else if (key == "header") c.headerBytes = toInt(number(value));
    else if (key == "bits") c.bits = number(value) <= 8 ? 8 : 16;
    else if (key == "stereo") c.channels = 2;
    else if (key == "mono") c.channels = 1;
    else if (key == "date") c.date = std::string(value);
    else if (key == "time") c.time = std::string(value);
    else if (key == "origin") c.origin = true;
    else if (key == "kiwistamps") c.kiwistamps = number(value) != 0;
  } else if (section == "frequency") {
    if (key == "sr") c.sr = number(value);
    else if (key == "ppm") c.ppm = number(value);
    else if (key == "bandcenter") c.bandcenter = number(value);
    else if (key == "loerror") c.loerror = number(value);
  } else if (section == "time") {
    if (key == "duration") c.duration = number(value);
    else if (key == "asf") c.asf = number(value);
  } else if (section == "signal") {
    if (key == "amplitude") c.amplitude = number(value);
    else if (key == "noise") c.noise = number(value);
    else if (key == "seed") c.seed = static_cast<uint64_t>(std::fabs(std::nearbyint(number(value))));
    else if (key == "dc") c.dcre = number(value), c.dcim = secondNumber(value, 0.0);
    else if (key == "impulserate") c.impulserate = number(value);
    else if (key == "impulseamplitude") c.impulseamplitude = number(value);
    else if (key == "cwfrequency") c.cwfrequency = number(value);
    else if (key == "cwamplitude") c.cwamplitude = number(value);
    else if (key == "pulseend") c.pulseend = number(value);
  } else if (section == "stations") {
    addStation(c, key, value);
  }
}

} // namespace

SynthConfig parseSynthConfig(std::string_view text) {
  SynthConfig config;
  forEachConfigurationLine(text, [&](const ConfigurationLine& line) {
    apply(config, line.section, line.key, line.value, line.originalValue);
  });
  return config;
}

SynthConfig readSynthConfig(const std::string& fileName) { return parseSynthConfig(readWholeFile(fileName)); }

std::string checkSynthConfig(const SynthConfig& c) {
  if (!(c.sr > 0) || c.sr > 10e6) return "sr must lie between 0 and 10 MHz";
  if (!(c.sr * (1 + c.ppm * 1e-6) > 0)) return "ppm leaves no positive sample rate";
  if (!(c.duration > 0) || c.duration > 1e6) return "duration must lie between 0 and 1e6 seconds";
  if (c.headerBytes != 44 && c.headerBytes != 46) return "header must be 44 or 46";
  if (c.split < 0) return "split must not be negative";
  if (c.kiwistamps && (c.kind != OutputKind::Wav || c.channels != 2 || c.bits != 16))
    return "kiwistamps needs a stereo 16-bit wav output, as a KiwiSDR writes";
  if (!(c.pulseend > 0) || c.pulseend > 900) return "pulseend must lie between 0 and 900 us";
  if (c.noise < 0 || c.impulserate < 0) return "noise and impulserate must not be negative";
  if (!(c.asf > 0)) return "asf must be positive";
  if (c.output.empty()) return "no output file name";
  double bytes = c.duration * c.sr * (1 + c.ppm * 1e-6) * c.channels * (c.bits / 8);
  if (c.kiwistamps) bytes += bytes / 2048 * 26; // a "kiwi" chunk and a data header per 512 stereo frames, about
  if (c.kind == OutputKind::Wav && bytes + 46 > 4294967295.0) return "a WAV file holds at most 4 GB";
  return {};
}

} // namespace velkor::synth
