// Loran-C signals from first principles for the synchronisation tests, and a
// block reader that hands a recording to the receiver as readBlock would.
//
// A chain's phase-code intervals lie on an absolute grid: interval n of a
// chain with GRI g begins n x 2g x 10 us after 1958-01-01 00:00 on the
// receiver's time scale. A transmitter's pulse group follows each interval's
// start by its emission delay plus the propagation time to the receiver.
#pragma once

#include "core/state.h"

#include <cstdint>
#include <vector>

namespace velkor::test {

struct LoranTransmitter {
  int32_t gri = 7499;      // [10 us]
  bool master = true;      // nine-pulse master group, else eight-pulse secondary
  double arrival = 0;      // emission delay plus propagation time [s]
  double amplitude = 1000; // envelope peak [sample units]
  double phase = 0;        // carrier phase [rad]
};

struct LoranRecording {
  double sr = 48000;               // [Hz]
  int64_t startns = 0;             // true time of the first sample [ns since 1958]
  std::vector<int16_t> re, im;     // [sample units]
  double startSeconds() const { return static_cast<double>(startns) * 1e-9; }
};

// Pulse envelope (t / 65 us)^2 exp(2 - 2 t / 65 us), 1 at its peak.
double pulseEnvelope(double seconds);

// Signs of the Loran-C phase codes: the master's nine pulses in GRI A and B,
// the secondary's eight.
extern const int kMasterCodeA[9];
extern const int kMasterCodeB[9];
extern const int kSecondaryCodeA[8];
extern const int kSecondaryCodeB[8];

// Stream time of the first pulse group at or after the recording's start [s].
double firstGroupStart(const LoranTransmitter& transmitter, int64_t startns);

// Samples of `seconds` of signal from all transmitters, the carrier at
// `carrier` Hz in I + jQ, plus Gaussian noise of deviation `noise`.
LoranRecording synthesiseLoran(const std::vector<LoranTransmitter>& transmitters, double sr, double seconds,
                               int64_t startns, double carrier, double noise, uint32_t seed);

// Hands out a recording block by block: retires the previous block behind the
// overlap, advances blockstart / blockend and inputremaining (4 bytes a
// frame), and sets pcbuffertime from the true time plus `pcerror`.
class RecordingReader {
public:
  RecordingReader(const LoranRecording& recording, int32_t blocklength)
      : recording_(recording), blocklength_(blocklength) {}
  // Sets inputremaining for the whole recording.
  void open(State& state) const;
  BlockReader reader();
  int reads = 0;            // blocks handed out
  int64_t consumed = 0;     // [samples] handed out
  double pcerror = 0;       // PC clock minus true time [s]

private:
  void read(State& state);
  const LoranRecording& recording_;
  int32_t blocklength_;     // [samples] per block
};

} // namespace velkor::test
