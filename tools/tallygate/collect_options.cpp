#include "tools/tallygate/collect_options.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>

#include "tools/tallygate/call_arguments.h"

namespace tallygate::cli {
namespace {

constexpr int kHighestAddress = 255;
constexpr int kLongestWait = 3600;

// A whole decimal number from `low` to `high`, or a UsageError naming
// `option`.
int WholeNumber(const std::string& option, const std::string& text, int low, int high) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < low || value > high) {
    throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}

CollectFormat FormatNamed(const std::string& text) {
  if (text == "text") return CollectFormat::kText;
  if (text == "csv") return CollectFormat::kCsv;
  if (text == "jsonl") return CollectFormat::kJsonl;
  throw UsageError("--format takes text, csv or jsonl, not '" + text + "'");
}

bool TakesValue(const std::string& option) {
  for (const char* name : {"--tcp", "--com", "--addr", "--dir", "--wait", "--format"}) {
    if (option == name) return true;
  }
  return false;
}

}  // namespace

const char* const kCollectUsageText =
    "       tallygate collect [--tcp HOST[:PORT] | --com N] --addr A [--dir DIR]\n"
    "                         [--format text|csv|jsonl] [--cards | --cards-only]\n"
    "                         [--decimal-card] [--full-year] [--wait SECONDS]\n";

namespace {

// Applies option `word` to `options`, taking its value from `value` when it
// has one.
void ApplyOption(const std::string& word, const std::function<std::string()>& value,
                 CollectOptions& options) {
  if (word == "--help" || word == "-h") {
    options.help = true;
  } else if (word == "--trace") {
    options.trace = true;
  } else if (word == "--tcp" || word == "--com") {
    const std::string text = value();
    if (text.empty()) throw UsageError(word + " needs a value");
    (word == "--tcp" ? options.connection.tcp : options.connection.com) = text;
  } else if (word == "--addr") {
    options.address = static_cast<int16_t>(WholeNumber(word, value(), 1, kHighestAddress));
  } else if (word == "--dir") {
    options.folder = value();
    if (options.folder.empty()) throw UsageError("--dir needs a folder");
  } else if (word == "--wait") {
    options.wait_seconds = WholeNumber(word, value(), 1, kLongestWait);
  } else if (word == "--format") {
    options.format = FormatNamed(value());
  } else if (word == "--decimal-card") {
    options.decimal_card = true;
  } else if (word == "--full-year") {
    options.full_year = true;
  } else if (word == "--cards") {
    options.cards = true;
  } else if (word == "--cards-only") {
    options.cards = true;
    options.records = false;
  } else {
    throw UsageError("collect: unknown argument " + word);
  }
}

// What the options cannot be together.
void CheckTogether(const CollectOptions& options) {
  if (!options.connection.tcp.empty() && !options.connection.com.empty()) {
    throw UsageError("--tcp and --com exclude each other");
  }
  if (options.address == 0) throw UsageError("collect needs --addr");
  if (!options.records && options.full_year) {
    throw UsageError("--full-year is for records; card lists have no dates");
  }
  if (options.format != CollectFormat::kText && (options.decimal_card || options.full_year)) {
    throw UsageError(
        "--decimal-card and --full-year are for --format text; csv and jsonl hold the card "
        "both ways and the year in full");
  }
}

}  // namespace

CollectOptions ParseCollectOptions(const std::vector<std::string>& words, Connection connection) {
  CollectOptions options;
  options.connection = std::move(connection);
  for (size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    // --opt=value is --opt value.
    std::optional<std::string> inline_value;
    if (const size_t equals = word.find('='); word.rfind("--", 0) == 0 && equals != word.npos) {
      if (TakesValue(word.substr(0, equals))) {
        inline_value = word.substr(equals + 1);
        word.resize(equals);
      }
    }
    const auto value = [&]() -> std::string {
      if (inline_value) return *inline_value;
      if (i + 1 >= words.size()) throw UsageError(word + " needs a value");
      return words[++i];
    };
    ApplyOption(word, value, options);
  }
  if (!options.help) CheckTogether(options);
  return options;
}

const char* const kCollectOptionsText =
    "Gathers every record of terminal A (GatherData) into\n"
    "DIR/DataRecordSet_original.txt and prints one line of JSON. With --cards\n"
    "it then gathers the card list (GatherSendCardData) into DIR/NameList.txt\n"
    "and prints a second line; --cards-only gathers the card list alone.\n"
    "  --tcp HOST[:PORT] | --com N   the terminal's line (one is needed)\n"
    "  --addr A          the terminal's address, 1 to 255\n"
    "  --dir DIR         the folder for the files, made when missing (default: .)\n"
    "  --format FORMAT   text (default): the files above, as the library writes\n"
    "                    them; csv or jsonl: DataRecordSet_original.csv/.jsonl\n"
    "                    (terminal,position,card_hex,card,date,time,flag,keep) and\n"
    "                    NameList.csv/.jsonl (position,card_hex,card,staff,name)\n"
    "  --cards           the card list too, after the records\n"
    "  --cards-only      the card list instead of the records\n"
    "  --decimal-card    card numbers in decimal instead of hexadecimal (text)\n"
    "  --full-year       four-digit years (text records)\n"
    "  --wait SECONDS    how long to wait for each record or card (default 3)\n"
    "  --trace           trace every frame to standard error\n"
    "Progress of the records goes to standard error: a bar when it is a\n"
    "terminal, else a line for each page done and each page tried again.\n"
    "Exit status: 0 complete, 3 partial (\"Net Err,Part data lose\"), 1 failed,\n"
    "2 usage error or no object; the description goes to standard error. Of two\n"
    "collections, the worse counts: failed, then partial.\n";

void RequireTerminal(const CollectOptions& options) {
  if (options.connection.tcp.empty() && options.connection.com.empty()) {
    throw UsageError("name a terminal: --tcp HOST[:PORT] or --com N");
  }
}

void MakeFolder(const CollectOptions& options) {
  std::error_code error;
  std::filesystem::create_directories(options.folder, error);
  if (error) throw UsageError("cannot make the folder " + options.folder + ": " + error.message());
}

}  // namespace tallygate::cli
