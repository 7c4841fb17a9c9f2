#include "collector/deliver/signature.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "collector/base/failure.h"

namespace tallygate::collector {

std::string HmacSha256Hex(std::string_view key, std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
           reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest,
           &length) == nullptr) {
    throw DeliveryError("HMAC-SHA256 failed");
  }
  return LowerHex(std::span<const uint8_t>(digest, length));
}

std::string LowerHex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (uint8_t b : bytes) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::string Signature(std::string_view secret, int64_t unix_seconds, std::string_view body) {
  const std::string t = std::to_string(unix_seconds);
  return "t=" + t + ",v1=" + HmacSha256Hex(secret, t + "." + std::string(body));
}

}  // namespace tallygate::collector
