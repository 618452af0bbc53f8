#include "acquisition/source.h"

#include <cmath>

namespace velkor {

void computeBlockGeometry(State& s) {
  s.blocklength = static_cast<int32_t>(std::floor(s.sr / 5512.5 + 0.5)) * 1024;
  if (s.fileblocklen > 0) s.blocklength = s.fileblocklen;
  s.overlap = (s.displaysamples / 256 + 1) * 256;
  s.buffersize = s.overlap + s.blocklength;
  s.blockbytes = s.bytespersample * s.blocklength * s.channels;
}

void initialiseDecoder(State&) {}
void openSource(State&, Platform&) {}
void readBlock(State&, Platform&) {}

} // namespace velkor
