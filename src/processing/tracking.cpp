#include "processing/tracking.h"

namespace velkor {

void showStreamTime(State&, Platform&) {}
void findEdge(State&) {}
void trackOscillator(State&, Platform&) {}
void countResyncRequests(State&) {}

} // namespace velkor
