#include "collector/web/write_access.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/random.h>

#include "collector/base/failure.h"
#include "collector/web/access.h"
#include "collector/web/responses.h"

namespace tallygate::collector::web {
namespace {

constexpr size_t kKeyBytes = 32;

std::string RandomKey() {
  std::string key(kKeyBytes, '\0');
  if (getrandom(key.data(), key.size(), 0) != static_cast<ssize_t>(key.size())) {
    throw Failure("no random bytes for the dashboard's form tokens");
  }
  return key;
}

std::string Hex(const unsigned char* bytes, size_t size) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kHex[bytes[i] >> 4];
    out += kHex[bytes[i] & 15];
  }
  return out;
}

}  // namespace

WriteAccess::WriteAccess(std::vector<AdminToken> admins)
    : admins_(std::move(admins)), key_(RandomKey()) {}

std::optional<std::string> WriteAccess::AdminOf(const httplib::Request& request) const {
  const std::optional<std::string> presented = PresentedToken(request);
  return presented ? AdminOfToken(*presented) : std::nullopt;
}

std::optional<std::string> WriteAccess::AdminOfToken(std::string_view token) const {
  // Every token compared, so that the time tells nothing of which matched.
  std::optional<std::string> name;
  for (const AdminToken& admin : admins_) {
    if (SameToken(token, admin.token) && !name) name = admin.name;
  }
  return name;
}

std::string WriteAccess::FormToken(const httplib::Request& request) const {
  const std::optional<std::string> presented = PresentedToken(request);
  if (!presented) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
       reinterpret_cast<const unsigned char*>(presented->data()), presented->size(), digest, &size);
  return Hex(digest, size);
}

std::string WriteAccess::FormTokenInput(const httplib::Request& request) const {
  // Hexadecimal digits: nothing to escape.
  return std::string("<input type=\"hidden\" name=\"") + kFormTokenField + "\" value=\"" +
         FormToken(request) + "\">";
}

WriteRefusal WriteAccess::Check(const httplib::Request& request, bool body_read) const {
  if (!enabled()) return {403, Msg::kReadOnly};
  if (!PresentedToken(request)) return {401, Msg::kAdminNeeded};
  if (!AdminOf(request)) return {403, Msg::kNotAdmin};
  if (HasBearer(request) || !body_read) return {};
  const std::string sent = request.has_param(kFormTokenField)
                               ? request.get_param_value(kFormTokenField)
                               : request.get_header_value("X-CSRF-Token");
  if (sent.empty() || !SameToken(sent, FormToken(request))) return {403, Msg::kFormStale};
  return {};
}

httplib::Server::Handler AdminOnly(const WriteAccess& access, WriteHandler handler) {
  return Guarded([&access, handler = std::move(handler)](const httplib::Request& request,
                                                         httplib::Response& response) {
    const WriteRefusal refusal = access.Check(request, true);
    if (refusal.status != 0) {
      SendError(request, response, refusal.status, Fill(LanguageOf(request), refusal.reason, {}));
      return;
    }
    handler(request, response, "web:" + *access.AdminOf(request));
  });
}

}  // namespace tallygate::collector::web
