// Pieces of the serial link that differ per operating system, used by the shared send loop.
#pragma once

#include "link/seriallink.h"

namespace hmx::detail {

// Waits until output already queued on the port has left it (FlushFileBuffers / tcdrain).
// False when the port refused.
bool FlushOutput(PortHandle handle);

// Records that the port in use reported it is gone (see PortLost); cleared on open.
void MarkLost();
void ClearLost();

// Remembers why the calling thread's open failed.
void SetOpenFailure(OpenFailure failure);

} // namespace hmx::detail
