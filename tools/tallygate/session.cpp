#include "tools/tallygate/session.h"

#include <utility>

#include "tallygate/basic_error.h"
#include "tallygate/host.h"
#include "tallygate/runtime.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/json_output.h"

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

void Session::Connect(const Connection& connection) {
  const auto setup = [&](const std::string& what, CallKind kind, const std::string& name,
                         const std::vector<Variant>& args) {
    const Outcome outcome = object_.Invoke(name, ModeOf(kind), args);
    if (!outcome.ok()) {
      Warn(what + " failed: error " + std::to_string(outcome.number) + " (" +
           outcome.description + ")");
    } else if (outcome.result.kind() == TG_BOOL && !outcome.result.boolean()) {
      Warn(what + " returned false");
    }
  };
  if (!connection.tcp.empty()) {
    setup("Mode = 1", CallKind::kLet, "Mode", {Variant(int16_t{1})});
    const size_t colon = connection.tcp.rfind(':');
    if (colon == std::string::npos) {
      setup("Connect_Net " + connection.tcp, CallKind::kCall, "Connect_Net",
            {Variant(connection.tcp)});
    } else {
      setup("Connect_Net " + connection.tcp, CallKind::kCall, "Connect_Net",
            {Variant(connection.tcp.substr(0, colon)), Variant(connection.tcp.substr(colon + 1))});
    }
  }
  if (!connection.com.empty()) {
    setup("Mode = 0", CallKind::kLet, "Mode", {Variant(int16_t{0})});
    setup("SetPort " + connection.com, CallKind::kCall, "SetPort", {Variant(connection.com)});
  }
}

bool Session::Run(CallKind kind, const std::string& name, const std::vector<std::string>& words) {
  CallArguments arguments;
  try {
    arguments = MakeCallArguments(words);
  } catch (const BasicError& error) {
    WriteLine(out_, ErrorLine(name, error.number(), error.description()));
    return false;
  }
  const Outcome outcome = object_.Invoke(name, ModeOf(kind), arguments.values);
  if (!outcome.ok()) {
    WriteLine(out_, ErrorLine(name, outcome.number, outcome.description));
    return false;
  }
  WriteLine(out_, ResultLine(name, outcome.result, arguments.variables));
  return true;
}

}  // namespace tallygate::cli
