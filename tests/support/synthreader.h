// A receiver state built from settings text and station-table records in
// code, and a block reader that hands the receiver a synthesised recording
// (tools/synth: built from first principles, so its truth is independent of
// the receiver's timing code) block by block, as readBlock does with a file.
#pragma once

#include "ground/outcome.h"
#include "top/record.h"
#include "stations/stationmodel.h"

#include "generator.h"
#include "scenario.h"

#include <string_view>
#include <vector>

namespace velkor::test {

// Start-up without files: settings applied and validated, stations completed
// from `table`, order, block geometry, arrays, chain timing, the stream clock
// at its start and clocktime from date and time. No synchronisation.
Record receiverState(std::string_view settings, const std::vector<TableRecord>& table = {});

// Each call retires the previous block into the DC sums, packs the next
// samples into the block buffer as the synthesiser's writer stores them (in
// the configured channels and width), and lets the receiver's own decoder
// take them from there; pcbuffertime follows the true time.
class SynthReader {
public:
  explicit SynthReader(const synth::Scenario& scenario) : scenario_(scenario), generator_(scenario_) {}
  SynthReader(const SynthReader&) = delete;
  SynthReader& operator=(const SynthReader&) = delete;
  void open(Record& s) const;    // inputremaining for the whole recording
  Outcome operator()(Record& s); // endOfInput when the recording is used up
  BlockReader reader(Record& s) {
    return [this, &s] { return (*this)(s); };
  }
  int64_t position() const { return generator_.position(); }
  double pcerror = 0; // a PC clock this far ahead of the truth stamps the buffer end [s]

private:
  synth::Scenario scenario_;
  synth::Generator generator_;
  std::vector<float> re_, im_;
  std::vector<int16_t> quantisedRe_, quantisedIm_;
};

} // namespace velkor::test
