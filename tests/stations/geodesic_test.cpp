#include "stations/geodesic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velkor {

TEST(GeodesicDistance, OneDegreeOnTheEquatorAndOnTheMeridian) {
  // Along the equator the ellipsoid's distance is a * L: 6378.137 km * pi / 180.
  EXPECT_NEAR(geodesicDistance(0, 0, 0, 1), 111.31949079, 5e-9);
  EXPECT_NEAR(geodesicDistance(0, 0, 1, 0), 110.5744, 5e-5);
  EXPECT_NEAR(geodesicDistance(0, 1, 0, 0), 111.31949079, 5e-9) << "westward as eastward";
}

TEST(GeodesicDistance, VincentysOwnExample) {
  // Flinders Peak to Buninyong, the classic check of the inverse formula.
  double lat1 = -(37 + 57 / 60.0 + 3.72030 / 3600), lon1 = 144 + 25 / 60.0 + 29.52440 / 3600;
  double lat2 = -(37 + 39 / 60.0 + 10.15610 / 3600), lon2 = 143 + 55 / 60.0 + 35.38390 / 3600;
  EXPECT_NEAR(geodesicDistance(lat1, lon1, lat2, lon2), 54.972271, 1e-6);
}

TEST(GeodesicDistance, CoincidingPointsGiveZero) {
  EXPECT_EQ(geodesicDistance(51.4779, -0.0015, 51.4779, -0.0015), 0.0);
  EXPECT_EQ(geodesicDistance(0, 0, 0, 0), 0.0);
  EXPECT_EQ(geodesicDistance(-33.5, 151.25, -33.5, 151.25), 0.0);
}

TEST(GeodesicDistance, EquatorialPointsAvoidDividingByZero) {
  double d = geodesicDistance(0, 10, 0, 100);
  ASSERT_TRUE(std::isfinite(d));
  EXPECT_NEAR(d, 90 * 111.31949079, 1e-6);
}

TEST(GeodesicDistance, NearlyAntipodalPointsStillGiveAFiniteDistance) {
  for (double lon : {179.5, 179.7, 179.9}) {
    double d = geodesicDistance(0, 0, 0.5, lon);
    ASSERT_TRUE(std::isfinite(d)) << lon;
    EXPECT_GT(d, 19900.0) << lon;
    EXPECT_LT(d, 20010.0) << lon;
  }
}

} // namespace velkor
