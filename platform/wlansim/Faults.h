// Injected failures of the simulated service. The program never arms one:
// the fault table belongs to the test control library (aerlume_simcontrol,
// platform/wlansim/control), which installs it on its first use. Without it
// no fault fires.
#pragma once

#include "platform/wlansim/SimControl.h"

namespace wlansim {

// True when the fault of `op` fires for this call; *error then holds its error.
bool FaultFires(Op op, DWORD* error);

using FaultSource = bool (*)(Op op, DWORD* error);
void InstallFaultSource(FaultSource source);

}  // namespace wlansim
