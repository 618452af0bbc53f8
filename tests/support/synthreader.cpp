#include "support/synthreader.h"

#include "acquisition/samplekernels.h"
#include "acquisition/source.h"
#include "core/config.h"
#include "core/startup.h"
#include "timing/calendar.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace velkor::test {

State receiverState(std::string_view settings, const std::vector<TableRecord>& table) {
  State s;
  std::ostringstream warnings;
  applyConfigurationText(s, settings, warnings);
  validateSettings(s);
  buildStationModel(s);
  completeFromTable(s, table);
  blankByDistance(s);
  prepareIntegration(s);
  computeClockTime(s);
  return s;
}

void SynthReader::open(State& s) const { s.inputremaining = scenario_.frames * 4; }

void SynthReader::operator()(State& s, Platform&) {
  int16_t* re = s.samplere.data();
  int16_t* im = s.sampleim.data();
  float* power = s.samplepower.data();
  if (s.newsamples > 0) retireSamples(s);
  const auto n = static_cast<int32_t>(std::min<int64_t>(s.blocklength, scenario_.frames - generator_.position()));
  re_.resize(static_cast<std::size_t>(n));
  im_.resize(static_cast<std::size_t>(n));
  generator_.next(re_.size(), re_.data(), im_.data());
  auto quantise = [](float v) {
    v = std::clamp(v, -32768.0f, 32767.0f);
    return static_cast<int16_t>(v + (v < 0 ? -0.5f : 0.5f));
  };
  std::transform(re_.begin(), re_.end(), re + s.overlap, quantise);
  std::transform(im_.begin(), im_.end(), im + s.overlap, quantise);
  if (s.nb != 0) computePower(re + s.overlap, im + s.overlap, power + s.overlap, n);
  s.newsamples = n;
  s.inputremaining = (scenario_.frames - generator_.position()) * 4;
  s.blockstart = s.blockend - s.overlap / s.sr;
  s.blockend = s.blockstart + (s.newsamples + s.overlap) / s.sr;
  const double end = scenario_.start.value() + static_cast<double>(generator_.position()) / scenario_.trueRate +
                     pcerror; // [s since 1958]
  s.pcbuffertime = static_cast<float>(end - std::floor(end / 86400) * 86400);
}

} // namespace velkor::test
