#include "tools/tallygate/collect.h"

#include <charconv>
#include <filesystem>
#include <memory>
#include <system_error>

#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tools/tallygate/call_arguments.h"
#include "tools/tallygate/json_output.h"

namespace tallygate::cli {
namespace {

constexpr int kHighestAddress = 255;
constexpr int kLongestWait = 3600;

void WriteLine(std::FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

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

// The folder as an absolute path without a trailing separator, so that the
// summary names the file wherever the program was started.
std::filesystem::path AbsoluteFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error);
  if (error) return folder;
  path = path.lexically_normal();
  if (!path.has_filename() && path != path.root_path()) path = path.parent_path();
  return path;
}

std::string TextOf(const Variant& value) {
  if (value.kind() == TG_TEXT) return std::string(value.text());
  try {
    return std::string(ChangeType(value, TG_TEXT).text());
  } catch (const BasicError&) {
    return {};
  }
}

int32_t CountOf(const Variant& value) {
  if (value.kind() == TG_I4) return value.i4();
  try {
    return ChangeType(value, TG_I4).i4();
  } catch (const BasicError&) {
    return 0;
  }
}

}  // namespace

const char* const kCollectUsageText =
    "       tallygate collect [--tcp HOST[:PORT] | --com N] --addr A [--dir DIR]\n"
    "                         [--decimal-card] [--full-year] [--cards] [--wait SECONDS]\n";

CollectOptions ParseCollectOptions(const std::vector<std::string>& words, Connection connection) {
  CollectOptions options;
  options.connection = std::move(connection);
  bool have_address = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= words.size()) throw UsageError(word + " needs a value");
      return words[++i];
    };
    if (word == "--help" || word == "-h") {
      options.help = true;
    } else if (word == "--trace") {
      options.trace = true;
    } else if (word.rfind("--tcp=", 0) == 0 || word.rfind("--com=", 0) == 0) {
      const std::string text = word.substr(6);
      if (text.empty()) throw UsageError(word.substr(0, 5) + " needs a value");
      (word[2] == 't' ? options.connection.tcp : options.connection.com) = text;
    } else if (word == "--tcp" || word == "--com") {
      const std::string& text = value();
      if (text.empty()) throw UsageError(word + " needs a value");
      (word == "--tcp" ? options.connection.tcp : options.connection.com) = text;
    } else if (word == "--addr") {
      options.address = static_cast<int16_t>(WholeNumber(word, value(), 1, kHighestAddress));
      have_address = true;
    } else if (word == "--dir") {
      options.folder = value();
      if (options.folder.empty()) throw UsageError("--dir needs a folder");
    } else if (word == "--wait") {
      options.wait_seconds = WholeNumber(word, value(), 1, kLongestWait);
    } else if (word == "--decimal-card") {
      options.decimal_card = true;
    } else if (word == "--full-year") {
      options.full_year = true;
    } else if (word == "--cards") {
      options.cards = true;
    } else {
      throw UsageError("collect: unknown argument " + word);
    }
  }
  if (options.help) return options;
  if (!options.connection.tcp.empty() && !options.connection.com.empty()) {
    throw UsageError("--tcp and --com exclude each other");
  }
  if (!have_address) throw UsageError("collect needs --addr");
  if (options.cards && options.full_year) {
    throw UsageError("--full-year is for records; card lists have no dates");
  }
  return options;
}

const char* const kCollectOptionsText =
    "Gathers every record of terminal A (GatherData) into\n"
    "DIR/DataRecordSet_original.txt, or with --cards its card list\n"
    "(GatherSendCardData) into DIR/NameList.txt, and prints one line of JSON.\n"
    "  --tcp HOST[:PORT] | --com N   the terminal's line (one is needed)\n"
    "  --addr A          the terminal's address, 1 to 255\n"
    "  --dir DIR         the folder for the file, made when missing (default: .)\n"
    "  --decimal-card    card numbers in decimal instead of hexadecimal\n"
    "  --full-year       four-digit years (records only)\n"
    "  --cards           the card list instead of the records\n"
    "  --wait SECONDS    how long to wait for each record or card (default 3)\n"
    "  --trace           trace every frame to standard error\n"
    "A progress bar for records goes to standard error when it is a terminal.\n"
    "Exit status: 0 complete, 3 partial (\"Net Err,Part data lose\"), 1 failed,\n"
    "2 usage error or no object; the description goes to standard error.\n";

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

int CollectStatus(bool result, const std::string& description) {
  if (!result) return kCollectFailed;
  return description.empty() ? kCollectComplete : kCollectPartial;
}

int RunCollect(const DispatchRef& object, const CollectOptions& options, std::FILE* out,
               std::FILE* err, ProgressBar* progress) {
  const bool records = !options.cards;
  const std::string method = records ? "GatherData" : "GatherSendCardData";
  const std::filesystem::path folder = AbsoluteFolder(options.folder);
  const std::filesystem::path file = folder / (records ? kRecordFileName : kCardFileName);

  std::vector<std::unique_ptr<Variant>> byref;
  byref.push_back(std::make_unique<Variant>(std::string_view()));  // VarDescription
  byref.push_back(std::make_unique<Variant>(int32_t{0}));          // BackRecordSum
  std::vector<Variant> args{Variant(options.address),
                            Variant(folder.string()),
                            Variant(file.filename().string()),
                            Variant::Ref(*byref[0]),
                            Variant::Ref(*byref[1]),
                            Variant(options.wait_seconds),
                            Variant(int32_t{options.decimal_card ? 1 : 0})};
  DispatchRef progress_object;
  if (records) {
    args.emplace_back(options.full_year);
    if (progress != nullptr) progress_object = MakeProgressObject(*progress);
    args.push_back(progress_object ? Variant(progress_object.get()) : Variant::Missing());
  }

  const Outcome outcome = object.Invoke(method, TG_INVOKE_METHOD, args);
  if (progress != nullptr) progress->Finish();
  if (!outcome.ok()) {
    WriteLine(out, ErrorLine(method, outcome.number, outcome.description));
    WriteLine(err, "tallygate: " + method + " raised error " + std::to_string(outcome.number) +
                       ": " + outcome.description);
    return kCollectFailed;
  }

  const bool result = outcome.result.kind() == TG_BOOL && outcome.result.boolean();
  const std::string description = TextOf(*byref[0]);
  const int32_t written = CountOf(*byref[1]);
  std::string line = ResultLine(method, outcome.result, byref);
  line.pop_back();  // the closing brace: the file joins the call's fields
  line += ", \"file\": " + (written > 0 ? JsonString(file.string()) : std::string("null")) + "}";
  WriteLine(out, line);

  const int status = CollectStatus(result, description);
  if (status == kCollectPartial) {
    WriteLine(err, "tallygate: " + method + ": " + description + " (" + std::to_string(written) +
                       " lines written)");
  } else if (status == kCollectFailed) {
    // Only a failed count query leaves the description empty.
    const std::string why =
        !description.empty()
            ? description
            : "no " + std::string(records ? "record" : "card-list") + " count from terminal " +
                  std::to_string(options.address);
    WriteLine(err, "tallygate: " + method + " failed: " + why);
  }
  return status;
}

}  // namespace tallygate::cli
