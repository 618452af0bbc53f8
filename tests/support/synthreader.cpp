#include "support/synthreader.h"

#include "acquisition/samplekernels.h"
#include "acquisition/source.h"
#include "config/config.h"
#include "top/startup.h"
#include "timing/calendar.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace velkor::test {

Record receiverState(std::string_view settings, const std::vector<TableRecord>& table) {
  Record s;
  std::ostringstream warnings;
  applyConfigurationText(s.settings, settings, warnings);
  validateSettings(s.settings);
  buildStationModel(s.settings, s.stations);
  completeFromTable(s.settings, s.stations, table);
  clampBlankingWindow(s.settings);
  blankByDistance(s.settings, s.stations);
  prepareIntegration(s);
  startClock(s);
  return s;
}

void SynthReader::open(Record& s) const { s.acquisition.inputremaining = scenario_.frames * 4; }

Outcome SynthReader::operator()(Record& s) {
  if (s.acquisition.inputremaining <= 0) return Outcome::endOfInput;
  int16_t* re = s.acquisition.samplere.data();
  int16_t* im = s.acquisition.sampleim.data();
  float* power = s.acquisition.samplepower.data();
  if (s.acquisition.newsamples > 0) retireSamples(s.settings, s.acquisition);
  const auto n =
      static_cast<int32_t>(std::min<int64_t>(s.acquisition.blocklength, scenario_.frames - generator_.position()));
  re_.resize(static_cast<std::size_t>(n));
  im_.resize(static_cast<std::size_t>(n));
  generator_.next(re_.size(), re_.data(), im_.data());
  auto quantise = [](float v) {
    v = std::clamp(v, -32768.0f, 32767.0f);
    return static_cast<int16_t>(v + (v < 0 ? -0.5f : 0.5f));
  };
  std::transform(re_.begin(), re_.end(), re + s.acquisition.overlap, quantise);
  std::transform(im_.begin(), im_.end(), im + s.acquisition.overlap, quantise);
  if (s.settings.nb != 0)
    computePower(re + s.acquisition.overlap, im + s.acquisition.overlap, power + s.acquisition.overlap, n);
  s.acquisition.newsamples = n;
  s.acquisition.inputremaining = (scenario_.frames - generator_.position()) * 4;
  s.acquisition.clock.blockstart = s.acquisition.clock.blockend - s.acquisition.overlap / s.acquisition.clock.sr;
  s.acquisition.clock.blockend =
      s.acquisition.clock.blockstart + (s.acquisition.newsamples + s.acquisition.overlap) / s.acquisition.clock.sr;
  const double end = scenario_.start.value() + static_cast<double>(generator_.position()) / scenario_.trueRate +
                     pcerror; // [s since 1958]
  s.timing.pcbuffertime = static_cast<float>(end - std::floor(end / 86400) * 86400);
  return Outcome::ready;
}

} // namespace velkor::test
