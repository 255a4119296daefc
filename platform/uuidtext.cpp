#include "platform/uuidtext.h"

#include <QUuid>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t kTextLength = 36;

QUuid ToQUuid(const UUID& u) {
  return QUuid(u.Data1, u.Data2, u.Data3, u.Data4[0], u.Data4[1], u.Data4[2], u.Data4[3], u.Data4[4], u.Data4[5],
               u.Data4[6], u.Data4[7]);
}

}  // namespace

RPC_STATUS UuidToStringA(const UUID* Uuid, RPC_CSTR* StringUuid) {
  if (StringUuid == nullptr) return RPC_S_INVALID_ARG;
  const QByteArray text = ToQUuid(Uuid != nullptr ? *Uuid : UUID{}).toByteArray(QUuid::WithoutBraces);
  char* copy = new (std::nothrow) char[kTextLength + 1];
  if (copy == nullptr) return RPC_S_OUT_OF_MEMORY;
  std::memcpy(copy, text.constData(), kTextLength);
  copy[kTextLength] = '\0';
  *StringUuid = reinterpret_cast<RPC_CSTR>(copy);
  return RPC_S_OK;
}

RPC_STATUS UuidFromStringA(RPC_CSTR StringUuid, UUID* Uuid) {
  if (Uuid == nullptr) return RPC_S_INVALID_ARG;
  if (StringUuid == nullptr) {
    *Uuid = UUID{};
    return RPC_S_OK;
  }
  // Exactly 36 characters without braces; QUuid checks the hyphens and the
  // digits, and gives the null UUID for text it refuses.
  const char* text = reinterpret_cast<const char*>(StringUuid);
  if (strnlen(text, kTextLength + 1) != kTextLength) return RPC_S_INVALID_STRING_UUID;
  const QByteArray bytes(text, kTextLength);
  const QUuid parsed = QUuid::fromString(QLatin1StringView(bytes));
  if (parsed.isNull() && bytes != QByteArrayLiteral("00000000-0000-0000-0000-000000000000"))
    return RPC_S_INVALID_STRING_UUID;
  UUID result{};
  result.Data1 = parsed.data1;
  result.Data2 = parsed.data2;
  result.Data3 = parsed.data3;
  for (std::size_t i = 0; i < 8; ++i) result.Data4[i] = parsed.data4[i];
  *Uuid = result;
  return RPC_S_OK;
}

RPC_STATUS RpcStringFreeA(RPC_CSTR* String) {
  if (String == nullptr) return RPC_S_INVALID_ARG;
  delete[] reinterpret_cast<char*>(*String);
  *String = nullptr;
  return RPC_S_OK;
}
