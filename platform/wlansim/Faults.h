// Injected failures of the simulated service, one slot per operation.
#pragma once

#include "platform/wlansim/SimControl.h"

namespace wlansim {

// True when the fault of `op` fires for this call; *error then holds its error.
bool FaultFires(Op op, DWORD* error);

}  // namespace wlansim
