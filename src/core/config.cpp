#include "core/config.h"

#include "core/errors.h"
#include "platform/files.h"

#include <array>
#include <cctype>
#include <cfloat>
#include <limits>
#include <cmath>
#include <cstdlib>
#include <ostream>

namespace velkor {

namespace {

// ---- Value conversion ------------------------------------------------------

// A configuration value never causes undefined behaviour: NaN stores 0.
double finiteOrZero(double x) { return std::isnan(x) ? 0.0 : x; }
float storeSingle(double x) { return toSingle(finiteOrZero(x)); }
template <typename Int>
Int toInteger(double x) { return roundToInteger<Int>(x); }

template <double State::*M>
void dbl(State& s, std::string_view v) { s.*M = finiteOrZero(parseLeadingNumber(v)); }
template <float State::*M>
void sgl(State& s, std::string_view v) { s.*M = storeSingle(parseLeadingNumber(v)); }
template <int32_t State::*M>
void i32(State& s, std::string_view v) { s.*M = toInteger<int32_t>(parseLeadingNumber(v)); }
template <int16_t State::*M>
void i16(State& s, std::string_view v) { s.*M = toInteger<int16_t>(parseLeadingNumber(v)); }
template <std::string State::*M>
void txt(State& s, std::string_view v) { s.*M = std::string(v); }
template <int16_t State::*M>
void flag(State& s, std::string_view) { s.*M = 1; }

void storeWav(State& s, std::string_view v) { s.inputfile = std::string(v); s.wavinput = 1; }
void storeDat(State& s, std::string_view v) { s.inputfile = std::string(v); s.wavinput = 0; }
void storeBits(State& s, std::string_view v) {
  s.bytespersample = toInteger<int16_t>(parseLeadingNumber(v)) <= 8 ? 1 : 2;
}
void storeStereo(State& s, std::string_view) { s.channels = 2; }
void storeMono(State& s, std::string_view) { s.channels = 1; }
void storeSrcorr(State& s, std::string_view v) {
  s.srcorr = storeSingle(parseLeadingNumber(v));
  s.srcorrroot = std::sqrt(std::fabs(s.srcorr));
}
void storePllcommand(State& s, std::string_view v) { s.pllcommand = std::string(v); s.pllcommandgiven = 1; }
void storePllavfini(State& s, std::string_view v) {
  s.pllavfini = storeSingle(parseLeadingNumber(v));
  s.pllavgfreq = s.pllavfini;
}
void storeFullscale(State& s, std::string_view v) {
  s.fullscale = storeSingle(parseLeadingNumber(v));
  if (!v.empty() && v.back() == '+') s.fullscaleknee = 1;
}
void storeEdgelevel(State& s, std::string_view v) {
  s.edgelevel = storeSingle(parseLeadingNumber(v));
  if (s.edgelevel >= 1) s.edgelevelabs = s.edgelevel;
}
void storeNbinit(State& s, std::string_view v) {
  float amplitude = storeSingle(parseLeadingNumber(v));
  s.nbinit = amplitude * amplitude;
}
void ignore(State&, std::string_view) {}

using Store = void (*)(State&, std::string_view);

struct KeySpec {
  std::string_view section;
  std::string_view key;
  Store store;
  bool keepCase = false; // file and command names keep their letter case
};

const KeySpec kKeys[] = {
    {"location", "lat", dbl<&State::lat>},
    {"location", "lon", dbl<&State::lon>},
    {"file", "bmp", txt<&State::bmp>, true},
    {"file", "table", txt<&State::table>, true},
    {"file", "wav", storeWav, true},
    {"file", "dat", storeDat, true},
    {"file", "date", txt<&State::date>},
    {"file", "time", txt<&State::time>},
    {"file", "bits", storeBits},
    {"file", "stereo", storeStereo},
    {"file", "mono", storeMono},
    {"file", "biasreal", sgl<&State::biasreal>},
    {"file", "biasimag", sgl<&State::biasimag>},
    {"file", "fileblocklen", i32<&State::fileblocklen>},
    {"file", "filescale", sgl<&State::filescale>},
    {"file", "bmpcmd", txt<&State::bmpcmd>, true},
    {"file", "bmpcmdcount", i32<&State::bmpcmdcount>},
    {"file", "bmperrorhandling", i16<&State::bmperrorhandling>},
    {"frequency", "sr", dbl<&State::sr>},
    {"frequency", "looffset", dbl<&State::looffset>},
    {"frequency", "lodrift", sgl<&State::lodrift>},
    {"frequency", "srcorr", storeSrcorr},
    {"frequency", "phasecorr", i32<&State::phasecorr>},
    {"frequency", "jittercorr", sgl<&State::jittercorr>},
    {"frequency", "bandcenter", dbl<&State::bandcenter>},
    {"frequency", "srlofactor", sgl<&State::srlofactor>},
    {"frequency", "srlooffset", sgl<&State::srlooffset>},
    {"frequency", "srsearch", sgl<&State::srsearch>},
    {"pll", "pllcommand", storePllcommand, true},
    {"pll", "pllcenter", dbl<&State::pllcenter>},
    {"pll", "plllow", sgl<&State::plllow>},
    {"pll", "pllhigh", sgl<&State::pllhigh>},
    {"pll", "pllfactort", sgl<&State::pllfactort>},
    {"pll", "pllfactorf", sgl<&State::pllfactorf>},
    {"pll", "plldither", sgl<&State::plldither>},
    {"pll", "pllaveragef", sgl<&State::pllaveragef>},
    {"pll", "pllavfini", storePllavfini},
    {"pll", "ffactor", sgl<&State::ffactor>},
    {"pll", "srloavfac", sgl<&State::srloavfac>},
    {"pll", "srloavini", sgl<&State::srloavini>},
    {"time", "shortintegration", sgl<&State::shortintegration>},
    {"time", "longintegration", i32<&State::longintegration>},
    {"time", "displaysamples", i32<&State::displaysamples>},
    {"time", "utcoffset", i32<&State::utcoffset>},
    {"time", "clockoffset", sgl<&State::clockoffset>},
    {"time", "timercalavfac", sgl<&State::timercalavfac>},
    {"time", "sleeptime", sgl<&State::sleeptime>},
    {"time", "asf", sgl<&State::asf>},
    {"time", "notices", i32<&State::notices>},
    {"amplitude", "colour", i32<&State::colour>},
    {"amplitude", "gamma", sgl<&State::gamma>},
    {"amplitude", "dbrange", sgl<&State::dbrange>},
    {"amplitude", "fullscale", storeFullscale},
    {"amplitude", "normalizedistance", sgl<&State::normalizedistance>},
    {"amplitude", "normalizepower", sgl<&State::normalizepower>},
    {"amplitude", "blankingoffsetcorr", sgl<&State::blankingoffsetcorr>},
    {"amplitude", "hipass", sgl<&State::hipass>},
    {"amplitude", "edgelevel", storeEdgelevel},
    {"amplitude", "phasereference", sgl<&State::phasereference>},
    {"amplitude", "referencestation", i32<&State::referencestation>},
    {"amplitude", "firstblankedsample", i16<&State::firstblankedsample>},
    {"amplitude", "lastblankedsample", i16<&State::lastblankedsample>},
    {"amplitude", "notch100khz", i16<&State::notch100khz>},
    {"amplitude", "xrcdelay7950", sgl<&State::xrcdelay7950>},
    {"amplitude", "nb", i16<&State::nb>},
    {"amplitude", "nbinit", storeNbinit},
    {"amplitude", "nbfac", sgl<&State::nbfac>},
    {"amplitude", "nbupdate", sgl<&State::nbupdate>},
    {"amplitude", "nbspread", i16<&State::nbspread>},
    {"amplitude", "nbcorr", sgl<&State::nbcorr>},
    {"firfilter", "hipass", sgl<&State::hipass>},
    {"firfilter", "firbegin", i32<&State::firbegin>},
    {"taisync", "searchrange", sgl<&State::searchrange>},
    {"taisync", "integrationtime", dbl<&State::integrationtime>},
    {"taisync", "resynclimit", sgl<&State::resynclimit>},
    {"taisync", "clockerrorlimit", sgl<&State::clockerrorlimit>},
    {"taisync", "syncverbose", flag<&State::syncverbose>},
    {"taisync", "stations", ignore},
    {"stations", "hidden", i32<&State::hidden>},
    {"stations", "blankedstns", i32<&State::blankedstns>},
    {"stations", "blankingdistance", sgl<&State::blankingdistance>},
    {"stations", "singlepulses", i32<&State::singlepulses>},
    {"stations", "printstationlist", flag<&State::printstationlist>},
};

const KeySpec* findKey(std::string_view section, std::string_view key) {
  for (const KeySpec& known : kKeys)
    if (known.section == section && known.key == key) return &known;
  return nullptr;
}

// ---- Lines --------------------------------------------------------------------

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Comment cut, blanks trimmed; case and inner text as written.
std::string_view reduceLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  line = line.substr(0, line.find(';'));
  line = line.substr(0, line.find('\''));
  return trimBlanks(line);
}

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

char upperCase(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

struct Reader {
  State& state;
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
    if (gri <= 4000 || gri >= 10000) return;
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

double parseLeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::size_t start = i;
  auto digitsAt = [&](std::size_t at) {
    std::size_t n = 0;
    while (at + n < text.size() && std::isdigit(static_cast<unsigned char>(text[at + n]))) ++n;
    return n;
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t mantissaDigits = digitsAt(i);
  i += mantissaDigits;
  if (i < text.size() && text[i] == '.') {
    std::size_t fraction = digitsAt(i + 1);
    if (mantissaDigits + fraction > 0) i += 1 + fraction;
    mantissaDigits += fraction;
  }
  if (mantissaDigits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    std::size_t exponentDigits = digitsAt(j);
    if (exponentDigits > 0) i = j + exponentDigits;
  }
  std::string number(text.substr(start, i - start));
  return std::strtod(number.c_str(), nullptr);
}

void forEachConfigurationLine(std::string_view text, const std::function<void(const ConfigurationLine&)>& apply) {
  std::string section;
  while (!text.empty()) {
    auto end = text.find('\n');
    std::string_view original = reduceLine(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (original.empty()) continue;
    std::string line = lowerCase(original);
    if (line.front() == '[') {
      section = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
      continue;
    }
    std::string_view lowered(line);
    auto equals = lowered.find('=');
    std::string_view key = trimBlanks(lowered.substr(0, equals));
    std::size_t valueStart = equals == std::string_view::npos ? lowered.size() : equals + 1;
    while (valueStart < lowered.size() && lowered[valueStart] == ' ') ++valueStart;
    if (key.empty() || section.empty()) continue;
    apply({section, key, lowered.substr(valueStart), original.substr(valueStart)});
  }
}

void applyConfigurationText(State& state, std::string_view text, std::ostream& warnings) {
  Reader reader{state, warnings};
  forEachConfigurationLine(text, [&](const ConfigurationLine& line) { reader.apply(line); });
}

std::string readWholeFile(const std::string& fileName) {
  File file;
  std::string text;
  if (!file.open(fileName, File::Mode::Read) || !file.readAll(text))
    throw FatalError(fileName, fileErrorText(file.error()));
  return text;
}

void readConfiguration(State& state, const std::string& fileName, std::ostream& warnings) {
  applyConfigurationText(state, readWholeFile(fileName), warnings);
}

std::vector<std::string> configurationKeys() {
  std::vector<std::string> keys;
  for (const KeySpec& known : kKeys) keys.push_back(std::string(known.section) + " " + std::string(known.key));
  keys.push_back("firfilter tap");
  for (const char* list : {"stations *", "taisync *", "chaindelay *"}) keys.push_back(list);
  return keys;
}

} // namespace velkor
