// The growing BMP image: created empty at start-up, one row per long
// integration. A row is added in three steps so that the top can retry a
// failed write (and watch for q) without this subsystem touching the keyboard:
// beginImageRow, writeImageRow until it returns 0, finishImageRow.
#pragma once

#include "config/settings.h"
#include "image/image.h"
#include "image/imagefileaccess.h"
#include "platform/platform.h"
#include "stations/stations.h"

#include <cstdint>

namespace velkor {

inline constexpr double kImageRetryWait = 0.2; // [s] between attempts of a failed row write

// Creates (or empties) the file `bmp` with an image of no rows and sizes the
// row buffer; any failure is fatal.
void createImageFile(const Settings& settings, const Stations& stations, Image& image);

// Hour ticks into the row (when currenthour [h] differs from the last tick)
// and the sizes that include the new row; false when there is no image file.
// FatalError when the image would outgrow what a BMP can state.
bool beginImageRow(const Settings& settings, const Stations& stations, Image& image, int32_t currenthour);

// One attempt to write the new row and the size fields: 0 when done, else the
// errno to retry after. Fatal (FatalError) on the first attempt's failure to
// open, and on a failed write without bmperrorhandling.
int writeImageRow(const Settings& settings, const Image& image, ImageFileAccess& file, bool retrying);

// Closes the file (fatal when that fails) and runs bmpcmd when due.
void finishImageRow(const Settings& settings, Image& image, ImageFileAccess& file, CommandRunner& commands);

} // namespace velkor
