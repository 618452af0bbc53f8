#include "stations/geodesic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

TEST(GeodesicDistance, WorkedValues) {
  // Along the equator the distance is a x L: 6378.137 km x pi / 180 per degree.
  EXPECT_NEAR(geodesicDistance(0, 0, 0, 1), 111.31949079, 5e-9);
  EXPECT_NEAR(geodesicDistance(0, 1, 0, 0), 111.31949079, 5e-9) << "westward as eastward";
  EXPECT_NEAR(geodesicDistance(0, 10, 0, 100), 90 * 111.31949079, 1e-6) << "cos^2 alpha = 0 divides by nothing";
  EXPECT_NEAR(geodesicDistance(0, 0, 1, 0), 110.5744, 5e-5);
  // Vincenty's own check: Flinders Peak to Buninyong.
  EXPECT_NEAR(geodesicDistance(-(37 + 57 / 60.0 + 3.72030 / 3600), 144 + 25 / 60.0 + 29.52440 / 3600,
                               -(37 + 39 / 60.0 + 10.15610 / 3600), 143 + 55 / 60.0 + 35.38390 / 3600),
              54.972271, 1e-6);
  EXPECT_EQ(geodesicDistance(51.4779, -0.0015, 51.4779, -0.0015), 0.0) << "coinciding points";
  for (double lon : {179.5, 179.9}) { // nearly antipodal: no convergence, still a distance
    const double d = geodesicDistance(0, 0, 0.5, lon);
    EXPECT_TRUE(std::isfinite(d) && d > 19900 && d < 20010) << lon << ": " << d;
  }
}

} // namespace velkor
