// The receiver's number printing: plain numbers and templates.
#include "display/format.h"
#include "ground/numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace velkor {

TEST(Printing, PlainNumbers) {
  EXPECT_EQ(formatInteger(7499) + formatInteger(-2) + formatInteger(0), " 7499 -2  0 ");
  EXPECT_EQ(formatSingle(14.35558f) + formatSingle(1234.5678f) + formatSingle(-0.5f), " 14.35558 1234.568-0.5");
  EXPECT_EQ(formatSingle(-0.0f), " 0");
  EXPECT_EQ(formatDouble(-1803902425.5), "-1803902425.5");
}

TEST(Printing, Templates) {
  EXPECT_EQ(formatTemplate(" PC###.##s", {-2}), " PC -2.00s");
  EXPECT_EQ(formatTemplate(" PC###.##s", {1234.5}), " PC%1234.50s");
  EXPECT_EQ(formatTemplate(" max##### edge##.## ", {123.4, 3.5}), " max  123 edge 3.50 ");
  EXPECT_EQ(formatTemplate("SR #####.####Hz ", {22050.00123}), "SR 22050.0012Hz ");
  EXPECT_EQ(formatTemplate("LO +#.#^^^^######.##us", {1.26e-9, -3.456}), "LO +1.3E-09    -3.46us");
  EXPECT_EQ(formatTemplate(" at ####.## s offset, rel. error ##.## rms, ", {-0.02, 0}),
            " at   -0.02 s offset, rel. error  0.00 rms, ");
  EXPECT_EQ(formatTemplate(" at ####.## s offset, rel. error ##.## rms, ", {-0.002, 0}),
            " at   -0.00 s offset, rel. error  0.00 rms, ")
      << "a negative value that rounds to zero keeps its sign, as printf does";
  EXPECT_EQ(formatTemplate(" PC###.##s", {-0.001}) + formatTemplate("LO +#.#^^^^######.##us", {-1e-9, -0.001}),
            " PC -0.00sLO -1.0E-09    -0.00us");
  EXPECT_EQ(formatTemplate("##.##|+#.#|###", {-0.0, -0.0, -0.4}), " 0.00|+0.0| -0") << "only an exact -0 has no sign";
  EXPECT_EQ(formatTemplate("#.##|#.##", {-0.5, 0.5}), "-.50|0.50") << "a leading zero only where there is room";
  EXPECT_EQ(formatTemplate("###|+###.#|+###.#", {2.5, 3.25, -3.25}), "  2|  +3.2|  -3.2") << "halves to even";
  EXPECT_EQ(formatTemplate("+#.#^^^^ +#.#^^^^", {0, 9.96}), "+0.0E+00 +1.0E+01");
  EXPECT_EQ(formatTemplate("sync: a+b. ^^^^ done", {}), "sync: a+b. ^^^^ done") << "text without fields";
  EXPECT_EQ(formatTemplate("LO +#.#^^^^######.##us|SR #####.####Hz|#^^^^", {INFINITY, NAN, -INFINITY, -NAN}),
            "LO +    inf      nanus|SR       -infHz|-  nan")
      << "infinities and NaNs print in every field, an exponent field as wide as a finite value";
  EXPECT_EQ(formatTemplate(std::string(600, '#') + ".#^^^^", {1.5}), " 15" + std::string(597, '0') + ".0E-598")
      << "a field of hundreds of digits is printed in full";
}

} // namespace velkor
