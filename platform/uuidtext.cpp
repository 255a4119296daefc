#include "platform/uuidtext.h"

#include <cstdio>
#include <new>

namespace {

constexpr std::size_t kTextLength = 36;

int HexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsHyphenPosition(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

}  // namespace

RPC_STATUS UuidToStringA(const UUID* Uuid, RPC_CSTR* StringUuid) {
  if (StringUuid == nullptr) return RPC_S_INVALID_ARG;
  const UUID zero{};
  const UUID& u = Uuid != nullptr ? *Uuid : zero;
  char* text = new (std::nothrow) char[kTextLength + 1];
  if (text == nullptr) return RPC_S_OUT_OF_MEMORY;
  std::snprintf(text, kTextLength + 1, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned>(u.Data1), static_cast<unsigned>(u.Data2), static_cast<unsigned>(u.Data3),
                u.Data4[0], u.Data4[1], u.Data4[2], u.Data4[3], u.Data4[4], u.Data4[5], u.Data4[6], u.Data4[7]);
  *StringUuid = reinterpret_cast<RPC_CSTR>(text);
  return RPC_S_OK;
}

RPC_STATUS UuidFromStringA(RPC_CSTR StringUuid, UUID* Uuid) {
  if (Uuid == nullptr) return RPC_S_INVALID_ARG;
  if (StringUuid == nullptr) {
    *Uuid = UUID{};
    return RPC_S_OK;
  }
  // Collect the 32 digits, checking every position; the text must end right
  // after the 36th character.
  unsigned char digits[32];
  std::size_t n = 0;
  for (std::size_t i = 0; i < kTextLength; ++i) {
    const unsigned char c = StringUuid[i];
    if (c == '\0') return RPC_S_INVALID_STRING_UUID;
    if (IsHyphenPosition(i)) {
      if (c != '-') return RPC_S_INVALID_STRING_UUID;
      continue;
    }
    const int v = HexValue(c);
    if (v < 0) return RPC_S_INVALID_STRING_UUID;
    digits[n++] = static_cast<unsigned char>(v);
  }
  if (StringUuid[kTextLength] != '\0') return RPC_S_INVALID_STRING_UUID;

  auto take = [&digits](std::size_t from, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = from; i < from + count; ++i) value = (value << 4) | digits[i];
    return value;
  };
  UUID result{};
  result.Data1 = take(0, 8);
  result.Data2 = static_cast<WORD>(take(8, 4));
  result.Data3 = static_cast<WORD>(take(12, 4));
  for (std::size_t i = 0; i < 8; ++i) result.Data4[i] = static_cast<BYTE>(take(16 + 2 * i, 2));
  *Uuid = result;
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeA(RPC_CSTR* String) {
  if (String == nullptr) return RPC_S_INVALID_ARG;
  delete[] reinterpret_cast<char*>(*String);
  *String = nullptr;
  return RPC_S_OK;
}
