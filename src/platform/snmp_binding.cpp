#include "platform/snmp_binding.h"

namespace velmar {

void SetBindingValue(AsnAny& value, uint8_t type, uint64_t number, const std::string& bytes,
                     const std::vector<uint32_t>& object, BindingValueStore& store) {
  value = AsnAny{};
  value.asnType = type;
  switch (type) {
    case ASN_OCTETSTRING:
    case ASN_IPADDRESS:
      store.bytes = bytes;
      value.asnValue.string.stream = reinterpret_cast<uint8_t*>(store.bytes.data());
      value.asnValue.string.length = static_cast<uint32_t>(store.bytes.size());
      break;
    case ASN_OBJECTIDENTIFIER:
      store.object = object;
      value.asnValue.object.ids = store.object.data();
      value.asnValue.object.idLength = static_cast<uint32_t>(store.object.size());
      break;
    case ASN_COUNTER64:
      value.asnValue.counter64 = number;
      break;
    default:
      value.asnValue.unsigned32 = static_cast<uint32_t>(number);
      break;
  }
}

void SetNullValue(AsnAny& value) {
  value = AsnAny{};
  value.asnType = ASN_NULL;
}

void ClearQueryError(int32_t* errorStatus, int32_t* errorIndex) {
  if (errorStatus != nullptr) {
    *errorStatus = 0;
  }
  if (errorIndex != nullptr) {
    *errorIndex = 0;
  }
}

int FailQuery(int32_t* errorStatus) {
  constexpr int32_t kGenErr = 5;
  if (errorStatus != nullptr) {
    *errorStatus = kGenErr;
  }
  return 0;
}

}  // namespace velmar
