// The signature of a webhook request, in the usual webhook style:
//
//   Tallygate-Signature: t=1765270800,v1=5257a869e7ecebeda32affa62cdca3fa51cad7e77a0e56ff536d0ce8e108d8bd
//
// v1 is the HMAC-SHA256, in lower-case hex, of "T.BODY" (the timestamp, a
// dot, the body's bytes) under the sink's secret. A receiver computes the
// same, compares in constant time, and refuses a timestamp far from its
// clock, so that a request taken off the wire cannot be replayed later.
#ifndef TALLYGATE_COLLECTOR_DELIVER_SIGNATURE_H_
#define TALLYGATE_COLLECTOR_DELIVER_SIGNATURE_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tallygate::collector {

inline constexpr std::string_view kSignatureHeader = "Tallygate-Signature";
inline constexpr std::string_view kDeliveryHeader = "Tallygate-Delivery";

// The header's value for `body` sent at `unix_seconds`.
std::string Signature(std::string_view secret, int64_t unix_seconds, std::string_view body);

// HMAC-SHA256 of `data` under `key`, in lower-case hex.
std::string HmacSha256Hex(std::string_view key, std::string_view data);

// Two lower-case hex digits a byte, as the signature and a punch's raw
// record are sent.
std::string LowerHex(std::span<const uint8_t> bytes);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_SIGNATURE_H_
