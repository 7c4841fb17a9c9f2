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
#include <optional>
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

// The command line: its options, subcommands and what they were given.
struct CommandLine {
  CLI::App app{"Creates " TG_CONNECT_V70_PROG_ID
               " and calls its members by name; one line of JSON per call on standard output.",
               "tallygate"};
  tallygate::cli::Connection connection;
  bool basic_conversions = false;
  bool trace = false;
  CLI::Option* tcp = nullptr;
  CLI::Option* com = nullptr;
  std::string method;
  std::vector<std::string> call_args;
  CLI::App* script = nullptr;
  std::string script_name = "-";
  bool stop_on_failure = false;
  CLI::App* collect = nullptr;
  CLI::App* members = nullptr;
  std::string member_name;
};

void AddGlobalOptions(CommandLine& line) {
  CLI::App& app = line.app;
  app.set_version_flag("--version", "tallygate " TALLYGATE_VERSION_TEXT);
  app.footer(std::string(kArgumentForms) + "\n" + tallygate::cli::kExitStatusText +
             "\nSee tallygate(1).");
  app.require_subcommand(1, 1);
  line.tcp = app.add_option("--tcp", line.connection.tcp,
                            "connect with Connect_Net (Mode 1) before the first call;\n"
                            "HOST is a name, an IPv4 address or [IPv6]")
                 ->type_name("HOST[:PORT]");
  line.com =
      app.add_option("--com", line.connection.com, "open COM port N with SetPort (Mode 0) first")
          ->type_name("N");
  line.tcp->excludes(line.com);
  app.add_flag("--basic-conversions", line.basic_conversions,
               "pass argument texts to the member's own conversions unchecked");
  app.add_flag("--trace", line.trace, "trace every frame to standard error (TALLYGATE_TRACE=1)");
}

void AddSubcommands(CommandLine& line) {
  CLI::App* call = line.app.add_subcommand("call", "call one member");
  call->fallthrough();
  call->add_option("METHOD", line.method, "the member's name (see: tallygate members)")->required();
  call->add_option("ARG", line.call_args, "its arguments, in order");
  call->footer(std::string(kArgumentForms) + kGlobalsHere +
               "An argument that starts with - follows --: call METHOD -- -TEXT\n");

  line.script =
      line.app.add_subcommand("script", "run the calls of FILE (default: standard input)");
  line.script->fallthrough();
  line.script->add_option("FILE", line.script_name, "the script; - for standard input");
  line.script->add_flag("--stop-on-failure", line.stop_on_failure,
                        "stop at the first line that fails");
  line.script->footer(std::string(kScriptForms) + kGlobalsHere);

  // collect reads its own words, so that its options and their messages are
  // one piece (collect.cpp).
  line.collect = line.app.add_subcommand("collect", "collect a terminal's records or cards");
  line.collect->prefix_command();
  line.collect->set_help_flag();
  line.collect->footer(tallygate::cli::kCollectOptionsText);

  line.members = line.app.add_subcommand("members", "list the members, or member NAME");
  line.members->fallthrough();
  line.members->add_option("NAME", line.member_name, "one member");
}

// Reads the words into `line`; the exit status when the program ends here
// (help, version, a usage error).
std::optional<int> Parse(CommandLine& line, int argc, char** argv) {
  // CLI11 reads a word [A,B] as a list of its own: such words are hidden
  // from it behind a mark and given back as they were.
  std::vector<std::string> words(argv + 1, argv + argc);
  for (std::string& word : words) {
    if (!word.empty() && word.front() == '[') word.insert(0, 1, kListMark);
  }
  std::reverse(words.begin(), words.end());
  try {
    line.app.parse(words);
    for (std::string* word : {&line.connection.tcp, &line.connection.com, &line.method,
                              &line.script_name, &line.member_name}) {
      Unmark(*word);
    }
    for (std::string& word : line.call_args) Unmark(word);
    if (!line.tcp->empty() && line.connection.tcp.empty()) throw UsageError("--tcp needs a value");
    if (!line.com->empty() && line.connection.com.empty()) throw UsageError("--com needs a value");
  } catch (const CLI::CallForHelp& help) {
    return line.app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return line.app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return line.app.exit(version);
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> chosen = line.app.get_subcommands();
    return UsageLine(error.what(), chosen.empty() ? "" : chosen[0]->get_name());
  } catch (const UsageError& error) {
    return UsageLine(error.what(), "");
  }
  return std::nullopt;
}

// collect's own words into `collect`, its line and --trace into `line`; the
// exit status when the program ends here (its help, a usage error).
std::optional<int> ReadCollectOptions(CommandLine& line, tallygate::cli::CollectOptions& collect) {
  try {
    std::vector<std::string> words = line.collect->remaining();
    for (std::string& word : words) Unmark(word);
    collect = tallygate::cli::ParseCollectOptions(words, line.connection);
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
  line.connection = collect.connection;
  line.trace = line.trace || collect.trace;
  return std::nullopt;
}

// The script's file, opened before the object is made (which may show
// messages); the exit status when it cannot be read.
std::optional<int> OpenScript(const CommandLine& line, std::ifstream& file) {
  if (!line.script->parsed() || line.script_name == "-") return std::nullopt;
  file.open(line.script_name, std::ios::binary);
  if (file) return std::nullopt;
  std::cerr << "tallygate: cannot read " << line.script_name << ": " << std::strerror(errno)
            << "\n";
  return kUsage;
}

// The object, or an empty one when it cannot be made (said on standard error).
tallygate::DispatchRef CreateObject() {
  tallygate::cli::InstallConsoleHost();
  tg_dispatch* raw = nullptr;
  tg_error error{};
  if (tg_create_object(TG_CONNECT_V70_PROG_ID, &raw, &error) != 0) {
    std::cerr << "tallygate: " << CreateFailure(error) << "\n";
    tg_error_clear(&error);
    return {};
  }
  return tallygate::DispatchRef::Adopt(raw);
}

int RunCollection(const tallygate::DispatchRef& object,
                  const tallygate::cli::CollectOptions& collect) {
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

// The script's calls, or the one call.
int RunCalls(CommandLine& line, tallygate::cli::Session& session, std::ifstream& script_file) {
  if (line.script->parsed()) {
    return script_file.is_open()
               ? RunScript(session, script_file, line.script_name, line.stop_on_failure)
               : RunScript(session, std::cin, "standard input", line.stop_on_failure);
  }
  try {
    return session.Run(CallKind::kCall, line.method, line.call_args);
  } catch (const UsageError& usage) {
    return UsageLine(usage.what(), "call");
  }
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  AddGlobalOptions(line);
  AddSubcommands(line);
  if (const std::optional<int> status = Parse(line, argc, argv)) return *status;
  if (line.members->parsed()) return ListMembers(line.member_name);

  tallygate::cli::CollectOptions collect;
  if (line.collect->parsed()) {
    if (const std::optional<int> status = ReadCollectOptions(line, collect)) return *status;
  }
  try {
    if (!line.connection.tcp.empty()) tallygate::cli::SplitTcpTarget(line.connection.tcp);
  } catch (const UsageError& usage) {
    return UsageLine(usage.what(), "");
  }
  if (line.trace) setenv("TALLYGATE_TRACE", "1", 1);
  std::ifstream script_file;
  if (const std::optional<int> status = OpenScript(line, script_file)) return *status;

  const tallygate::DispatchRef object = CreateObject();
  if (!object) return kUsage;
  tallygate::cli::Session session(object, stdout, stderr, line.basic_conversions);
  if (!session.Connect(line.connection)) return kFailed;
  if (line.collect->parsed()) return RunCollection(object, collect);
  return RunCalls(line, session, script_file);
}
