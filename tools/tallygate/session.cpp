#include "tools/tallygate/session.h"

#include <utility>

#include "tallygate/basic_error.h"
#include "tallygate/host.h"
#include "tallygate/runtime.h"
#include "tallygate/terminal.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/exit_status.h"
#include "tools/tallygate/json_output.h"
#include "tools/tallygate/member_lookup.h"

namespace tallygate::cli {
namespace {

void WriteLine(std::FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

// Keeps a message on one line.
std::string OneLine(const char* text) {
  std::string out;
  for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
    if (*p == '\n') {
      out += "\\n";
    } else if (*p == '\r') {
      out += "\\r";
    } else {
      out += *p;
    }
  }
  return out;
}

// The first button of the set, as a box answered by pressing Enter.
int32_t ConsoleMessageBox(void*, const char* title, const char* text, int32_t style) {
  WriteLine(stderr, "msgbox: " + OneLine(title) + ": " + OneLine(text));
  return host::DefaultAnswer(style);
}

void ConsoleAbout(void*, const char* caption, const char* version, const char* second) {
  WriteLine(stderr, "about: " + OneLine(caption) + ": " + OneLine(version) + " / " +
                        OneLine(second));
}

int32_t ModeOf(CallKind kind) {
  switch (kind) {
    case CallKind::kLet: return TG_INVOKE_PROPERTY_PUT;
    case CallKind::kGet: return TG_INVOKE_PROPERTY_GET;
    default: return TG_INVOKE_METHOD | TG_INVOKE_PROPERTY_GET;
  }
}

}  // namespace

void InstallConsoleHost() {
  tg_host_services services{};
  services.message_box = ConsoleMessageBox;
  services.show_about = ConsoleAbout;
  tg_runtime_set_host_services(&services);
}

void Session::Warn(const std::string& text) { WriteLine(err_, "tallygate: " + text); }

bool Session::Setup(const std::string& what, CallKind kind, const std::string& name,
                    const std::vector<Variant>& args) {
  const Outcome outcome = object_.Invoke(name, ModeOf(kind), args);
  if (!outcome.ok()) {
    Warn(what + " failed: error " + std::to_string(outcome.number) + " (" +
         outcome.description + ")");
    return false;
  }
  return outcome.result.kind() != TG_BOOL || outcome.result.boolean();
}

bool Session::ConnectNet(const std::string& tcp) {
  const TcpTarget target = SplitTcpTarget(tcp);
  const Result<std::vector<std::string>> addresses = ResolveHost(target.host);
  if (!addresses || addresses.value().empty()) {
    Warn("cannot reach " + tcp + ": " +
         (addresses ? "host not found" : Reason(addresses.error())));
    return false;
  }
  // A name may stand for several addresses (::1 and 127.0.0.1 for
  // localhost); the first that connects is kept.
  for (const std::string& address : addresses.value()) {
    std::vector<Variant> args{Variant(address)};
    if (!target.port.empty()) args.emplace_back(target.port);
    if (Setup("Connect_Net " + tcp, CallKind::kCall, "Connect_Net", args)) return true;
  }
  const std::string why = WhyTcpFails(addresses.value().back(), target.port);
  Warn("Connect_Net " + tcp + " returned false" + (why.empty() ? "" : ": " + why));
  return false;
}

bool Session::Connect(const Connection& connection) {
  if (!connection.tcp.empty()) {
    if (!Setup("Mode = 1", CallKind::kLet, "Mode", {Variant(int16_t{1})})) return false;
    return ConnectNet(connection.tcp);
  }
  if (!connection.com.empty()) {
    if (!Setup("Mode = 0", CallKind::kLet, "Mode", {Variant(int16_t{0})})) return false;
    if (Setup("SetPort " + connection.com, CallKind::kCall, "SetPort",
              {Variant(connection.com)})) {
      return true;
    }
    const std::string why = WhyPortFails(connection.com);
    Warn("SetPort " + connection.com + " returned false" + (why.empty() ? "" : ": " + why));
    return false;
  }
  return true;
}

int Session::Run(CallKind kind, const std::string& name, const std::vector<std::string>& words) {
  CallArguments arguments;
  try {
    arguments = MakeCallArguments(words, FindMember(name, kind), basic_);
  } catch (const ArgumentError& error) {
    WriteLine(out_, ErrorLine(name, err::kInvalidProcedureCall, error.what()));
    Warn(name + ": " + error.what() + "; nothing was sent (see: tallygate members " + name + ")");
    return kUsage;
  } catch (const BasicError& error) {
    WriteLine(out_, ErrorLine(name, error.number(), error.description()));
    return kFailed;
  }
  const Outcome outcome = object_.Invoke(name, ModeOf(kind), arguments.values);
  if (!outcome.ok()) {
    WriteLine(out_, ErrorLine(name, outcome.number, outcome.description));
    return kFailed;
  }
  WriteLine(out_, ResultLine(name, outcome.result, arguments.variables, arguments.variable_names));
  return IsFailureResult(name, outcome.result) ? kFailed : kSucceeded;
}

}  // namespace tallygate::cli
