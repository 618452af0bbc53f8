// The synthesiser's settings file.
//
// Format: the receiver's INI style.
//   - Everything from the first ";" and then from the first "'" on is a comment.
//   - Leading and trailing blanks are removed and the line is lower-cased,
//     except the values of the file names (table, wav, dat), which keep case.
//   - "[name]" starts a section; "key = value" sets a key, a line without "="
//     is a flag. Numbers are read from the start of the value; no number is 0.
//   - Unknown sections and keys are ignored; a repeated key takes its last value.
//
// Sections and keys (defaults in brackets):
//   [location]  lat, lon                 receiver position, degrees N/E [0, 0]
//   [file]      table = name             station table ["table.txt"]
//               wav = name | dat = name  output, WAV or raw ["synth.wav"]
//               split = s                raw: files of s seconds name.000 … [0: one]
//               header = 44 | 46         WAV header length [44]
//               bits = 8 | 16            sample width (8 or less: 8 bit) [16]
//               stereo | mono            channels: I and Q, or I only [stereo]
//               date = mm-dd-yyyy        true UTC start date (also yyyy-mm-dd)
//               time = hh:mm:ss[.fff]    true UTC start time [00:00:00]
//               origin                   start at absolute time 0 (the default
//                                        when no date is given)
//               kiwistamps = 1           WAV as a KiwiSDR writes it: per 512
//                                        frames a "kiwi" GPS time stamp (the
//                                        first all zeros) and a data chunk [0]
//   [frequency] sr                       nominal sample rate, in the header [48000]
//               ppm                      sample-clock error; true rate
//                                        = sr · (1 + ppm · 1e-6) [0]
//               bandcenter               carrier appears at −bandcenter Hz [0]
//               loerror                  relative frequency error of the local
//                                        oscillator (1e-9 = 1 ppb) [0]
//   [time]      duration                 seconds of recording [60]
//               asf                      divisor of the propagation speed [1.008]
//   [signal]    amplitude                envelope peak of relative amplitude 1,
//                                        in output sample units [1000]
//               noise                    Gaussian noise rms per channel [0]
//               seed                     noise seed [1]
//               dc = re, im              DC offset [0, 0]
//               impulserate              impulses per second [0]
//               impulseamplitude         impulse peak [0]
//               cwfrequency, cwamplitude CW interferer in baseband Hz, peak [0, 0]
//               pulseend                 envelope cut-off after the pulse start, µs [500]
//   [stations]  7499m = a, p             a station heard: GRI and letter; relative
//                                        amplitude a [1] and extra carrier phase p
//                                        in degrees [0]; list, in file order
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::synth {

struct StationEntry {
  int32_t gri = 0;      // [10 us]
  char letter = 'M';    // upper case
  double amplitude = 1; // relative
  double phase = 0;     // extra carrier phase [deg]
};

enum class OutputKind { Wav, Raw };

struct SynthConfig {
  double lat = 0; // [deg] north positive
  double lon = 0; // [deg] east positive
  std::string table = "table.txt";
  std::string output = "synth.wav";
  OutputKind kind = OutputKind::Wav;
  double split = 0;              // raw: seconds per file, 0 one file
  int headerBytes = 44;          // WAV header: 44 or 46
  int bits = 16;                 // 8 or 16
  int channels = 2;              // 2: I then Q; 1: I only
  std::string date;              // true UTC start date, empty: grid origin
  std::string time = "00:00:00"; // true UTC start time of day
  bool origin = false;           // start at absolute time 0
  bool kiwistamps = false;       // KiwiSDR layout: "kiwi" GPS stamps before data chunks of 512 frames
  double sr = 48000;             // nominal sample rate [Hz]
  double ppm = 0;                // sample-clock error [1e-6]
  double bandcenter = 0;         // [Hz]
  double loerror = 0;            // relative local-oscillator error
  double duration = 60;          // [s]
  double asf = 1.008;
  double amplitude = 1000; // envelope peak of relative amplitude 1
  double noise = 0;        // rms per channel
  uint64_t seed = 1;
  double dcre = 0;
  double dcim = 0;
  double impulserate = 0; // [1/s]
  double impulseamplitude = 0;
  double cwfrequency = 0; // [Hz] baseband
  double cwamplitude = 0;
  double pulseend = 500; // [us]
  std::vector<StationEntry> stations;
};

// Applies the lines of a settings text to defaults and returns the settings.
SynthConfig parseSynthConfig(std::string_view text);

// Reads a settings file; throws std::runtime_error when it cannot be read.
SynthConfig readSynthConfig(const std::string& fileName);

// Empty when the settings can be synthesised, otherwise the reason.
std::string checkSynthConfig(const SynthConfig& config);

} // namespace velkor::synth
