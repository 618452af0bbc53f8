// The sample input on arbitrary bytes: a WAV recording (chunk walk, "fmt "
// check, data chunks between other chunks) or a raw sample file, read and
// decoded block by block to its end as a run does. The first two bytes
// choose the sample format and the decoding settings; the rest is the file.
// Refusals (FatalError) are the reader's answer to bad input; anything else
// that escapes, and every sanitizer report, is a crash.
#include "fuzzinput.h"

#include "acquisition/source.h"
#include "ground/errors.h"

#include <sstream>

namespace {

using namespace velkor;

constexpr std::size_t kChoiceBytes = 2; // [bytes] before the file's content

// Settings from the choice bytes: channels, sample width, WAV or raw, noise
// blanker, oscillator mixing and drift, a scale that saturates, and a block
// length of 1 to 256 samples so that blocks end anywhere in the chunks.
Settings chosenSettings(const uint8_t* choice, const std::string& path) {
  Settings settings;
  settings.inputfile = path;
  settings.sr = 48000;
  settings.channels = (choice[0] & 1) ? 2 : 1;
  settings.bytespersample = (choice[0] & 2) ? 2 : 1;
  settings.wavinput = (choice[0] & 4) ? 1 : 0;
  settings.nb = (choice[0] & 8) ? 1 : 0;
  settings.looffset = (choice[0] & 16) ? 1234.5 : 0;
  settings.lodrift = (choice[0] & 32) ? 0.5f : 0;
  settings.filescale = (choice[0] & 64) ? 3.5f : 1;
  settings.displaysamples = (choice[0] & 128) ? 300 : 24;
  settings.fileblocklen = 1 + choice[1];
  return settings;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < kChoiceBytes) return 0;
  static fuzz::MemoryFile file;
  file.replace(data + kChoiceBytes, size - kChoiceBytes);
  const Settings settings = chosenSettings(data, file.path());
  std::ostringstream errors;
  try {
    Acquisition acquisition;
    computeBlockGeometry(settings, acquisition);
    dimensionBuffer(acquisition);
    initialiseDecoder(settings, acquisition);
    resetStreamClock(settings, acquisition);
    if (settings.wavinput) openWav(settings, acquisition, errors);
    else tryOpenRaw(settings, acquisition);
    while (acquisition.inputremaining > 0) readBlock(settings, acquisition, errors);
    takeDcSums(acquisition);
    rawFileUsedUp(settings, acquisition);
  } catch (const FatalError& refusal) {
    errors << refusal.what();
  }
  return 0;
}
