// Helpers of the end-to-end suite: recordings made by velkor-synth with their
// truth, runs of the real velkor program, and readers of what velkor shows
// (console lines, the TAI line, the status lines, the image strips).
//
// The scene most scenarios use: a receiver near Brest on 1 March 2015 that
// hears the chains 7499 and 6731 (Lessay and Sylt on 7499, Soustons and Sylt
// on 6731), taken from the shipped station table so that velkor-synth and
// velkor place the stations with the same data.
#pragma once

#include "image/bmpreader.h"
#include "support/testplatform.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace velkor::e2e {

// ---- Settings files ---------------------------------------------------------

// The text of an INI file, built section by section in the order the sections
// are first named. Setting a key again replaces its earlier line.
class Settings {
public:
  // `key = value`, or the key alone (a flag or a list entry) when value is empty.
  Settings& set(const std::string& section, const std::string& key, const std::string& value = "");
  Settings& set(const std::string& section, const std::string& key, double value);
  Settings& erase(const std::string& section, const std::string& key);
  std::string text() const;

private:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> lines; // key, value
  };
  std::vector<Section> sections_;
};

// A number as the settings files write it: up to 15 significant digits.
std::string number(double value);

// The station table shipped with velkor.
std::string stationTable();

// One station of a scene: its [stations] key, the synth's relative amplitude
// and extra carrier phase [degrees].
struct SceneStation {
  std::string key; // e.g. "7499x"
  double amplitude = 1.0;
  double phase = 0.0;
};

// 7499 X Lessay (the reference, strongest), 7499 M Sylt, 6731 X Soustons, 6731 Z Sylt.
std::vector<SceneStation> twoChains();

// velkor-synth settings of the scene: a WAV file "rec.wav" with velkor's
// 46-byte header, 16-bit stereo, starting at `start` UTC on 03-01-2015, with
// Gaussian noise of rms 300 and stations of peak 2000 × amplitude.
Settings synthScene(double samplerate, double seconds, const std::vector<SceneStation>& stations,
                    const std::string& start = "12:00:00");

// velkor settings for the same scene: the WAV input "rec.wav" at the nominal
// rate, its date and the time 12:00:00, a grey image "image.bmp" with
// fullscale 4000, short integrations of 2 s and image rows of two of them,
// 24 points per station, and every scene station in [stations].
Settings receiverScene(double samplerate, const std::vector<SceneStation>& stations);

// ---- The truth of a recording ---------------------------------------------

struct StationTruth {
  int gri = 0;
  std::string letter;
  double amplitude = 0;            // envelope peak [sample units]
  double carrierphase = 0;         // carrier phase at stream time 0 [degrees]
  double pci = 0;                  // [s]
  double arrival = 0;              // pulse start after a PCI start of the 1958 grid [s]
  double streamarrival = 0;        // first pulse start after the first sample [s]
  double streamarrivalsamples = 0; // the same in samples at the true rate
};

struct Truth {
  bool valid = false;
  std::string startutc;        // "yyyy-mm-dd hh:mm:ss.ffffff"
  double startinternal = 0;    // [s] since 1958 on the internal scale
  bool origin = false;         // the recording starts at absolute time 0
  double nominalrate = 0;      // [Hz]
  double truerate = 0;         // [Hz]
  double loerror = 0;          // relative frequency error of the local oscillator
  double basebandfrequency = 0; // [Hz] of the carrier in I + jQ
  double duration = 0;         // [s] at the true rate
  std::vector<StationTruth> stations;
};

// Reads the truth file of velkor-synth (one JSON object, numbers with 17 digits).
Truth parseTruth(const std::string& json);

// Runs velkor-synth in `dir` on `settings` (written as synth.ini) and returns
// the truth read from `truthFile`. A failing run is a test failure, and the
// truth then comes back with valid = false.
Truth synthesise(const test::ScratchDir& dir, const Settings& settings, const std::string& truthFile = "rec.wav.json");

// Seconds of the day of a "hh:mm:ss[.fff…]" text, or of the time part of the
// truth's "yyyy-mm-dd hh:mm:ss.ffffff".
double secondsOfDay(const std::string& text);

// ---- velkor runs and their console --------------------------------------------

// Writes `settings` as velkor.ini into `dir` and runs velkor on it there.
test::ProcessResult runReceiver(const test::ScratchDir& dir, const Settings& settings);

// The console text split at the line ends "\r\n" (a last piece without a line end is kept).
std::vector<std::string> consoleLines(const std::string& out);

struct StatusLine {
  std::string time;         // "hh:mm:ss"
  std::optional<double> pc; // [s], raw input only
  double max = 0;
  double edge = 0;          // [points]
  double sr = 0;            // [Hz]
  double lo = 0;            // relative frequency
  double lotime = 0;        // [µs]
};

// A console line read as a status line, or nothing when it is none.
std::optional<StatusLine> parseStatusLine(const std::string& line);
std::vector<StatusLine> statusLines(const std::string& out);

struct SyncResult {
  bool match = false;   // "TAI match" rather than "TAI guess"
  double offset = 0;    // [s]
  double error = 0;     // rms of the weighted residuals
  std::string ut;       // "hh:mm:ss.mmm"
};

// The first "TAI match" or "TAI guess" line of the console text.
std::optional<SyncResult> syncResult(const std::string& out);

// ---- The image ------------------------------------------------------------------

// One station's strip, averaged over image rows. Columns 0 and 1 carry the
// hour ticks and are left out of `peak` and `floor`.
struct Strip {
  std::vector<double> level; // mean grey level of every column
  int peak = -1;             // brightest column
  double peaklevel = 0;
  double floor = 0;          // median level of the columns from 2 on
};

Strip readStrip(const test::BmpImage& image, int station, int displaysamples, int firstRow = 0);

// The grey level of a pulse of peak `amplitude` drawn with `fullscale`.
double fullGrey(double amplitude, double fullscale);

// Where the brightest point of a pulse lies in the window once the sample
// clock loop holds the reference edge at point 5: the edge threshold (0.4 of
// the peak) is reached 21 µs after the pulse start, the envelope peaks 65 µs
// after it, so the peak is 44 µs behind point 5.
double trackedPeakColumn(double samplerate);

// ---- A velkor run under the test's control ---------------------------------------

// velkor started with stdin, stdout and stderr on pipes, so that the test can
// type keys while it runs; optionally with a limit on the size of the files it
// writes (SIGXFSZ ignored, so that a write beyond the limit fails with EFBIG).
class RunningReceiver {
public:
  RunningReceiver(const test::ScratchDir& dir, const Settings& settings, int64_t fileSizeLimit = -1);
  ~RunningReceiver();
  RunningReceiver(const RunningReceiver&) = delete;
  RunningReceiver& operator=(const RunningReceiver&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  void type(const std::string& keys);
  // Lifts the limit on the size of the files the program writes.
  bool liftFileSizeLimit();
  // Waits for the end of the program; after `timeoutSeconds` it is killed
  // (status 128 + 9). Returns the status and everything it wrote.
  test::ProcessResult finish(double timeoutSeconds);

private:
  pid_t pid_ = -1;
  int status_ = -1;
  int input_ = -1;
  std::string out_;
  std::string err_;
  std::thread outReader_;
  std::thread errReader_;
};

// Polls `condition` every few milliseconds until it holds or `timeoutSeconds` pass.
bool waitUntil(const std::function<bool()>& condition, double timeoutSeconds);

} // namespace velkor::e2e
