#include "device/I2CTypes.h"

namespace qrb::device {
static_assert(sizeof(TInterfaceMask) == 2);
} // namespace qrb::device
