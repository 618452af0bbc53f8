#include "recording.h"

#include "generator.h"
#include "samplewriter.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace velkor::synth {

namespace {

constexpr std::size_t kBlockFrames = 16384;

std::string num(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out += '\\', out += c;
    else if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else out += c;
  }
  return out + "\"";
}

std::string shortNumber(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", x);
  return text;
}

std::string fixed(double x, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, x);
  return text;
}

} // namespace

RecordingResult writeRecording(const Scenario& scenario) {
  Generator generator(scenario);
  SampleWriter writer(scenario.config, scenario.frames, scenario.start, scenario.trueRate);
  std::vector<float> re(kBlockFrames), im(kBlockFrames);
  int64_t left = scenario.frames;
  while (left > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<int64_t>(left, static_cast<int64_t>(kBlockFrames)));
    generator.next(n, re.data(), im.data());
    writer.write(re.data(), im.data(), n);
    left -= static_cast<int64_t>(n);
  }
  writer.finish();
  return {writer.files(), writer.clipped(), generator.impulses()};
}

std::string truthJson(const Scenario& s, const RecordingResult& r) {
  const SynthConfig& c = s.config;
  std::ostringstream j;
  j << "{\n";
  j << "  \"start\": {\"utc\": " << quoted(formatCivil(s.startUtc)) << ", \"internal\": " << num(s.start.value())
    << ", \"internalwhole\": " << s.start.seconds << ", \"internalfraction\": " << num(s.start.fraction)
    << ", \"leapseconds\": " << s.leapSeconds << ", \"origin\": " << (c.origin || c.date.empty() ? "true" : "false")
    << "},\n";
  j << "  \"samplerate\": {\"nominal\": " << num(c.sr) << ", \"ppm\": " << num(c.ppm)
    << ", \"true\": " << num(s.trueRate) << "},\n";
  j << "  \"frames\": " << s.frames << ",\n";
  j << "  \"duration\": " << num(static_cast<double>(s.frames) / s.trueRate) << ",\n";
  j << "  \"bandcenter\": " << num(c.bandcenter) << ",\n";
  j << "  \"loerror\": " << num(c.loerror) << ",\n";
  j << "  \"basebandfrequency\": " << num(s.basebandFrequency) << ",\n";
  j << "  \"asf\": " << num(c.asf) << ",\n";
  j << "  \"propagationspeed\": " << num(s.propagationSpeed) << ",\n";
  j << "  \"output\": {\"kind\": \"" << (c.kind == OutputKind::Wav ? "wav" : "raw") << "\", \"bits\": " << c.bits
    << ", \"channels\": " << c.channels << ", \"header\": " << (c.kind == OutputKind::Wav ? c.headerBytes : 0)
    << ", \"files\": [";
  for (std::size_t i = 0; i < r.files.size(); ++i) j << (i ? ", " : "") << quoted(r.files[i]);
  j << "]},\n";
  j << "  \"clipped\": " << r.clipped << ",\n";
  j << "  \"impulses\": " << r.impulses << ",\n";
  j << "  \"stations\": [";
  for (std::size_t i = 0; i < s.stations.size(); ++i) {
    const StationTruth& t = s.stations[i];
    j << (i ? ",\n" : "\n") << "    {\"gri\": " << t.gri << ", \"letter\": \"" << t.letter
      << "\", \"name\": " << quoted(t.name) << ", \"master\": " << (t.master ? "true" : "false")
      << ", \"amplitude\": " << num(t.amplitude) << ", \"phase\": " << num(t.phase)
      << ", \"carrierphase\": " << num(t.carrierPhase) << ", \"distance\": " << num(t.distance)
      << ", \"emissiondelay\": " << num(t.emissionDelay) << ", \"propagation\": " << num(t.propagation)
      << ", \"pci\": " << num(t.pci) << ", \"arrival\": " << num(t.arrival)
      << ", \"streamarrival\": " << num(t.streamArrival)
      << ", \"streamarrivalsamples\": " << num(t.streamArrivalSamples) << "}";
  }
  j << (s.stations.empty() ? "]\n" : "\n  ]\n");
  j << "}\n";
  return j.str();
}

std::string truthText(const Scenario& s, const RecordingResult& r) {
  const SynthConfig& c = s.config;
  std::ostringstream o;
  o << "start        " << formatCivil(s.startUtc) << " UTC, internal " << s.start.seconds << "+"
    << fixed(s.start.fraction, 6) << " s since 1958 (" << s.leapSeconds << " leap s)\n";
  o << "sample rate  " << shortNumber(c.sr) << " Hz nominal, " << fixed(s.trueRate, 6) << " Hz true ("
    << shortNumber(c.ppm) << " ppm)\n";
  o << "recording    " << s.frames << " frames, " << fixed(static_cast<double>(s.frames) / s.trueRate, 3) << " s, "
    << c.bits << " bit, " << (c.channels == 2 ? "stereo" : "mono") << ", carrier at "
    << shortNumber(s.basebandFrequency) << " Hz\n";
  o << "written      ";
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    if (i == 3 && r.files.size() > 4) {
      o << " … " << r.files.back();
      break;
    }
    o << (i ? " " : "") << r.files[i];
  }
  o << "\nclipped      " << r.clipped << " values; " << r.impulses << " impulses\n";
  o << "station       distance km  delay us   prop us    arrival s       stream s   stream samples  amp  phase\n";
  for (const StationTruth& t : s.stations) {
    char line[256];
    std::snprintf(line, sizeof line, "%5d%c %-7.7s %10.3f %9.2f %9.3f %14.9f %14.9f %14.3f %6.0f %6.1f\n", t.gri,
                  t.letter, t.name.c_str(), t.distance, t.emissionDelay * 1e6, t.propagation * 1e6, t.arrival,
                  t.streamArrival, t.streamArrivalSamples, t.amplitude, t.carrierPhase);
    o << line;
  }
  return o.str();
}

} // namespace velkor::synth
