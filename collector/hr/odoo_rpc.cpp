#include "collector/hr/odoo_rpc.h"

#include <utility>

#include "collector/hr/hr_answer.h"

namespace tallygate::collector {
namespace {

using Json = nlohmann::json;

// Replies are a few records; a longer one is cut, and read as no JSON.
constexpr size_t kReplyKept = 1 << 20;

// JSON-RPC's error, by its exception's name, as the status JSON-2 gives.
long StatusOfError(const std::string& name) {
  if (name.find("AccessDenied") != std::string::npos) return 401;
  if (name.find("AccessError") != std::string::npos) return 403;
  if (name.find("NotFound") != std::string::npos || name.find("MissingError") != std::string::npos) {
    return 404;
  }
  if (name.find("UserError") != std::string::npos ||
      name.find("ValidationError") != std::string::npos) {
    return 422;
  }
  return 500;
}

OdooReply FromHttp(const HttpAnswer& answer) {
  OdooReply reply;
  reply.status = answer.status;
  reply.retry_after = answer.retry_after;
  if (answer.status == 0) {
    reply.message = answer.error;
    return reply;
  }
  if (!reply.ok()) {
    reply.message = OdooMessage(answer.body);
    return reply;
  }
  reply.result = Json::parse(answer.body, nullptr, false);
  if (reply.result.is_discarded()) {
    reply.status = 502;
    reply.message = "the answer is no JSON: " + OneLine(answer.body);
  }
  return reply;
}

}  // namespace

std::string OdooReply::Text() const {
  if (status == 0) return "no answer: " + message;
  return "HTTP " + std::to_string(status) + (message.empty() ? "" : ": " + message);
}

OdooRpc::OdooRpc(HrSite site) : site_(std::move(site)) {}

HttpAnswer OdooRpc::Post(const std::string& path, const std::string& body,
                         std::vector<std::string> headers, std::stop_token stop) {
  HttpRequest request;
  request.url = JoinUrl(site_.url, path);
  request.body = body;
  request.headers = std::move(headers);
  request.headers.push_back("Accept: application/json");
  request.timeout = site_.timeout;
  request.ca_file = site_.ca_file;
  request.stop = std::move(stop);
  request.answer_kept = kReplyKept;
  return client_.Send(request);
}

OdooReply OdooRpc::Call(const std::string& model, const std::string& method,
                        const std::vector<int64_t>& ids, const std::vector<OdooArg>& args,
                        std::stop_token stop) {
  if (site_.protocol == HrSite::Protocol::kJson2) {
    return Json2(model, method, ids, args, std::move(stop));
  }
  if (std::optional<OdooReply> failed = LogIn(stop)) return *failed;
  Json positional = Json::array();
  if (!ids.empty()) positional.push_back(ids);
  Json named = Json::object();
  for (const OdooArg& arg : args) {
    if (arg.positional) {
      positional.push_back(arg.value);
    } else {
      named[arg.name] = arg.value;
    }
  }
  OdooReply reply = JsonRpc("object", "execute_kw",
                            {site_.database, *uid_, site_.api_key, model, method,
                             positional, named},
                            stop);
  if (reply.status == 401) uid_.reset();  // logged in again next time
  return reply;
}

OdooReply OdooRpc::Json2(const std::string& model, const std::string& method,
                         const std::vector<int64_t>& ids, const std::vector<OdooArg>& args,
                         std::stop_token stop) {
  Json body = Json::object();
  if (!ids.empty()) body["ids"] = ids;
  for (const OdooArg& arg : args) body[arg.name] = arg.value;
  std::vector<std::string> headers = {"Authorization: bearer " + site_.api_key};
  if (!site_.database.empty()) headers.push_back("X-Odoo-Database: " + site_.database);
  OdooReply reply = FromHttp(Post("/json/2/" + model + "/" + method, body.dump(), headers, stop));
  if (reply.status == 404 && reply.message.find("does not exist") == std::string::npos &&
      reply.message.find("has no") == std::string::npos) {
    reply.message += " (no JSON-2 API here: before Odoo 19, set protocol = \"jsonrpc\" and user)";
  }
  return reply;
}

OdooReply OdooRpc::JsonRpc(const std::string& service, const std::string& method,
                           const Json& args, std::stop_token stop) {
  const Json body = {{"jsonrpc", "2.0"},
                     {"method", "call"},
                     {"params", {{"service", service}, {"method", method}, {"args", args}}},
                     {"id", ++call_id_}};
  OdooReply reply = FromHttp(Post("/jsonrpc", body.dump(), {}, stop));
  if (!reply.ok()) {
    if (reply.status == 404) {
      reply.message += " (no /jsonrpc here: from Odoo 19 on, set protocol = \"json2\")";
    }
    return reply;
  }
  const Json answer = std::move(reply.result);
  reply.result = Json();
  if (answer.is_object() && answer.contains("error")) {
    const Json& error = answer["error"];
    const Json data = error.is_object() ? error.value("data", Json::object()) : Json::object();
    reply.status = StatusOfError(data.is_object() ? data.value("name", "") : "");
    reply.message = OdooMessage(answer.dump());
    return reply;
  }
  if (!answer.is_object() || !answer.contains("result")) {
    reply.status = 502;
    reply.message = "the answer is no JSON-RPC result";
    return reply;
  }
  reply.result = answer["result"];
  return reply;
}

std::optional<OdooReply> OdooRpc::LogIn(std::stop_token stop) {
  if (uid_) return std::nullopt;
  OdooReply reply = JsonRpc("common", "login",
                            {site_.database, site_.user, site_.api_key}, stop);
  if (!reply.ok()) return reply;
  if (!reply.result.is_number_integer()) {
    reply.status = 401;
    reply.message = "Odoo refused the login of \"" + site_.user + "\" to database \"" +
                    site_.database + "\" with the API key";
    return reply;
  }
  uid_ = reply.result.get<int64_t>();
  return std::nullopt;
}

}  // namespace tallygate::collector
