#include "stations/geodesic.h"

namespace velkor {

double geodesicDistance(double, double, double, double) { return 0; }

} // namespace velkor
