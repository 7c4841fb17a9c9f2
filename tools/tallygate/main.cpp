// tallygate: calls the members of a Connect_v70 object by name from a shell,
// as the demonstration window does from its buttons and fields.
//
//   tallygate [GLOBAL OPTION...] call METHOD [ARG...]
//   tallygate [GLOBAL OPTION...] script [--stop-on-failure] [FILE]
//   tallygate [GLOBAL OPTION...] collect --addr A [OPTION...]
//   tallygate members [NAME]
//
// Global options may also follow the subcommand. The object is created by
// its programmatic identifier from the registration store; exit statuses
// are in exit_status.h, collect's in collect.h.
#include <strings.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tallygate/basic_error.h"
#include "tallygate/component_server.h"
#include "tallygate/dispatch_ref.h"
#include "tallygate/runtime.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/collect.h"
#include "tools/tallygate/exit_status.h"
#include "tools/tallygate/json_output.h"
#include "tools/tallygate/member_lookup.h"
#include "tools/tallygate/page_log.h"
#include "tools/tallygate/progress_bar.h"
#include "tools/tallygate/session.h"
#include "tools/tallygate/shell_words.h"

namespace {

using tallygate::cli::CallKind;
using tallygate::cli::kFailed;
using tallygate::cli::kSucceeded;
using tallygate::cli::kUsage;
using tallygate::cli::UsageError;

constexpr const char* kArgumentForms =
    "Arguments reach the member as text, except:\n"
    "  @TEXT        a by-reference variable starting as TEXT; its final value is\n"
    "               reported (&TEXT too, unless it is a number such as &H1F)\n"
    "  0xHHHHHHHH   a card number as the collected files print it (8 hex digits,\n"
    "  hex:HHHHHHHH also hex:...): the decimal text of its signed 32-bit value\n"
    "  ~            a missing argument: the default applies\n"
    "  [A,B,...]    an array of dates made from the texts A, B, ...\n"
    "  \\TEXT        the text TEXT, when it starts with @ & ~ [ or \\\n"
    "An integer parameter takes a whole number in its range; a text that is\n"
    "not one is refused and nothing is sent (--basic-conversions: the\n"
    "member's own conversions, which round).\n";

constexpr const char* kGlobalsHere =
    "The global options (--tcp, --com, --basic-conversions, --trace; see\n"
    "tallygate --help) may also come after the subcommand.\n";

constexpr const char* kScriptForms =
    "A script holds one call a line, its words quoted as a shell quotes them:\n"
    "  METHOD [ARG...]   (or: call METHOD [ARG...])\n"
    "  let PROPERTY VALUE\n"
    "  get PROPERTY\n"
    "Blank lines and lines starting with # are skipped. Every line runs and\n"
    "prints its own line; the script exits with the worst status.\n";

constexpr char kListMark = '\x1f';

void Unmark(std::string& word) {
  if (!word.empty() && word.front() == kListMark) word.erase(0, 1);
}

// Thrown for a script line that is not a call.
struct ScriptError {
  std::string text;
};

void PrintLine(std::FILE* stream, const std::string& line) {
  std::fputs((line + "\n").c_str(), stream);
  std::fflush(stream);
}

int UsageLine(const std::string& problem, const std::string& command) {
  std::cerr << "tallygate: " << problem << " (try: tallygate "
            << (command.empty() ? "" : command + " ") << "--help)\n";
  return kUsage;
}

// Runs one script line; returns its exit status.
int RunLine(tallygate::cli::Session& session, const std::string& line) {
  tallygate::cli::SplitResult split = tallygate::cli::SplitShellWords(line);
  if (!split.error.empty()) throw ScriptError{split.error};
  std::vector<std::string>& words = split.words;
  if (words.empty() || words[0].front() == '#') return kSucceeded;
  CallKind kind = CallKind::kCall;
  size_t first = 0;
  if (words[0] == "let") {
    if (words.size() != 3) throw ScriptError{"let takes a property and one value"};
    kind = CallKind::kLet;
    first = 1;
  } else if (words[0] == "get") {
    if (words.size() != 2) throw ScriptError{"get takes a property"};
    kind = CallKind::kGet;
    first = 1;
  } else if (words[0] == "call") {
    if (words.size() < 2) throw ScriptError{"call takes a method"};
    first = 1;
  }
  const std::vector<std::string> args(words.begin() + static_cast<long>(first) + 1, words.end());
  try {
    return session.Run(kind, words[first], args);
  } catch (const UsageError& error) {
    throw ScriptError{error.what()};
  }
}

int RunScript(tallygate::cli::Session& session, std::istream& in, const std::string& source,
              bool stop_on_failure) {
  int worst = kSucceeded;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    int status = kSucceeded;
    try {
      status = RunLine(session, line);
    } catch (const ScriptError& error) {
      const std::string where = source + ":" + std::to_string(number) + ": " + error.text;
      PrintLine(stdout, tallygate::cli::ErrorLine("", tallygate::err::kInvalidProcedureCall, where));
      std::cerr << "tallygate: " << where << "\n";
      status = kUsage;
    }
    worst = std::max(worst, status);
    if (stop_on_failure && status != kSucceeded) break;
  }
  return worst;
}

int ListMembers(const std::string& name) {
  bool any = false;
  for (const tallygate::binding::Member& member : tallygate::binding::Connect_v70Members()) {
    if (!name.empty() && strcasecmp(member.name.c_str(), name.c_str()) != 0) continue;
    std::cout << tallygate::cli::DescribeMember(member) << "\n";
    any = true;
  }
  if (!any) return UsageLine("no member named " + name, "members");
  return kSucceeded;
}

std::string CreateFailure(const tg_error& error) {
  std::string text = std::string("cannot create " TG_CONNECT_V70_PROG_ID ": error ") +
                     std::to_string(error.number) + ": " +
                     (error.description != nullptr ? error.description : "");
  if (error.number == tallygate::err::kCantCreateObject) {
    text += "; register the library with: tallygate-regsvr LIBRARY";
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app("Creates " TG_CONNECT_V70_PROG_ID
               " and calls its members by name; one line of JSON per call on standard output.",
               "tallygate");
  app.set_version_flag("--version", "tallygate " TALLYGATE_VERSION_TEXT);
  app.footer(std::string(kArgumentForms) + "\n" + tallygate::cli::kExitStatusText +
             "\nSee tallygate(1).");
  app.require_subcommand(1, 1);

  tallygate::cli::Connection connection;
  bool basic_conversions = false;
  bool trace = false;
  CLI::Option* tcp = app.add_option("--tcp", connection.tcp,
                                    "connect with Connect_Net (Mode 1) before the first call;\n"
                                    "HOST is a name, an IPv4 address or [IPv6]")
                         ->type_name("HOST[:PORT]");
  CLI::Option* com =
      app.add_option("--com", connection.com, "open COM port N with SetPort (Mode 0) first")
          ->type_name("N");
  tcp->excludes(com);
  app.add_flag("--basic-conversions", basic_conversions,
               "pass argument texts to the member's own conversions unchecked");
  app.add_flag("--trace", trace, "trace every frame to standard error (TALLYGATE_TRACE=1)");

  CLI::App* call = app.add_subcommand("call", "call one member");
  call->fallthrough();
  std::string method;
  std::vector<std::string> call_args;
  call->add_option("METHOD", method, "the member's name (see: tallygate members)")->required();
  call->add_option("ARG", call_args, "its arguments, in order");
  call->footer(std::string(kArgumentForms) + kGlobalsHere +
               "An argument that starts with - follows --: call METHOD -- -TEXT\n");

  CLI::App* script = app.add_subcommand("script", "run the calls of FILE (default: standard input)");
  script->fallthrough();
  std::string script_name = "-";
  bool stop_on_failure = false;
  script->add_option("FILE", script_name, "the script; - for standard input");
  script->add_flag("--stop-on-failure", stop_on_failure, "stop at the first line that fails");
  script->footer(std::string(kScriptForms) + kGlobalsHere);

  // collect reads its own words, so that its options and their messages are
  // one piece (collect.cpp).
  CLI::App* collect_command = app.add_subcommand("collect", "collect a terminal's records or cards");
  collect_command->prefix_command();
  collect_command->set_help_flag();
  collect_command->footer(tallygate::cli::kCollectOptionsText);

  CLI::App* members = app.add_subcommand("members", "list the members, or member NAME");
  members->fallthrough();
  std::string member_name;
  members->add_option("NAME", member_name, "one member");

  // CLI11 reads a word [A,B] as a list of its own: such words are hidden
  // from it behind a mark and given back as they were.
  std::vector<std::string> words(argv + 1, argv + argc);
  for (std::string& word : words) {
    if (!word.empty() && word.front() == '[') word.insert(0, 1, kListMark);
  }
  std::reverse(words.begin(), words.end());
  try {
    app.parse(words);
    for (std::string* word : {&connection.tcp, &connection.com, &method, &script_name, &member_name}) {
      Unmark(*word);
    }
    for (std::string& word : call_args) Unmark(word);
    if (!tcp->empty() && connection.tcp.empty()) throw UsageError("--tcp needs a value");
    if (!com->empty() && connection.com.empty()) throw UsageError("--com needs a value");
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    return UsageLine(error.what(), chosen.empty() ? "" : chosen[0]->get_name());
  } catch (const UsageError& error) {
    return UsageLine(error.what(), "");
  }

  if (members->parsed()) return ListMembers(member_name);

  tallygate::cli::CollectOptions collect;
  if (collect_command->parsed()) {
    try {
      std::vector<std::string> collect_words = collect_command->remaining();
      for (std::string& word : collect_words) Unmark(word);
      collect = tallygate::cli::ParseCollectOptions(collect_words, connection);
      if (collect.help) {
        std::cout << "usage:\n"
                  << tallygate::cli::kCollectUsageText << "\n"
                  << tallygate::cli::kCollectOptionsText;
        return kSucceeded;
      }
      tallygate::cli::RequireTerminal(collect);
    } catch (const UsageError& usage) {
      return UsageLine(usage.what(), "collect");
    }
    connection = collect.connection;
    trace = trace || collect.trace;
  }
  try {
    if (!connection.tcp.empty()) tallygate::cli::SplitTcpTarget(connection.tcp);
  } catch (const UsageError& usage) {
    return UsageLine(usage.what(), "");
  }
  if (trace) setenv("TALLYGATE_TRACE", "1", 1);

  // The script is opened before the object is made, which may show messages.
  std::ifstream script_file;
  if (script->parsed() && script_name != "-") {
    script_file.open(script_name, std::ios::binary);
    if (!script_file) {
      std::cerr << "tallygate: cannot read " << script_name << ": " << std::strerror(errno) << "\n";
      return kUsage;
    }
  }

  tallygate::cli::InstallConsoleHost();
  tg_dispatch* raw = nullptr;
  tg_error error{};
  if (tg_create_object(TG_CONNECT_V70_PROG_ID, &raw, &error) != 0) {
    std::cerr << "tallygate: " << CreateFailure(error) << "\n";
    tg_error_clear(&error);
    return kUsage;
  }
  const tallygate::DispatchRef object = tallygate::DispatchRef::Adopt(raw);
  tallygate::cli::Session session(object, stdout, stderr, basic_conversions);
  if (!session.Connect(connection)) return kFailed;

  if (collect_command->parsed()) {
    try {
      tallygate::cli::MakeFolder(collect);
    } catch (const UsageError& failure) {
      std::cerr << "tallygate: " << failure.what() << "\n";
      return tallygate::cli::kCollectFailed;
    }
    // Card lists report no progress; a bar is for a person watching, plain
    // lines for a log.
    if (!collect.records) {
      return tallygate::cli::RunCollect(object, collect, stdout, stderr, nullptr);
    }
    if (isatty(STDERR_FILENO) == 0) {
      tallygate::cli::PageLog log(stderr);
      return tallygate::cli::RunCollect(object, collect, stdout, stderr, &log);
    }
    tallygate::cli::ProgressBar bar(stderr, tallygate::cli::TerminalColumns(STDERR_FILENO));
    return tallygate::cli::RunCollect(object, collect, stdout, stderr, &bar);
  }

  if (script->parsed()) {
    return script_file.is_open()
               ? RunScript(session, script_file, script_name, stop_on_failure)
               : RunScript(session, std::cin, "standard input", stop_on_failure);
  }
  try {
    return session.Run(CallKind::kCall, method, call_args);
  } catch (const UsageError& usage) {
    return UsageLine(usage.what(), "call");
  }
}
