// What a step of the run returns: go on, or how the run ends. Reading, image
// writing and synchronisation return it; only the top acts on an end.
#pragma once

#include <functional>

namespace velkor {

enum class Outcome {
  ready,      // the step is done, the run goes on
  endOfInput, // a WAV recording (or an empty raw file) has no samples left
  quit,       // the key q was pressed
};

// Reads, decodes and stamps the next block of samples into the record it was
// made for; the top builds it (tests substitute a synthesiser).
using BlockReader = std::function<Outcome()>;

// Whether the user has asked to end the run (the key q), for work that can
// last longer than a second between two blocks; the top builds it, an empty
// one never asks.
using QuitPoll = std::function<bool()>;

} // namespace velkor
