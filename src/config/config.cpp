#include "config/config.h"

#include "ground/errors.h"
#include "ground/ini.h"
#include "ground/loran.h"
#include "ground/numbers.h"
#include "ground/printable.h"
#include "ground/timetext.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cfloat>
#include <limits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace velkor {

namespace {

std::string setting(const char* key, double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%s = %.10g", key, value);
  return text;
}

// ---- Value conversion ------------------------------------------------------

// A configuration value never causes undefined behaviour: NaN stores 0.
double finiteOrZero(double x) { return std::isnan(x) ? 0.0 : x; }
float storeSingle(double x) { return toSingle(finiteOrZero(x)); }
template <typename Int>
Int toInteger(double x) {
  return roundToInteger<Int>(x);
}

template <double Settings::*M>
void dbl(Settings& s, std::string_view v) {
  s.*M = finiteOrZero(parseLeadingNumber(v));
}
template <float Settings::*M>
void sgl(Settings& s, std::string_view v) {
  s.*M = storeSingle(parseLeadingNumber(v));
}
template <int32_t Settings::*M>
void i32(Settings& s, std::string_view v) {
  s.*M = toInteger<int32_t>(parseLeadingNumber(v));
}
template <int16_t Settings::*M>
void i16(Settings& s, std::string_view v) {
  s.*M = toInteger<int16_t>(parseLeadingNumber(v));
}
template <std::string Settings::*M>
void txt(Settings& s, std::string_view v) {
  s.*M = std::string(v);
}
template <int16_t Settings::*M>
void flag(Settings& s, std::string_view) {
  s.*M = 1;
}

void storeWav(Settings& s, std::string_view v) {
  s.inputfile = std::string(v);
  s.wavinput = 1;
}
void storeDat(Settings& s, std::string_view v) {
  s.inputfile = std::string(v);
  s.wavinput = 0;
}
void storeBits(Settings& s, std::string_view v) {
  s.bytespersample = toInteger<int16_t>(parseLeadingNumber(v)) <= 8 ? 1 : 2;
}
void storeStereo(Settings& s, std::string_view) { s.channels = 2; }
void storeMono(Settings& s, std::string_view) { s.channels = 1; }
// Derived settings come from the number as read, in double, and are rounded
// once when stored: rounding the number to single first would round twice.
void storeSrcorr(Settings& s, std::string_view v) {
  const double number = finiteOrZero(parseLeadingNumber(v));
  s.srcorr = toSingle(number);
  s.srcorrroot = toSingle(std::sqrt(std::fabs(number)));
}
// A text whose presence matters apart from its value (a date or time the
// configuration gives must be in an accepted form: validateSettings).
template <std::string Settings::*M, int16_t Settings::*Given>
void txtGiven(Settings& s, std::string_view v) {
  s.*M = std::string(v);
  s.*Given = 1;
}
constexpr auto storeDate = txtGiven<&Settings::date, &Settings::dategiven>;
constexpr auto storeTime = txtGiven<&Settings::time, &Settings::timegiven>;
void storeRawlatency(Settings& s, std::string_view v) {
  s.rawlatency = finiteOrZero(parseLeadingNumber(v));
  s.rawlatencygiven = 1;
}
void storePllavfini(Settings& s, std::string_view v) { s.pllavfini = storeSingle(parseLeadingNumber(v)); }
void storeFullscale(Settings& s, std::string_view v) {
  s.fullscale = storeSingle(parseLeadingNumber(v));
  if (!v.empty() && v.back() == '+') s.fullscaleknee = 1;
}
void storeEdgelevel(Settings& s, std::string_view v) {
  s.edgelevel = storeSingle(parseLeadingNumber(v));
  if (s.edgelevel >= 1) s.edgelevelabs = s.edgelevel;
}
// The file gives an amplitude, the blanker compares powers.
void storeNbinit(Settings& s, std::string_view v) {
  const double amplitude = finiteOrZero(parseLeadingNumber(v)); // [sample units]
  s.nbinit = toSingle(amplitude * amplitude);
}
void ignore(Settings&, std::string_view) {}

using Store = void (*)(Settings&, std::string_view);

struct KeySpec {
  std::string_view section;
  std::string_view key;
  Store store;
  bool keepCase = false; // file and command names keep their letter case
};

const KeySpec kKeys[] = {
    {"location", "lat", dbl<&Settings::lat>},
    {"location", "lon", dbl<&Settings::lon>},
    {"file", "bmp", txt<&Settings::bmp>, true},
    {"file", "table", txt<&Settings::table>, true},
    {"file", "wav", storeWav, true},
    {"file", "dat", storeDat, true},
    {"file", "date", storeDate},
    {"file", "time", storeTime},
    {"file", "bits", storeBits},
    {"file", "stereo", storeStereo},
    {"file", "mono", storeMono},
    {"file", "biasreal", sgl<&Settings::biasreal>},
    {"file", "biasimag", sgl<&Settings::biasimag>},
    {"file", "fileblocklen", i32<&Settings::fileblocklen>},
    {"file", "filescale", sgl<&Settings::filescale>},
    {"file", "bmpcmd", txt<&Settings::bmpcmd>, true},
    {"file", "bmpcmdcount", i32<&Settings::bmpcmdcount>},
    {"file", "bmperrorhandling", i16<&Settings::bmperrorhandling>},
    {"file", "log", txt<&Settings::log>, true},
    {"file", "kiwistamps", i16<&Settings::kiwistamps>},
    {"frequency", "sr", dbl<&Settings::sr>},
    {"frequency", "looffset", dbl<&Settings::looffset>},
    {"frequency", "lodrift", sgl<&Settings::lodrift>},
    {"frequency", "srcorr", storeSrcorr},
    {"frequency", "phasecorr", i32<&Settings::phasecorr>},
    {"frequency", "jittercorr", sgl<&Settings::jittercorr>},
    {"frequency", "bandcenter", dbl<&Settings::bandcenter>},
    {"frequency", "srlofactor", sgl<&Settings::srlofactor>},
    {"frequency", "srlooffset", sgl<&Settings::srlooffset>},
    {"frequency", "srsearch", sgl<&Settings::srsearch>},
    {"pll", "pllcommand", txtGiven<&Settings::pllcommand, &Settings::pllcommandgiven>, true},
    {"pll", "pllcenter", dbl<&Settings::pllcenter>},
    {"pll", "plllow", sgl<&Settings::plllow>},
    {"pll", "pllhigh", sgl<&Settings::pllhigh>},
    {"pll", "pllfactort", sgl<&Settings::pllfactort>},
    {"pll", "pllfactorf", sgl<&Settings::pllfactorf>},
    {"pll", "plldither", sgl<&Settings::plldither>},
    {"pll", "pllaveragef", sgl<&Settings::pllaveragef>},
    {"pll", "pllavfini", storePllavfini},
    {"pll", "ffactor", sgl<&Settings::ffactor>},
    {"pll", "srloavfac", sgl<&Settings::srloavfac>},
    {"pll", "srloavini", sgl<&Settings::srloavini>},
    {"time", "shortintegration", sgl<&Settings::shortintegration>},
    {"time", "longintegration", i32<&Settings::longintegration>},
    {"time", "displaysamples", i32<&Settings::displaysamples>},
    {"time", "utcoffset", i32<&Settings::utcoffset>},
    {"time", "clockoffset", sgl<&Settings::clockoffset>},
    {"time", "timercalavfac", sgl<&Settings::timercalavfac>},
    {"time", "sleeptime", sgl<&Settings::sleeptime>},
    {"time", "asf", sgl<&Settings::asf>},
    {"time", "notices", i32<&Settings::notices>},
    {"time", "rawlatency", storeRawlatency},
    {"time", "receiverdelay", sgl<&Settings::receiverdelay>},
    {"amplitude", "colour", i32<&Settings::colour>},
    {"amplitude", "gamma", sgl<&Settings::gamma>},
    {"amplitude", "dbrange", sgl<&Settings::dbrange>},
    {"amplitude", "fullscale", storeFullscale},
    {"amplitude", "normalizedistance", sgl<&Settings::normalizedistance>},
    {"amplitude", "normalizepower", sgl<&Settings::normalizepower>},
    {"amplitude", "blankingoffsetcorr", sgl<&Settings::blankingoffsetcorr>},
    {"amplitude", "hipass", sgl<&Settings::hipass>},
    {"amplitude", "edgelevel", storeEdgelevel},
    {"amplitude", "phasereference", sgl<&Settings::phasereference>},
    {"amplitude", "referencestation", i32<&Settings::referencestation>},
    {"amplitude", "firstblankedsample", i16<&Settings::firstblankedsample>},
    {"amplitude", "lastblankedsample", i16<&Settings::lastblankedsample>},
    {"amplitude", "notch100khz", i16<&Settings::notch100khz>},
    {"amplitude", "xrcdelay7950", sgl<&Settings::xrcdelay7950>},
    {"amplitude", "nb", i16<&Settings::nb>},
    {"amplitude", "nbinit", storeNbinit},
    {"amplitude", "nbfac", sgl<&Settings::nbfac>},
    {"amplitude", "nbupdate", sgl<&Settings::nbupdate>},
    {"amplitude", "nbspread", i16<&Settings::nbspread>},
    {"amplitude", "nbcorr", sgl<&Settings::nbcorr>},
    {"firfilter", "hipass", sgl<&Settings::hipass>},
    {"firfilter", "firbegin", i32<&Settings::firbegin>},
    {"taisync", "searchrange", sgl<&Settings::searchrange>},
    {"taisync", "integrationtime", dbl<&Settings::integrationtime>},
    {"taisync", "resynclimit", sgl<&Settings::resynclimit>},
    {"taisync", "clockerrorlimit", sgl<&Settings::clockerrorlimit>},
    {"taisync", "syncverbose", flag<&Settings::syncverbose>},
    {"taisync", "stations", ignore},
    {"stations", "hidden", i32<&Settings::hidden>},
    {"stations", "blankedstns", i32<&Settings::blankedstns>},
    {"stations", "blankingdistance", sgl<&Settings::blankingdistance>},
    {"stations", "singlepulses", i32<&Settings::singlepulses>},
    {"stations", "printstationlist", flag<&Settings::printstationlist>},
};

const KeySpec* findKey(std::string_view section, std::string_view key) {
  for (const KeySpec& known : kKeys)
    if (known.section == section && known.key == key) return &known;
  return nullptr;
}

char upperCase(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

struct Reader {
  Settings& state;
  std::ostream& warnings;
  bool warned[4] = {false, false, false, false};

  void warnFull(int list, const char* what, int capacity) {
    if (warned[list]) return;
    warned[list] = true;
    warnings << "velkor: warning: more than " << capacity << " " << what
             << " entries in the configuration; the rest are ignored\n";
  }

  void addStation(std::string_view key) {
    int32_t gri = toInteger<int32_t>(parseLeadingNumber(key));
    if (gri == 0) return;
    if (state.stationentries.size() >= kStationCapacity) return warnFull(0, "[stations]", kStationCapacity);
    state.stationentries.push_back({gri, upperCase(key.back())});
  }

  void addTaiEntry(std::string_view key, std::string_view value) {
    int32_t gri = toInteger<int32_t>(parseLeadingNumber(key));
    if (gri <= 0) return;
    if (state.taientries.size() >= kTaiCapacity) return warnFull(1, "[taisync]", kTaiCapacity);
    state.taientries.push_back({gri, upperCase(key.back()), storeSingle(parseLeadingNumber(value))});
  }

  void addChainDelay(std::string_view key, std::string_view value) {
    int32_t gri = toInteger<int32_t>(parseLeadingNumber(key));
    if (gri < kLowestChainDelayGri || gri > kHighestChainDelayGri) return;
    if (state.chaindelays.size() >= kChainDelayCapacity) return warnFull(2, "[chaindelay]", kChainDelayCapacity);
    state.chaindelays.push_back({gri, storeSingle(parseLeadingNumber(value))});
  }

  void addTap(std::string_view value) {
    if (state.tapre.size() >= kTapCapacity) return warnFull(3, "[firfilter] tap", kTapCapacity);
    auto comma = value.find(',');
    state.tapre.push_back(storeSingle(parseLeadingNumber(value)));
    state.tapim.push_back(comma == std::string_view::npos ? 0.0f
                                                          : storeSingle(parseLeadingNumber(value.substr(comma + 1))));
  }

  void apply(const ConfigurationLine& line) {
    if (const KeySpec* known = findKey(line.section, line.key)) {
      known->store(state, known->keepCase ? line.originalValue : line.value);
      return;
    }
    if (line.section == "stations") addStation(line.key);
    else if (line.section == "taisync") addTaiEntry(line.key, line.value);
    else if (line.section == "chaindelay") addChainDelay(line.key, line.value);
    else if (line.section == "firfilter" && line.key == "tap") addTap(line.value);
  }
};

} // namespace

void applyConfigurationText(Settings& state, std::string_view text, std::ostream& warnings) {
  Reader reader{state, warnings};
  forEachConfigurationLine(text, [&](const ConfigurationLine& line) { reader.apply(line); });
}

std::vector<std::string> configurationKeys() {
  std::vector<std::string> keys;
  for (const KeySpec& known : kKeys) keys.push_back(std::string(known.section) + " " + std::string(known.key));
  keys.push_back("firfilter tap");
  for (const char* list : {"stations *", "taisync *", "chaindelay *"}) keys.push_back(list);
  return keys;
}

std::vector<std::string> configurationSections() {
  std::vector<std::string> sections;
  for (const KeySpec& known : kKeys)
    if (std::find(sections.begin(), sections.end(), known.section) == sections.end())
      sections.emplace_back(known.section);
  sections.emplace_back("chaindelay");
  return sections;
}

bool isKnownKey(std::string_view section, std::string_view key) { return findKey(section, key) != nullptr; }

// Text keys keep their case or are the date and time; flags ignore their value.
bool keyReadsNumber(std::string_view section, std::string_view key) {
  const KeySpec* known = findKey(section, key);
  if (known == nullptr || known->keepCase) return false;
  for (Store text : {Store{storeDate}, Store{storeTime}, Store{storeStereo}, Store{storeMono},
                     Store{flag<&Settings::syncverbose>}, Store{flag<&Settings::printstationlist>}, Store{ignore}})
    if (known->store == text) return false;
  return true;
}

void refuseUnless(bool fine, const char* key, double value, const char* reason) {
  if (!fine) throw FatalError(setting(key, value), reason);
}

void validateSettings(const Settings& s) {
  refuseUnless(std::isfinite(s.sr) && s.sr > 0, "sr", s.sr, "the sample rate must be above 0 Hz");
  refuseUnless(s.sr < 1e9, "sr", s.sr, "gives a sample buffer above 16777216 samples");
  refuseUnless(s.displaysamples >= 1, "displaysamples", s.displaysamples, "must be 1 or more");
  refuseUnless(s.displaysamples <= kLargestArray, "displaysamples", s.displaysamples,
               "gives a sample buffer above 16777216 samples");
  refuseUnless(s.fileblocklen <= kLargestArray, "fileblocklen", s.fileblocklen,
               "gives a sample buffer above 16777216 samples");
  refuseUnless(s.shortintegration > 0, "shortintegration", s.shortintegration, "must be above 0 s");
  refuseUnless(s.longintegration >= 1, "longintegration", s.longintegration, "must be 1 or more");
  refuseUnless(s.fullscale != 0, "fullscale", s.fullscale, "must not be 0");
  refuseUnless(s.rawlatency >= 0, "rawlatency", s.rawlatency, "must be 0 ms or more");
  // A date or time in no accepted form would place the run on a wrong day or second.
  if (s.dategiven != 0 && !parseDateText(s.date))
    throw FatalError("date = " + printable(s.date), std::string("not a date of the form ") + kDateForms);
  if (s.timegiven != 0 && !parseTimeText(s.time))
    throw FatalError("time = " + printable(s.time), std::string("not a time of the form ") + kTimeForms);
  validateNumbers(s);
}

namespace {

// Bounds of the time settings: beyond about a century the clock lies outside
// the calendar's years and a double no longer resolves a pulse [s].
constexpr double kLongestClockShift = 3.2e9;
constexpr double kSecondsPerHour = 3600;
// The sync fold counts its samples in 32 bits [samples].
constexpr double kMostSyncSamples = 2147483647.0;
// The ambiguity search counts its shifts in 32 bits [phase-code intervals].
constexpr double kMostSearchShifts = 2147483647.0;

// One numeric setting with the interval it must lie in; `reason` says why.
struct Bound {
  const char* key;
  double value;
  double lowest;
  double highest;
  const char* reason;
};

constexpr double kAny = std::numeric_limits<double>::max();

// Every numeric setting and what its use can bear; most only need to be
// finite (a single-precision key beyond 3.4e38 is stored as infinite).
std::vector<Bound> numericBounds(const Settings& s) {
  return {
      {"lat", s.lat, -90, 90, "a latitude lies between -90 and 90 degrees"},
      {"lon", s.lon, -360, 360, "a longitude lies between -360 and 360 degrees"},
      {"biasreal", s.biasreal, -kAny, kAny, ""},
      {"biasimag", s.biasimag, -kAny, kAny, ""},
      {"filescale", s.filescale, -kAny, kAny, ""},
      {"looffset", s.looffset, -kAny, kAny, ""},
      {"lodrift", s.lodrift, -kAny, kAny, ""},
      {"srcorr", s.srcorr, -kAny, kAny, ""},
      {"jittercorr", s.jittercorr, -kAny, kAny, ""},
      {"bandcenter", s.bandcenter, -kAny, kAny, ""},
      {"srlofactor", s.srlofactor, -kAny, kAny, ""},
      {"srlooffset", s.srlooffset, -kAny, kAny, ""},
      {"srsearch", s.srsearch, -kAny, kAny, ""},
      {"pllcenter", s.pllcenter, -kAny, kAny, ""},
      {"plllow", s.plllow, -kAny, kAny, ""},
      {"pllhigh", s.pllhigh, -kAny, kAny, ""},
      {"pllfactort", s.pllfactort, -kAny, kAny, ""},
      {"pllfactorf", s.pllfactorf, -kAny, kAny, ""},
      {"plldither", s.plldither, -kAny, kAny, ""},
      {"pllaveragef", s.pllaveragef, -kAny, kAny, ""},
      {"pllavfini", s.pllavfini, -kAny, kAny, ""},
      {"ffactor", s.ffactor, -kAny, kAny, ""},
      {"srloavfac", s.srloavfac, -kAny, kAny, ""},
      {"srloavini", s.srloavini, -kAny, kAny, ""},
      {"shortintegration", s.shortintegration, 1 / s.sr, kAny, "must last at least one sample (1/sr s)"},
      {"utcoffset", static_cast<double>(s.utcoffset), -kLongestClockShift / kSecondsPerHour,
       kLongestClockShift / kSecondsPerHour, "moves the clock by more than a century"},
      {"clockoffset", s.clockoffset, -kLongestClockShift, kLongestClockShift, "moves the clock by more than a century"},
      {"timercalavfac", s.timercalavfac, -kAny, kAny, ""},
      {"sleeptime", s.sleeptime, -kAny, kAny, ""},
      {"asf", s.asf, -kAny, kAny, ""},
      {"receiverdelay", s.receiverdelay, -kAny, kAny, ""},
      {"rawlatency", s.rawlatency, -kAny, kAny, ""},
      {"gamma", s.gamma, -kAny, kAny, ""},
      {"dbrange", s.dbrange, -kAny, kAny, ""},
      {"fullscale", s.fullscale, -kAny, kAny, ""},
      {"normalizedistance", s.normalizedistance, -kAny, kAny, ""},
      {"normalizepower", s.normalizepower, -kAny, kAny, ""},
      {"blankingoffsetcorr", s.blankingoffsetcorr, -kAny, kAny, ""},
      {"hipass", s.hipass, -kAny, kAny, ""},
      {"edgelevel", s.edgelevel, -kAny, kAny, ""},
      {"phasereference", s.phasereference, -kAny, kAny, ""},
      {"xrcdelay7950", s.xrcdelay7950, -kAny, kAny, ""},
      {"nbinit", s.nbinit, -kAny, kAny, ""},
      {"nbfac", s.nbfac, -kAny, kAny, ""},
      {"nbupdate", s.nbupdate, -kAny, kAny, ""},
      {"nbcorr", s.nbcorr, -kAny, kAny, ""},
      {"integrationtime", s.integrationtime, -kAny, kMostSyncSamples / s.sr, "averages more than 2147483647 samples"},
      {"resynclimit", s.resynclimit, -kAny, kAny, ""},
      {"clockerrorlimit", s.clockerrorlimit, -kAny, kAny, ""},
      {"blankingdistance", s.blankingdistance, -kAny, kAny, ""},
  };
}

// The list entries' numbers must be finite as well.
void refuseNonFiniteEntries(const Settings& s) {
  for (const TaiEntry& entry : s.taientries)
    refuseUnless(std::isfinite(entry.value), "[taisync] weight", entry.value, "must be a finite number");
  for (const ChainDelayEntry& entry : s.chaindelays)
    refuseUnless(std::isfinite(entry.delay), "[chaindelay] delay", entry.delay, "must be a finite number");
  for (std::size_t i = 0; i < s.tapre.size(); ++i)
    refuseUnless(std::isfinite(s.tapre[i]) && std::isfinite(s.tapim[i]), "[firfilter] tap",
                 std::isfinite(s.tapre[i]) ? s.tapim[i] : s.tapre[i], "must be a finite number");
}

// The ambiguity search steps over whole intervals of the first entry.
void refuseEndlessSearch(const Settings& s) {
  if (s.taientries.empty()) return;
  const double reference = phaseCodeInterval(s.taientries.front().gri); // [s]
  refuseUnless(s.searchrange <= kMostSearchShifts * reference, "searchrange", s.searchrange,
               "spans more than 2147483647 phase-code intervals of the first [taisync] entry");
}

} // namespace

void validateNumbers(const Settings& s) {
  for (const Bound& bound : numericBounds(s)) {
    refuseUnless(std::isfinite(bound.value), bound.key, bound.value, "must be a finite number");
    refuseUnless(bound.value >= bound.lowest && bound.value <= bound.highest, bound.key, bound.value, bound.reason);
  }
  refuseUnless(std::isfinite(s.searchrange), "searchrange", s.searchrange, "must be a finite number");
  refuseEndlessSearch(s);
  refuseNonFiniteEntries(s);
}

void clampBlankingWindow(Settings& s) {
  if (s.firstblankedsample < 0) s.firstblankedsample = 0;
  if (s.lastblankedsample > s.displaysamples - 1) s.lastblankedsample = static_cast<int16_t>(s.displaysamples - 1);
}

} // namespace velkor
