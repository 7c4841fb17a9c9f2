// One run of the tallygate program: the created object, the calls made on
// it and their report on standard output.
#ifndef TALLYGATE_TOOLS_TALLYGATE_SESSION_H_
#define TALLYGATE_TOOLS_TALLYGATE_SESSION_H_

#include <cstdio>
#include <string>
#include <vector>

#include "tallygate/dispatch_ref.h"

namespace tallygate::cli {

enum class CallKind { kCall, kLet, kGet };

// How the object reaches its terminal before the first call.
struct Connection {
  std::string tcp;  // "HOST" or "HOST:PORT": Mode 1, then Connect_Net
  std::string com;  // "N": Mode 0, then SetPort
};

class Session {
 public:
  // Writes the JSON lines to `out`, problems of the run to `err`.
  explicit Session(DispatchRef object, std::FILE* out = stdout, std::FILE* err = stderr)
      : object_(std::move(object)), out_(out), err_(err) {}

  // Puts Mode and connects as `connection` asks. A failure is told on the
  // error stream; the calls still run, and report their own failures.
  void Connect(const Connection& connection);

  // Makes one call and writes its line. `words` are the arguments (see
  // call_arguments.h); a let has exactly one, a get none. Returns false when
  // the call raised an error. Throws UsageError for a malformed word.
  bool Run(CallKind kind, const std::string& name, const std::vector<std::string>& words);

 private:
  void Warn(const std::string& text);

  DispatchRef object_;
  std::FILE* out_;
  std::FILE* err_;
};

// Installs the program's host services: each message box is one line
// "msgbox: TITLE: TEXT" on standard error, answered with its default button;
// the about box likewise ("about: ..."); waits block without an event pump.
void InstallConsoleHost();

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_SESSION_H_
