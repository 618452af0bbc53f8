#include "support/synthreader.h"

#include "acquisition/samplekernels.h"
#include "acquisition/source.h"
#include "core/config.h"
#include "core/startup.h"
#include "stations/chaintiming.h"
#include "stations/geodesic.h"
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
  auto complete = [&](const TableRecord& r, int32_t gri, char letter, float chaindelay, float& distance,
                      float& delay) {
    if (gri != r.gri || r.letter != std::string(1, letter)) return;
    distance = static_cast<float>(geodesicDistance(s.lat, s.lon, r.lat, r.lon));
    delay = static_cast<float>(r.delay / 1000.0 + chaindelay);
  };
  for (const TableRecord& r : table) {
    for (std::size_t i = 0; i < s.stationgri.size(); ++i)
      complete(r, s.stationgri[i], s.stationletter[i], s.stationchaindelay[i], s.stationdistance[i],
               s.stationdelay[i]);
    for (std::size_t j = 0; j < s.taigri.size(); ++j)
      complete(r, s.taigri[j], s.tailetter[j], s.taichaindelay[j], s.taidistance[j], s.taidelay[j]);
  }
  buildStationOrder(s);
  computeBlockGeometry(s);
  dimensionArrays(s);
  s.nominalsr = s.sr;
  computeChainTiming(s);
  s.blockstart = -s.overlap / s.sr;
  s.blockend = 0;
  computeClockTime(s);
  return s;
}

void SynthReader::open(State& s) const { s.inputremaining = scenario_.frames * 4; }

void SynthReader::operator()(State& s, Platform&) {
  int16_t* re = s.samplere.data();
  int16_t* im = s.sampleim.data();
  float* power = s.samplepower.data();
  if (const int32_t n = s.newsamples; n > 0) {
    const auto threshold = static_cast<float>(s.nbfac * sumPower(power, n) / n); // [sample units^2]
    const SampleSums sums = s.nb != 0 ? sumQuietSamples(re, im, power, n, threshold) : sumSamples(re, im, n);
    s.dcsumre += static_cast<float>(sums.re);
    s.dcsumim += static_cast<float>(sums.im);
    s.dccount += static_cast<float>(n);
    std::copy(re + n, re + n + s.overlap, re);
    std::copy(im + n, im + n + s.overlap, im);
    std::copy(power + n, power + n + s.overlap, power);
  }
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
