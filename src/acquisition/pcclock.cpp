#include "acquisition/pcclock.h"

namespace velkor {

void updateClock(State&, Platform&) {}
void calibrateClock(State&, Platform&) {}
void computeStreamOffset(State&) {}

} // namespace velkor
