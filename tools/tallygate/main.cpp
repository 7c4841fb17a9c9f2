// tallygate: calls the members of a Connect_v70 object by name from a shell,
// as the demonstration window does from its buttons and fields.
//
//   tallygate [--tcp HOST[:PORT]] [--com N] call METHOD [ARG...]
//   tallygate [--tcp HOST[:PORT]] [--com N] script [FILE]
//   tallygate collect [--tcp HOST[:PORT] | --com N] --addr A [OPTION...]
//
// The object is created by its programmatic identifier from the
// registration store. Exit status: 0 when every call ran, 1 when a call
// raised an error, 2 for a usage error or when the object could not be made.
// collect has its own (collect.h): 0 complete, 1 failed, 3 partial.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tallygate/component_server.h"
#include "tallygate/dispatch_ref.h"
#include "tallygate/runtime.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/collect.h"
#include "tools/tallygate/progress_bar.h"
#include "tools/tallygate/session.h"
#include "tools/tallygate/shell_words.h"

namespace {

using tallygate::cli::CallKind;

constexpr int kAllRan = 0;
constexpr int kCallFailed = 1;
constexpr int kUsage = 2;

constexpr const char* kUsageText =
    "usage: tallygate [--tcp HOST[:PORT]] [--com N] call METHOD [ARG...]\n"
    "       tallygate [--tcp HOST[:PORT]] [--com N] script [FILE]\n"
    "%COLLECT%"
    "\n"
    "Creates " TG_CONNECT_V70_PROG_ID " and calls its members by name; one line of\n"
    "JSON per call on standard output.\n"
    "\n"
    "  --tcp HOST[:PORT]  put Mode 1 and call Connect_Net before the first call\n"
    "  --com N            put Mode 0 and call SetPort N before the first call\n"
    "\n"
    "Arguments reach the member as text, except:\n"
    "  &TEXT     a by-reference variable starting as TEXT; its final value is reported\n"
    "  ~         a missing argument: the default applies\n"
    "  [A,B,...] an array of dates made from the texts A, B, ...\n"
    "  \\TEXT     the text TEXT, when it starts with & ~ [ or \\\n"
    "\n"
    "A script holds one call a line, its words quoted as a shell quotes them:\n"
    "  METHOD [ARG...]   (or: call METHOD [ARG...])\n"
    "  let PROPERTY VALUE\n"
    "  get PROPERTY\n"
    "Blank lines and lines starting with # are skipped.\n"
    "\n"
    "collect gathers every record of terminal A (GatherData) into\n"
    "DIR/DataRecordSet_original.txt, or with --cards its card list\n"
    "(GatherSendCardData) into DIR/NameList.txt, and prints one line of JSON.\n"
    "  --addr A          the terminal's address, 1 to 255\n"
    "  --dir DIR         the folder for the file (default: the current folder)\n"
    "  --decimal-card    card numbers in decimal instead of hexadecimal\n"
    "  --full-year       four-digit years (records only)\n"
    "  --wait SECONDS    how long to wait for each record or card (default 3)\n"
    "A progress bar for records goes to standard error when it is a terminal.\n"
    "Exit status: 0 complete, 3 partial (\"Net Err,Part data lose\"), 1 failed,\n"
    "2 usage error or no object; the description goes to standard error.\n";

// The usage text with the collect line in its place.
std::string UsageText() {
  std::string text = kUsageText;
  const std::string mark = "%COLLECT%";
  text.replace(text.find(mark), mark.size(), tallygate::cli::kCollectUsageText);
  return text;
}

int Usage(const std::string& problem) {
  if (!problem.empty()) std::cerr << "tallygate: " << problem << "\n";
  std::cerr << UsageText();
  return kUsage;
}

// Thrown for a script line that is not a call; ends the run with status 2.
struct ScriptError {
  std::string text;
};

// Runs one script line; true when it raised no error.
bool RunLine(tallygate::cli::Session& session, const std::string& line) {
  tallygate::cli::SplitResult split = tallygate::cli::SplitShellWords(line);
  if (!split.error.empty()) throw ScriptError{split.error};
  std::vector<std::string>& words = split.words;
  if (words.empty() || words[0].front() == '#') return true;
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
  } catch (const tallygate::cli::UsageError& error) {
    throw ScriptError{error.what()};
  }
}

int RunScript(tallygate::cli::Session& session, std::istream& in, const std::string& source) {
  int status = kAllRan;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    try {
      if (!RunLine(session, line)) status = kCallFailed;
    } catch (const ScriptError& error) {
      std::cerr << "tallygate: " << source << ":" << number << ": " << error.text << "\n";
      return kUsage;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  tallygate::cli::Connection connection;
  size_t i = 0;
  for (; i < args.size() && args[i].rfind("--", 0) == 0; ++i) {
    if (args[i] == "--help") {
      std::cout << UsageText();
      return kAllRan;
    }
    if ((args[i] == "--tcp" || args[i] == "--com") && i + 1 < args.size()) {
      (args[i] == "--tcp" ? connection.tcp : connection.com) = args[i + 1];
      ++i;
      if ((args[i - 1] == "--tcp" ? connection.tcp : connection.com).empty()) {
        return Usage(args[i - 1] + " needs a value");
      }
    } else {
      return Usage("unknown option " + args[i]);
    }
  }
  if (!connection.tcp.empty() && !connection.com.empty()) {
    return Usage("--tcp and --com exclude each other");
  }
  if (i >= args.size()) return Usage("");
  const std::string command = args[i++];
  tallygate::cli::CollectOptions collect;
  if (command == "collect") {
    try {
      collect = tallygate::cli::ParseCollectOptions(
          std::vector<std::string>(args.begin() + static_cast<long>(i), args.end()), connection);
    } catch (const tallygate::cli::UsageError& usage) {
      return Usage(usage.what());
    }
    if (collect.help) {
      std::cout << UsageText();
      return kAllRan;
    }
    connection = collect.connection;
  } else if (command == "call") {
    if (i >= args.size()) return Usage("call needs a METHOD");
  } else if (command == "script") {
    if (args.size() - i > 1) return Usage("script takes at most one FILE");
  } else {
    return Usage("unknown command " + command);
  }

  // The script is opened before the object is made, which may show messages.
  std::ifstream script_file;
  const std::string script_name = i < args.size() ? args[i] : "-";
  if (command == "script" && script_name != "-") {
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
    std::cerr << "tallygate: cannot create " TG_CONNECT_V70_PROG_ID ": error " << error.number
              << ": " << (error.description != nullptr ? error.description : "") << "\n";
    tg_error_clear(&error);
    return kUsage;
  }
  const tallygate::DispatchRef object = tallygate::DispatchRef::Adopt(raw);
  tallygate::cli::Session session(object);
  session.Connect(connection);

  if (command == "collect") {
    // Card lists report no progress; a bar is for a person watching.
    if (collect.cards || isatty(STDERR_FILENO) == 0) {
      return tallygate::cli::RunCollect(object, collect, stdout, stderr, nullptr);
    }
    tallygate::cli::ProgressBar bar(stderr, tallygate::cli::TerminalColumns(STDERR_FILENO));
    return tallygate::cli::RunCollect(object, collect, stdout, stderr, &bar);
  }

  if (command == "script") {
    return script_file.is_open() ? RunScript(session, script_file, script_name)
                                 : RunScript(session, std::cin, "standard input");
  }
  const std::vector<std::string> call_args(args.begin() + static_cast<long>(i) + 1, args.end());
  try {
    return session.Run(CallKind::kCall, args[i], call_args) ? kAllRan : kCallFailed;
  } catch (const tallygate::cli::UsageError& usage) {
    return Usage(usage.what());
  }
}
