// The sample input as the top drives it: opening (waiting for a raw file
// while watching for q) and reading the next block with its PC stamp and the
// change to the next raw file.
#pragma once

#include "ground/outcome.h"
#include "platform/platform.h"
#include "top/record.h"

namespace velkor {

// Opens inputfile: a WAV recording at once (FatalError when it cannot be
// read), a raw file when it appears; quit when q is pressed while waiting.
Outcome openInput(Record& record, Platform& platform);

// endOfInput when no sample bytes are left, quit on q; else reads and decodes
// one block, stamps it with the PC clock and, when a raw file is used up,
// deletes it and opens the next.
Outcome readNextBlock(Record& record, Platform& platform);

// readNextBlock bound to the record and the platform, for the synchronisation
// and the main cycle.
BlockReader blockReader(Record& record, Platform& platform);

// Whether q has been pressed, for the synchronisation's search.
QuitPoll quitPoll(Platform& platform);

} // namespace velkor
