// Distance on the WGS-84 ellipsoid (Vincenty's inverse formula).
#pragma once

namespace velkor {

// From (lat1, lon1) to (lat2, lon2), degrees north and east positive [km].
double geodesicDistance(double lat1, double lon1, double lat2, double lon2);

} // namespace velkor
