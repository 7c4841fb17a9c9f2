// Calls of an Odoo model's methods: through the JSON-2 API (Odoo 19 and
// later: POST /json/2/MODEL/METHOD with the arguments by name, the API key
// as a bearer token), or through the external JSON-RPC API before it
// (POST /jsonrpc, service "object", execute_kw, after a login with the API
// key as the password). Their errors come to one reply: an HTTP-like
// status (JSON-RPC's error names mapped to the status JSON-2 would give)
// and Odoo's message.
#ifndef TALLYGATE_COLLECTOR_DELIVER_ODOO_RPC_H_
#define TALLYGATE_COLLECTOR_DELIVER_ODOO_RPC_H_

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/hr/http_client.h"

namespace tallygate::collector {

struct OdooArg {
  std::string name;
  nlohmann::json value;
  bool positional = false;  // JSON-RPC passes it in args, in order, not by name
};

struct OdooReply {
  long status = 0;  // 200 done; 0 no answer; 401, 403, 404, 422, 5xx as JSON-2 gives them
  nlohmann::json result;
  std::string message;  // Odoo's, or why there was no answer
  std::optional<std::chrono::seconds> retry_after;
  bool ok() const { return status >= 200 && status < 300; }
  std::string Text() const;  // "HTTP 422: MESSAGE"
};

class OdooRpc {
 public:
  explicit OdooRpc(HrSite site);
  OdooReply Call(const std::string& model, const std::string& method,
                 const std::vector<int64_t>& ids, const std::vector<OdooArg>& args,
                 std::stop_token stop);

 private:
  HttpAnswer Post(const std::string& path, const std::string& body, std::vector<std::string> headers,
                  std::stop_token stop);
  OdooReply Json2(const std::string& model, const std::string& method,
                  const std::vector<int64_t>& ids, const std::vector<OdooArg>& args,
                  std::stop_token stop);
  OdooReply JsonRpc(const std::string& service, const std::string& method,
                    const nlohmann::json& args, std::stop_token stop);
  // The user id JSON-RPC calls carry, logged in for once.
  std::optional<OdooReply> LogIn(std::stop_token stop);

  const HrSite site_;
  HttpClient client_;
  std::optional<int64_t> uid_;
  int64_t call_id_ = 0;
};

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_ODOO_RPC_H_
