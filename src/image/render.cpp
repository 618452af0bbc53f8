#include "image/render.h"

namespace velkor {

void renderImageRow(State&) {}

} // namespace velkor
