// The settings part of the run's record: every setting under its
// configuration key, the settings derived from them and the configuration
// lists. The configuration reader and start-up write it; after start-up every
// subsystem reads it as const. Values the receiver changes while it runs (the
// sample-rate estimate, the oscillator offset, date and time) live in the
// working parts, initialised from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkor {

inline constexpr int kStationCapacity = 200;   // [stations] entries
inline constexpr int kTaiCapacity = 10;        // [taisync] entries
inline constexpr int kChainDelayCapacity = 20; // [chaindelay] entries
inline constexpr int kTapCapacity = 20;        // [firfilter] taps

// One [stations] line as read: signed GRI (negative asks for blanking) and letter.
struct StationEntry {
  int32_t gri = 0;   // [10 us], negative: blank this station
  char letter = ' '; // upper case
};

struct TaiEntry {
  int32_t gri = 0;   // [10 us]
  char letter = ' '; // upper case
  float value = 0;   // weight in the ambiguity search [1/s]
};

struct ChainDelayEntry {
  int32_t gri = 0; // [10 us]
  float delay = 0; // [ms]
};

struct Settings {
  // ---- Settings, under their configuration keys ----------------------------
  // [location]
  double lat = 51.4779; // receiver latitude, north positive [deg]
  double lon = -0.0015; // receiver longitude, east positive [deg]
  // [file]
  std::string bmp = "velkor.bmp";      // image file name
  std::string table = "table.txt";     // station table file name
  std::string inputfile = "audio.dat"; // sample input file name (keys wav / dat)
  int32_t wavinput = 0;                // 1: inputfile is a WAV recording, 0: raw files
  std::string date;                    // stream start date "MM-DD-YYYY" or "YYYY-MM-DD" (the PC date when not given)
  std::string time;                    // stream start time of day "HH:MM:SS[.s]" (the PC time when not given)
  int16_t dategiven = 0;               // flag: the configuration gave date (checked at start-up)
  int16_t timegiven = 0;               // flag: the configuration gave time (checked at start-up)
  int16_t bytespersample = 2;          // [bytes] per channel value (key bits)
  int16_t channels = 2;                // values per sample frame (keys stereo / mono)
  float biasreal = 0;                  // DC bias of the real channel [sample units]
  float biasimag = 0;                  // DC bias of the imaginary channel [sample units]
  int32_t fileblocklen = 0;            // [samples] per block, 0: derived from sr
  float filescale = 1.0f;              // factor on every decoded sample
  std::string bmpcmd;                  // command run after image rows
  int32_t bmpcmdcount = 1;             // [rows] (> 0) or [hour ticks] (< 0) between bmpcmd runs
  int16_t bmperrorhandling = 0;        // 0 fatal, 1 retry, 2 retry and print error codes
  std::string log;                     // measurement log file name, empty: no log
  int16_t kiwistamps = 0;              // not 0: a WAV's KiwiSDR GPS time stamps give start time and sr
  // [frequency]
  double sr = 22050.0;     // nominal sample rate [Hz]; the running estimate is Acquisition::sr
  double looffset = 0.0;   // digital oscillator shift at the start [Hz]; lodrift moves Acquisition::looffset
  float lodrift = 0;       // change of looffset [Hz/s]
  float srcorr = 1.0f;     // sample-clock loop gain [Hz/point]
  int32_t phasecorr = 1;   // follow the reference carrier phase
  float jittercorr = 1.0f; // drift correction weight of the image high-pass
  double bandcenter = 0.0; // carrier offset; non-zero switches mixing on [Hz]
  float srlofactor = 0;    // sr deviation to oscillator drift [us/s/Hz]
  float srlooffset = 0;    // fixed relative oscillator offset [1]
  float srsearch = 0;      // [ppm] bound of the sample-rate search before the loop, 0 off
  // [pll]
  std::string pllcommand = "Corvex1 /testsig="; // oscillator command prefix
  double pllcenter = 900.0;                     // centre of the command argument
  float plllow = 0;                             // lower limit of the argument
  float pllhigh = 0;                            // upper limit of the argument
  float pllfactort = 10.0f;                     // gain on the oscillator time offset [1/us]
  float pllfactorf = 2000000000.0f;             // gain on the relative frequency deviation
  float plldither = 0;                          // amplitude of the random term
  float pllaveragef = 0.1f;                     // averaging factor of pllavgfreq
  float pllavfini = 0;                          // start value of Processing::pllavgfreq [1]
  float ffactor = 0;                            // gain on the averaged frequency difference
  float srloavfac = 0;                          // averaging factor of srloavg
  float srloavini = 0;                          // srloavg while not locked [1]
  // [time]
  float shortintegration = 30.0f; // [s] of stream per short integration
  int32_t longintegration = 10;   // [short integrations] per image row
  int32_t displaysamples = 24;    // [points] per station window
  int32_t utcoffset = 0;          // [h] local PC time ahead of UTC
  float clockoffset = 0;          // [s] added to the internal time scale
  float timercalavfac = 0.01f;    // averaging factor of the timer calibration
  float sleeptime = 0;            // [s] between attempts to open a raw file
  float asf = 1.008f;             // divisor of the propagation speed
  int32_t notices = 0;            // not 0: lock, re-synchronisation and wait notices on stderr
  double rawlatency = 0;          // [ms] a raw file's hand-over: its last sample's capture to its opening
  int16_t rawlatencygiven = 0;    // flag: rawlatency was set, raw files are stamped by their capture
  float receiverdelay = 0;        // [ms] added to every station's predicted arrival
  // [amplitude]
  int32_t colour = 1;              // 0 grey image, otherwise phase colour
  float gamma = 1.0f;              // exponent of the linear brightness scale
  float dbrange = 0;               // [dB] of the logarithmic scale, 0: linear
  float fullscale = 200.0f;        // [sample units] shown at full brightness
  float normalizedistance = 0;     // [km] reference distance, 0 off
  float normalizepower = 0;        // [kW] reference power, 0 off
  float blankingoffsetcorr = 1.0f; // gain of the bias estimate from blanked stations
  float hipass = 0.1f;             // high-pass weight of the image rendering
  float edgelevel = 0.4f;          // edge threshold, relative below 1
  float phasereference = 0;        // [deg] reference phase
  int32_t referencestation = 0;    // index of the reference station
  int16_t firstblankedsample = 3;  // [points] first point removed after a blanked pulse
  int16_t lastblankedsample = 10;  // [points] last point removed
  int16_t notch100khz = 1;         // remove the measured DC offset (else the bias)
  float xrcdelay7950 = 1.06f;      // [ms] alternating offset of GRI-7950 cross-rate strips
  int16_t nb = 0;                  // noise blanker: 0 off, 2 unblanked stations, else all
  float nbinit = 10000.0f;         // initial blanker threshold [sample units^2]
  float nbfac = 2.0f;              // threshold over mean power
  float nbupdate = 0.1f;           // weight of each threshold update
  int16_t nbspread = 2;            // [points] each side taken into an update
  float nbcorr = 1.0f;             // weight of the blanker correction
  // [firfilter]
  int32_t firbegin = 0; // [points] offset of the first tap
  // [taisync]
  float searchrange = 3700.0f; // [s] range of the ambiguity search
  double integrationtime = 0;  // [s] of stream averaged for the synchronisation
  float resynclimit = 0;       // edge amplitude needed for lock [sample units]
  float clockerrorlimit = 0;   // [s] largest PC clock offset, 0 off
  int16_t syncverbose = 0;     // detailed synchronisation lines
  // [stations]
  int32_t hidden = 0;           // [stations] at the end of the list not drawn
  int32_t blankedstns = 0;      // most [stations] that may be blanked
  float blankingdistance = 0;   // [km] nearer stations are blanked
  int32_t singlepulses = 0;     // [pulses] per phase-code interval for every station, 0 off
  int16_t printstationlist = 0; // write "stations.txt"
  // Derived settings
  int32_t pulseoffset = 6;     // [points] window start before the predicted pulse
  float srcorrroot = 1.0f;     // sqrt(|srcorr|)
  int16_t fullscaleknee = 0;   // fullscale was given with a trailing "+"
  float edgelevelabs = 0;      // absolute edge threshold, 0: relative [sample units]
  int16_t pllcommandgiven = 0; // pllcommand was configured: run it

  // ---- Configuration lists -----------------------------------------------
  std::vector<TaiEntry> taientries;         // [taisync], file order
  std::vector<StationEntry> stationentries; // [stations], file order
  std::vector<ChainDelayEntry> chaindelays; // [chaindelay], file order
  std::vector<float> tapre;                 // FIR taps, real part
  std::vector<float> tapim;                 // FIR taps, imaginary part

  // [taisync] entries: the synchronisation entries that index every tai array.
  int32_t taicount() const { return static_cast<int32_t>(taientries.size()); }
};

} // namespace velkor
