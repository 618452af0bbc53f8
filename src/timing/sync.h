// TAI synchronisation: fold the synchronisation chains, find them by their
// phase codes and resolve the clock offset; sets timeorigin.
#pragma once

#include "core/state.h"
#include "platform/platform.h"

namespace velkor {

void synchronise(State& state, Platform& platform, const BlockReader& readBlock);

} // namespace velkor
