#include "image/bmpfile.h"

namespace velkor {

void createImageFile(State&) {}
void appendImageRow(State&, Platform&) {}

} // namespace velkor
