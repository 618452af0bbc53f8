#include "support/synthreader.h"

#include "acquisition/source.h"
#include "config/config.h"
#include "ground/loran.h"
#include "samplewriter.h"
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
  Acquisition& acq = s.acquisition;
  if (acq.inputremaining <= 0) return Outcome::endOfInput;
  if (acq.newsamples > 0) retireSamples(s.settings, acq);
  const auto n = static_cast<std::size_t>(std::min<int64_t>(acq.blocklength, scenario_.frames - generator_.position()));
  // The samples take the way of a recording: quantised and packed as the
  // synthesiser's writer stores them, then decoded by the receiver itself.
  re_.resize(n);
  im_.resize(n);
  quantisedRe_.resize(n);
  quantisedIm_.resize(n);
  generator_.next(n, re_.data(), im_.data());
  synth::quantiseSamples(re_.data(), n, 8 * s.settings.bytespersample, quantisedRe_.data());
  synth::quantiseSamples(im_.data(), n, 8 * s.settings.bytespersample, quantisedIm_.data());
  synth::packFrames(quantisedRe_.data(), quantisedIm_.data(), n, s.settings.channels, 8 * s.settings.bytespersample,
                    acq.blockbuffer.data() + acq.blockoffset);
  decodeBlock(s.settings, acq, static_cast<int32_t>(n) * s.settings.channels * s.settings.bytespersample);
  acq.inputremaining = (scenario_.frames - generator_.position()) * 4;
  const double end = scenario_.start.value() + static_cast<double>(generator_.position()) / scenario_.trueRate +
                     pcerror; // [s since 1958]
  s.timing.pcbuffertime = static_cast<float>(end - std::floor(end / kSecondsPerDay) * kSecondsPerDay);
  return Outcome::ready;
}

} // namespace velkor::test
