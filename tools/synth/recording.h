// Runs a scenario into its output files and reports the truth about it.
//
// Truth file, written as <output>.json (JSON, one object):
//   "start":      {"utc": "yyyy-mm-dd hh:mm:ss.ffffff", "internal": seconds since
//                  1958 on the internal scale, "internalwhole": its whole seconds,
//                  "internalfraction": its fraction, "leapseconds": 0…3,
//                  "origin": true when the recording starts at absolute time 0}
//   "samplerate": {"nominal": Hz, "ppm": …, "true": Hz}
//   "frames", "duration" (s), "bandcenter" (Hz), "loerror",
//   "basebandfrequency" (Hz, where every carrier appears), "asf",
//   "propagationspeed" (m/s),
//   "output":     {"kind": "wav"|"raw", "bits", "channels", "header",
//                  "files": [names]}, "clipped" (values), "impulses" (count),
//   "stations":   [{"gri", "letter", "name", "master", "amplitude" (envelope
//                  peak in sample units), "phase" (configured, deg),
//                  "carrierphase" (deg at stream time 0), "distance" (km),
//                  "emissiondelay" (s), "propagation" (s), "pci" (s),
//                  "arrival" (s within the PCI on the 1958 grid),
//                  "streamarrival" (s: first pulse start after the first sample),
//                  "streamarrivalsamples" (the same in samples at the true rate)}]
// Times of arrival are pulse starts (envelope time 0); the envelope peaks 65 µs later.
#pragma once

#include "scenario.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velkor::synth {

struct RecordingResult {
  std::vector<std::string> files;
  int64_t clipped = 0;
  int64_t impulses = 0;
};

// Makes and writes all samples; throws std::runtime_error on file errors.
RecordingResult writeRecording(const Scenario& scenario);

std::string truthJson(const Scenario& scenario, const RecordingResult& result);
std::string truthText(const Scenario& scenario, const RecordingResult& result);

} // namespace velkor::synth
