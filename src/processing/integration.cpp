#include "processing/integration.h"

namespace velkor {

void setupStationTiming(State& state) {
  state.resyncrequests = 0;
  state.lockcount = 0;
}
void integrateBlock(State&) {}
void updateNoiseBlanker(State&) {}

} // namespace velkor
