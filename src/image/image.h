// The image part of the run's record: the geometry and size of the growing
// BMP file, the row being built and the hour ticks. This subsystem writes it
// (bmpfile, render).
#pragma once

#include <cstdint>
#include <vector>

namespace velkor {

struct Image {
  int32_t bytesperpixel = 0;      // [bytes] 1 grey, 3 colour; 0 until the file is created
  int32_t palettebytes = 0;       // [bytes] 1024 grey, 0 colour
  int32_t imagewidth = 0;         // [pixels] per row, multiple of 4
  int32_t imageheight = 0;        // [rows]
  int32_t imagefilesize = 0;      // [bytes]
  std::vector<uint8_t> rowbuffer; // the row being built
  int32_t markedhour = 0;         // [h] of the last hour tick
  int16_t hourtick = 0;           // this row carries hour ticks
  int32_t bmpcmdcounter = 0;      // [rows] or [ticks] before bmpcmd runs again
  float cosphi = 0;               // colour phase of the last pixel
  float sinphi = 0;
};

} // namespace velkor
