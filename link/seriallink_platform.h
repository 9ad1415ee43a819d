// Pieces of the serial link that differ per operating system, used by the shared send loop.
#pragma once

#include "link/seriallink.h"

namespace hmx::detail {

// Waits until output already queued on the port has left it (FlushFileBuffers / tcdrain).
// False when the port refused.
bool FlushOutput(PortHandle handle);

} // namespace hmx::detail
