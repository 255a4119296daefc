// The service's own descriptions of the reason codes it reports.
#pragma once

#include "platform/wlantypes.h"

namespace wlansim {

// The description of `code`, or null when the service has none.
const char16_t* ReasonText(WLAN_REASON_CODE code);

}  // namespace wlansim
