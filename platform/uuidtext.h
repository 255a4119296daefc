// GUID text as the RPC run-time gives it: 36 characters, groups of 8, 4, 4, 4
// and 12 hexadecimal digits separated by hyphens, no braces.
#pragma once

#include "platform/wintypes.h"

using UUID = GUID;
using RPC_STATUS = LONG;
using RPC_CSTR = unsigned char*;

constexpr RPC_STATUS RPC_S_OK = 0;
constexpr RPC_STATUS RPC_S_OUT_OF_MEMORY = 14;
constexpr RPC_STATUS RPC_S_INVALID_ARG = 87;
constexpr RPC_STATUS RPC_S_INVALID_STRING_UUID = 1705;

// Writes the lower-case text of *Uuid to a new string that the caller frees
// with RpcStringFreeA. A null Uuid gives the text of the all-zero GUID.
RPC_STATUS UuidToStringA(const UUID* Uuid, RPC_CSTR* StringUuid);

// Parses the text strictly: exactly 36 characters, hyphens at 8, 13, 18 and
// 23, hexadecimal digits elsewhere in either case. A null text gives the
// all-zero GUID. On failure *Uuid is left unchanged.
RPC_STATUS UuidFromStringA(RPC_CSTR StringUuid, UUID* Uuid);

// Frees a string from UuidToStringA and sets *String to null.
RPC_STATUS RpcStringFreeA(RPC_CSTR* String);
