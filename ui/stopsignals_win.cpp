// Windows ends a windowed program by closing its window; there is nothing to install.
#include "ui/stopsignals.h"

namespace hmx {

void CloseOnStopSignals(TForm1&)
{
}

} // namespace hmx
