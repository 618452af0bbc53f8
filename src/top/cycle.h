// The main cycle: integrate block after block, close short integrations and
// image rows, re-synchronise on request; returns at the end of a WAV input or
// on q. Shutdown closes the run.
#pragma once

#include "ground/outcome.h"
#include "image/imagefileaccess.h"
#include "platform/platform.h"
#include "top/record.h"

namespace velkor {

// Runs integration runs and re-synchronisations until a block reader or the
// image retry returns endOfInput or quit, which it returns.
Outcome runMainCycle(Record& record, Platform& platform, const BlockReader& readBlock);

// The end of one short integration: blanker, status line, tracking, transfer,
// re-synchronisation requests, and the image row when due.
Outcome endShortIntegration(Record& record, Platform& platform);

// Reset the stream clock, refresh clocktime and synchronise again.
Outcome resynchronise(Record& record, Platform& platform, const BlockReader& readBlock);

// Adds the rendered row to the image through `file`; a failed write is
// retried every 200 ms (with bmperrorhandling) until it succeeds or q is
// pressed (quit).
Outcome appendImageRow(Record& record, Platform& platform, ImageFileAccess& file);

// The orderly end: a line end after the last status line at the end of the
// input, the input closed; returns the exit status 0.
int shutDown(Record& record, Platform& platform, Outcome outcome);

} // namespace velkor
