// One run of the tallygate program: the created object, the calls made on
// it and their report on standard output.
#ifndef TALLYGATE_TOOLS_TALLYGATE_SESSION_H_
#define TALLYGATE_TOOLS_TALLYGATE_SESSION_H_

#include <cstdio>
#include <string>
#include <vector>

#include "tallygate/dispatch_ref.h"
#include "tools/tallygate/connection.h"

namespace tallygate::cli {

enum class CallKind { kCall, kLet, kGet };

class Session {
 public:
  // Writes the JSON lines to `out`, problems of the run to `err`. With
  // `basic_conversions`, argument texts go to the member unchecked.
  explicit Session(DispatchRef object, std::FILE* out = stdout, std::FILE* err = stderr,
                   bool basic_conversions = false)
      : object_(std::move(object)), out_(out), err_(err), basic_(basic_conversions) {}

  // Puts Mode and connects as `connection` asks: a host name is resolved
  // and each of its addresses tried. Returns false, having told why on the
  // error stream, when the connection or port could not be opened.
  bool Connect(const Connection& connection);

  // Makes one call and writes its line. `words` are the arguments (see
  // call_arguments.h); a let has exactly one, a get none. Returns the exit
  // status (exit_status.h); an argument its parameter cannot take is a
  // line with error 5 and status 2. Throws UsageError for a malformed word.
  int Run(CallKind kind, const std::string& name, const std::vector<std::string>& words);

 private:
  void Warn(const std::string& text);
  bool Setup(const std::string& what, CallKind kind, const std::string& name,
             const std::vector<Variant>& args);
  bool ConnectNet(const std::string& tcp);

  DispatchRef object_;
  std::FILE* out_;
  std::FILE* err_;
  bool basic_;
};

// Installs the program's host services: each message box is one line
// "msgbox: TITLE: TEXT" on standard error, answered with its default button;
// the about box likewise ("about: ..."); waits block without an event pump.
void InstallConsoleHost();

}  // namespace tallygate::cli

#endif  // TALLYGATE_TOOLS_TALLYGATE_SESSION_H_
