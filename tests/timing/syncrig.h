// A receiver state set up by hand for the synchronisation tests.
#pragma once

#include "core/startup.h"
#include "core/state.h"

#include "support/testplatform.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace velkor::test {

// 03-01-2015 12:00:00 UTC on the internal scale (22 s + 3 leap seconds ahead).
constexpr double kNoonMarch2015 = 1803902425.0;

struct Entry {
  int32_t gri;      // [10 us]
  char letter;
  float value;      // weight [1/s]
  float delay;      // emission delay [ms]
  float distance;   // [km]
};

// The harmonic of the GRI rate nearest the band centre, minus the band centre [Hz].
inline double lineOffset(double bandcenter, int32_t gri) {
  double c = std::floor(bandcenter / 1000 + 0.5);
  double h = std::nearbyint(c / 100 * gri);
  return h * 100000 / gri - bandcenter;
}

// A receiver state set up by hand as start-up would leave it before the
// synchronisation, at a WAV file's configured start 03-01-2015 12:00:00.
struct Rig {
  State s;
  TestPlatform t;

  explicit Rig(double sr = 48000, bool terminal = false) : t(terminal) {
    s.sr = sr;
    s.nominalsr = sr;
    s.wavinput = 1;
    s.overlap = 256;
    s.blocklength = std::max(1, static_cast<int32_t>(std::floor(sr / 5512.5 + 0.5))) * 1024;
    s.buffersize = s.overlap + s.blocklength;
    s.propagationspeed = static_cast<float>(299522878.3830014 / s.asf);
    s.leapseconds = 3;
    s.clocktime = kNoonMarch2015;
    s.blockstart = -s.overlap / s.sr;
    s.blockend = 0;
    s.newsamples = 0;
  }

  void entries(const std::vector<Entry>& list) {
    for (const Entry& e : list) {
      s.taigri.push_back(e.gri);
      s.tailetter.push_back(e.letter);
      s.taivalue.push_back(e.value);
      s.taidelay.push_back(e.delay);
      s.taidistance.push_back(e.distance);
      s.tailineoffset.push_back(lineOffset(s.bandcenter, e.gri));
    }
    s.taicount = static_cast<int32_t>(list.size());
    dimensionArrays(s);
  }

  // Emission delay plus propagation time of a station [s].
  double arrival(float delay, float distance) const { return delay / 1000.0 + distance * 1000.0 / s.propagationspeed; }

  std::string text() const { return t.text(); }
};

} // namespace velkor::test
