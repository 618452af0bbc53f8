// The program state record: every setting under its configuration key and all
// working data of the receiver. One record exists per run; every operation
// takes it explicitly. Arrays are sized at start-up and zero-filled then.
#pragma once

#include "platform/files.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velkor {

struct Platform;

inline constexpr int kPatternSlots = 18;       // pulse slots per phase-code interval, at most
inline constexpr int kStationCapacity = 200;   // [stations] entries
inline constexpr int kTaiCapacity = 10;        // [taisync] entries
inline constexpr int kChainDelayCapacity = 20; // [chaindelay] entries
inline constexpr int kTapCapacity = 20;        // [firfilter] taps
inline constexpr int kCandidateSlots = 4;      // synchronisation peaks per entry

// Loran-C phase-code signs: nine-pulse pattern (GRI A, GRI B), then eight-pulse.
inline constexpr const char* kPhaseCodes = "1100101011001111101111100110101100";

// Sign of the phase code at `character` (from 0) of kPhaseCodes: "1" is +1, "0" is -1.
inline int16_t phaseCodeSign(int character) { return kPhaseCodes[character] == '1' ? 1 : -1; }

// One [stations] line as read: signed GRI (negative asks for blanking) and letter.
struct StationEntry {
  int32_t gri = 0;    // [10 us], negative: blank this station
  char letter = ' ';  // upper case
};

struct TaiEntry {
  int32_t gri = 0;    // [10 us]
  char letter = ' ';  // upper case
  float value = 0;    // weight in the ambiguity search [1/s]
};

struct ChainDelayEntry {
  int32_t gri = 0;    // [10 us]
  float delay = 0;    // [ms]
};

struct State {
  // ---- Settings, under their configuration keys ----------------------------
  // [location]
  double lat = 51.4779;  // receiver latitude, north positive [deg]
  double lon = -0.0015;  // receiver longitude, east positive [deg]
  // [file]
  std::string bmp = "velkor.bmp";      // image file name
  std::string table = "table.txt";     // station table file name
  std::string inputfile = "audio.dat"; // sample input file name (keys wav / dat)
  int32_t wavinput = 0;                // 1: inputfile is a WAV recording, 0: raw files
  std::string date;                    // stream start date "MM-DD-YYYY"
  std::string time;                    // stream start time of day "HH:MM:SS"
  int16_t bytespersample = 2;          // [bytes] per channel value (key bits)
  int16_t channels = 2;                // values per sample frame (keys stereo / mono)
  float biasreal = 0;                  // DC bias of the real channel [sample units]
  float biasimag = 0;                  // DC bias of the imaginary channel [sample units]
  int32_t fileblocklen = 0;            // [samples] per block, 0: derived from sr
  float filescale = 1.0f;              // factor on every decoded sample
  std::string bmpcmd;                  // command run after image rows
  int32_t bmpcmdcount = 1;             // [rows] (> 0) or [hour ticks] (< 0) between bmpcmd runs
  int16_t bmperrorhandling = 0;        // 0 fatal, 1 retry, 2 retry and print error codes
  // [frequency]
  double sr = 22050.0;        // sample rate estimate [Hz]
  double looffset = 0.0;      // digital oscillator shift [Hz]
  float lodrift = 0;          // change of looffset [Hz/s]
  float srcorr = 1.0f;        // sample-clock loop gain [Hz/point]
  int32_t phasecorr = 1;      // follow the reference carrier phase
  float jittercorr = 1.0f;    // drift correction weight of the image high-pass
  double bandcenter = 0.0;    // carrier offset; non-zero switches mixing on [Hz]
  float srlofactor = 0;       // sr deviation to oscillator drift [us/s/Hz]
  float srlooffset = 0;       // fixed relative oscillator offset [1]
  float srsearch = 0;         // [ppm] bound of the sample-rate search before the loop, 0 off
  // [pll]
  std::string pllcommand = "Corvex1 /testsig="; // oscillator command prefix
  double pllcenter = 900.0;       // centre of the command argument
  float plllow = 0;               // lower limit of the argument
  float pllhigh = 0;              // upper limit of the argument
  float pllfactort = 10.0f;       // gain on the oscillator time offset [1/us]
  float pllfactorf = 2000000000.0f; // gain on the relative frequency deviation
  float plldither = 0;            // amplitude of the random term
  float pllaveragef = 0.1f;       // averaging factor of pllavgfreq
  float pllavfini = 0;            // start value of pllavgfreq [1]
  float ffactor = 0;              // gain on the averaged frequency difference
  float srloavfac = 0;            // averaging factor of srloavg
  float srloavini = 0;            // srloavg while not locked [1]
  // [time]
  float shortintegration = 30.0f; // [s] of stream per short integration
  int32_t longintegration = 10;   // [short integrations] per image row
  int32_t displaysamples = 24;    // [points] per station window
  int32_t utcoffset = 0;          // [h] local PC time ahead of UTC
  float clockoffset = 0;          // [s] added to the internal time scale
  float timercalavfac = 0.01f;    // averaging factor of the timer calibration
  float sleeptime = 0;            // [s] between attempts to open a raw file
  float asf = 1.008f;             // divisor of the propagation speed
  int32_t notices = 0;            // print lock, re-synchronisation and wait notices on stderr
  // [amplitude]
  int32_t colour = 1;             // 0 grey image, otherwise phase colour
  float gamma = 1.0f;             // exponent of the linear brightness scale
  float dbrange = 0;              // [dB] of the logarithmic scale, 0: linear
  float fullscale = 200.0f;       // [sample units] shown at full brightness
  float normalizedistance = 0;    // [km] reference distance, 0 off
  float normalizepower = 0;       // [kW] reference power, 0 off
  float blankingoffsetcorr = 1.0f;// gain of the bias estimate from blanked stations
  float hipass = 0.1f;            // high-pass weight of the image rendering
  float edgelevel = 0.4f;         // edge threshold, relative below 1
  float phasereference = 0;       // [deg] reference phase
  int32_t referencestation = 0;   // index of the reference station
  int16_t firstblankedsample = 3; // [points] first point removed after a blanked pulse
  int16_t lastblankedsample = 10; // [points] last point removed
  int16_t notch100khz = 1;        // remove the measured DC offset (else the bias)
  float xrcdelay7950 = 1.06f;     // [ms] alternating offset of GRI-7950 cross-rate strips
  int16_t nb = 0;                 // noise blanker: 0 off, 2 unblanked stations, else all
  float nbinit = 10000.0f;        // initial blanker threshold [sample units^2]
  float nbfac = 2.0f;             // threshold over mean power
  float nbupdate = 0.1f;          // weight of each threshold update
  int16_t nbspread = 2;           // [points] each side taken into an update
  float nbcorr = 1.0f;            // weight of the blanker correction
  // [firfilter]
  int32_t firbegin = 0;           // [points] offset of the first tap
  // [taisync]
  float searchrange = 3700.0f;    // [s] range of the ambiguity search
  double integrationtime = 0;     // [s] of stream averaged for the synchronisation
  float resynclimit = 0;          // edge amplitude needed for lock [sample units]
  float clockerrorlimit = 0;      // [s] largest PC clock offset, 0 off
  int16_t syncverbose = 0;        // detailed synchronisation lines
  // [stations]
  int32_t hidden = 0;             // [stations] at the end of the list not drawn
  int32_t blankedstns = 0;        // most [stations] that may be blanked
  float blankingdistance = 0;     // [km] nearer stations are blanked
  int32_t singlepulses = 0;       // [pulses] per phase-code interval for every station, 0 off
  int16_t printstationlist = 0;   // write "stations.txt"
  // Derived settings
  int32_t pulseoffset = 6;        // [points] window start before the predicted pulse
  float srcorrroot = 1.0f;        // sqrt(|srcorr|)
  int16_t fullscaleknee = 0;      // fullscale was given with a trailing "+"
  float edgelevelabs = 0;         // absolute edge threshold, 0: relative [sample units]
  int16_t pllcommandgiven = 0;    // pllcommand was configured: run it

  // ---- Configuration lists -----------------------------------------------
  std::vector<TaiEntry> taientries;          // [taisync], file order
  std::vector<StationEntry> stationentries;  // [stations], file order
  std::vector<ChainDelayEntry> chaindelays;  // [chaindelay], file order
  std::vector<float> tapre;                  // FIR taps, real part
  std::vector<float> tapim;                  // FIR taps, imaginary part
  int32_t taicount = 0;        // synchronisation entries
  int32_t stationcount = 0;    // configured stations
  int32_t chaindelaycount = 0; // chain delays
  int32_t tapcount = 0;        // FIR taps

  // ---- Configured stations (index = [stations] order) --------------------
  std::vector<int32_t> stationgri;        // [10 us]
  std::vector<char> stationletter;        // upper case
  std::vector<int16_t> stationblanked;    // 1: pulses removed after integration
  std::vector<float> stationchaindelay;   // [ms]
  std::vector<std::string> stationname;   // from the table, empty when not found
  std::vector<float> stationdelay;        // emission delay incl. chain delay [ms]
  std::vector<float> stationpower;        // [kW]
  std::vector<float> stationdistance;     // [km], 0 when not found
  int16_t blankedcount = 0;               // [stations] blanked
  int32_t displayedstations = 0;          // [stations] drawn: stationcount - hidden

  // ---- Synchronisation entries (index = [taisync] order) -----------------
  std::vector<int32_t> taigri;            // [10 us]
  std::vector<char> tailetter;            // upper case
  std::vector<float> taivalue;            // weight [1/s]
  std::vector<float> taichaindelay;       // [ms]
  std::vector<float> taidelay;            // emission delay incl. chain delay [ms]
  std::vector<float> taidistance;         // [km], 0 when not found
  std::vector<double> tailineoffset;      // GRI harmonic nearest bandcenter minus bandcenter [Hz]

  // ---- Pulse patterns and processing order -------------------------------
  std::vector<int32_t> pulsecount;                                 // [slots] per phase-code interval
  std::vector<std::array<double, kPatternSlots>> pulseinterval;    // [s] slot k to k + 1
  std::vector<std::array<int16_t, kPatternSlots>> pulsesign;       // +1 / -1 per slot
  std::vector<float> blankingweight;       // share of time left after earlier blanking [1]
  std::vector<int32_t> stationorder;       // station indices, blanked stations first
  float propagationspeed = 0;              // [m/s]
  int16_t blanklength = 0;                 // [points] removed after a blanked pulse

  // ---- Stream clock and sample buffer -------------------------------------
  double blockstart = 0;       // stream time of buffer index 0 [s]
  double blockend = 0;         // stream time of the end of the buffer [s]
  int32_t newsamples = 0;      // [samples] decoded from the last block
  int32_t overlap = 0;         // [samples] kept from the previous buffer
  int32_t blocklength = 0;     // [samples] per block
  int32_t buffersize = 0;      // [samples] overlap + blocklength
  int32_t blockbytes = 0;      // [bytes] in one full block
  int64_t inputremaining = 0;  // [bytes] of samples not read yet
  double nominalsr = 0;        // sr as configured [Hz]
  double timeorigin = 0;       // absolute time of stream time 0 [s since 1958]
  std::vector<int16_t> samplere;   // [sample units]
  std::vector<int16_t> sampleim;   // [sample units]
  std::vector<float> samplepower;  // re^2 + im^2 [sample units^2]
  // Block decoder
  File input;                  // the open sample input
  int64_t wavchunkremaining = 0; // [bytes] of samples before the next chunk header (the whole file when it has none)
  int16_t wavchunkpad = 0;     // [bytes] pad after the current WAV data chunk, 0 or 1
  std::vector<uint8_t> blockbuffer; // raw bytes of one block
  float losamplerate = 0;      // sr at start-up, the oscillator's rate [Hz]
  float lophase = 0;           // oscillator phase [cycles], in [0, 1)
  float lore = 0;              // oscillator value, real part
  float loim = 0;              // oscillator value, imaginary part
  int16_t locount = 0;         // [samples] since the oscillator was set from lophase
  float dcsumre = 0;           // sum of retired real values [sample units]
  float dcsumim = 0;           // sum of retired imaginary values [sample units]
  float dccount = 0;           // [samples] retired

  // ---- Pacing and PC clock -------------------------------------------------
  double timeroffset = 0;      // timer minus time of day [s]
  int32_t clockconfidence = 0; // recent agreeing readings, 0 ... 3
  double pcclock = 0;          // PC time of day [s]
  float opentime = 0;          // pcclock - 0.05 when the raw file was opened [s]
  float pcbuffertime = 0;      // PC time of the buffer end on the stream scale [s of day]
  float pcoffset = 0;          // PC time minus stream time at the buffer end [s]

  // ---- Calendar ------------------------------------------------------------
  double clocktime = 0;        // clock's estimate of the internal time [s since 1958]
  int32_t leapseconds = 0;     // [s] counted from the date

  // ---- Station integration -------------------------------------------------
  std::vector<float> arrivaloffset;    // [s] emission delay plus propagation
  std::vector<double> arrivalphase;    // [s] arrival of pulse 0 within the interval
  std::vector<double> nextpulse;       // stream time of the next window start [s]
  std::vector<int32_t> pulseindex;     // [slot] of the next pulse
  std::vector<int32_t> pulsesintegrated; // [pulses] in this short integration
  std::vector<float> roundingresidue;  // [samples] summed position - index
  std::vector<int32_t> signsum;        // sum of the signs used
  std::vector<int32_t> shortsumre;     // per point [sample units]
  std::vector<int32_t> shortsumim;     // per point [sample units]
  std::vector<float> longsumre;        // per point [sample units]
  std::vector<float> longsumim;        // per point [sample units]
  std::vector<float> longdrift;        // per station [samples]
  std::vector<float> nbpowersum;       // per point [sample units^2]
  std::vector<float> nbthreshold;      // per point [sample units^2]
  std::vector<float> nbblankcount;     // per point [samples]
  int32_t gri6000count = 0;            // [stations] with GRI 6000
  int32_t gri7950count = 0;            // [stations] with GRI 7950
  int32_t crossrateindex = 0;          // 0, -2, -6 or -8
  float phaserefcos = 1.0f;            // cos(phasereference)
  float phaserefsin = 0;               // sin(phasereference)

  // ---- Cycle control -------------------------------------------------------
  float shortmark = 0;         // stream time the short integration began [s]
  int32_t rowpasscounter = 0;  // [short integrations] since the last image row
  int32_t resyncrequests = 0;  // pending re-synchronisation requests
  int32_t lockcount = 0;       // consecutive strong periods, 0 ... 4

  // ---- Oscillator tracking and status line ----------------------------------
  std::vector<float> envelope; // per point of the reference window [sample units]
  float edgemax = 0;           // largest envelope in the search window [sample units]
  float edgefrac = 0;          // [points] between k and k + 1
  float edgeposition = 0;      // [points]
  float edgere = 0;            // reference value at the edge [sample units]
  float edgeim = 0;            // [sample units]
  float edgeamplitude = 0;     // [sample units]
  float edgephase = 0;         // [rad] in [0, 2 pi)
  float lastphase = 0;         // [cycles]
  float relfreq = 0;           // relative oscillator frequency error [1]
  float lotime = 0;            // accumulated oscillator time offset [us]
  float srlodrift = 0;         // expected drift over one period [us]
  float lodisplay = 0;         // lotime shown while locked [us]
  float pllavgfreq = 0;        // average of relfreq [1]
  float srloavg = 0;           // average expected drift rate [1]
  double pllvalue = 0;         // oscillator command argument
  int32_t currenthour = -1;    // [h] of the last shown stream time

  // ---- Transfer into the long averages ---------------------------------------
  float phaserotre = 1.0f;     // reference rotation, real part
  float phaserotim = 0;        // reference rotation, imaginary part
  float dcmeanre = 0;          // [sample units] per sample
  float dcmeanim = 0;          // [sample units] per sample
  float workbiasre = 0;        // [sample units]
  float workbiasim = 0;        // [sample units]

  // ---- Image -----------------------------------------------------------------
  int32_t bytesperpixel = 0;   // [bytes] 1 grey, 3 colour
  int32_t palettebytes = 0;    // [bytes] 1024 grey, 0 colour
  int32_t imagewidth = 0;      // [pixels] per row, multiple of 4
  int32_t imageheight = 0;     // [rows]
  int32_t imagefilesize = 0;   // [bytes]
  std::vector<uint8_t> rowbuffer; // the row being built
  int32_t markedhour = 0;      // [h] of the last hour tick
  int16_t hourtick = 0;        // this row carries hour ticks
  int32_t bmpcmdcounter = 0;   // [rows] or [ticks] before bmpcmd runs again
  float cosphi = 0;            // colour phase of the last pixel
  float sinphi = 0;

  // ---- TAI synchronisation ---------------------------------------------------
  double syncoffset = 0;                                   // [s] timeorigin - clocktime
  std::vector<int32_t> taiwindows;                         // [phase-code intervals] averaged
  std::vector<std::array<float, kCandidateSlots>> taicandamp;  // peak amplitudes [sample units]
  std::vector<std::array<float, kCandidateSlots>> taicandtime; // peak positions [s]
  std::vector<float> taiexpected;                          // [s] within the interval
  std::vector<float> taimeasured;                          // [s] within the interval
  int16_t taiskipwarned = 0;                               // flag: the skip for want of [taisync] entries was reported
};

// Sizes an array and fills it with zeros (or empty texts), as every array is
// when it is dimensioned.
template <typename T>
void dimension(std::vector<T>& array, int64_t entries) {
  array.assign(static_cast<std::size_t>(entries), T{});
}

// Reads and decodes one block into the sample buffer (the real one is
// readBlock; tests substitute their own).
using BlockReader = std::function<void(State&, Platform&)>;

} // namespace velkor
