#include "tools/tallygate/collect.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "tallygate/basic_error.h"
#include "tallygate/conversions.h"
#include "tallygate/whole_file.h"
#include "tools/tallygate/collected_tables.h"
#include "tools/tallygate/json_output.h"
#include "tools/tallygate/progress_object.h"
#include "tools/tallygate/table_text.h"

namespace tallygate::cli {
namespace {

// One of the two collections.
struct Collection {
  const char* method;
  const char* text_file;  // the library's file
  const char* stem;       // of the csv and jsonl files
  const char* entries;    // for messages
  bool records;
};

constexpr Collection kRecords{"GatherData", kRecordFileName, "DataRecordSet_original", "record",
                              true};
constexpr Collection kCards{"GatherSendCardData", kCardFileName, "NameList", "card-list", false};

void WriteLine(std::FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
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

// A folder of its own inside `parent` (the same file system as the files it
// leads to), removed with what it holds when this goes.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::filesystem::path& parent) {
    std::string name = (parent / ".tallygate-collect-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) {
      throw std::system_error(errno, std::generic_category(),
                              "cannot make a folder in " + parent.string());
    }
    path_ = name;
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const char* Extension(CollectFormat format) {
  return format == CollectFormat::kCsv ? ".csv" : ".jsonl";
}

// Writes the table of the collected text file `from` as `to`.
void WriteTable(const Collection& collection, CollectFormat format,
                const std::filesystem::path& from, const std::filesystem::path& to) {
  const std::vector<std::string> lines = ReadCollectedLines(from);
  const Table table = collection.records ? RecordTable(lines) : CardTable(lines);
  WriteWholeFile(to, format == CollectFormat::kCsv ? CsvText(table) : JsonlText(table));
}

// The by-reference arguments of a collection: VarDescription, BackRecordSum.
struct CallResults {
  std::vector<std::unique_ptr<Variant>> byref;

  CallResults() {
    byref.push_back(std::make_unique<Variant>(std::string_view()));
    byref.push_back(std::make_unique<Variant>(int32_t{0}));
  }
  std::string description() const { return TextOf(*byref[0]); }
  int32_t written() const { return CountOf(*byref[1]); }
};

// The arguments of `collection`'s call writing into `call_folder`.
std::vector<Variant> CallArguments(const CollectOptions& options, const Collection& collection,
                                   const std::filesystem::path& call_folder, CallResults& results,
                                   const DispatchRef& progress) {
  // The tables hold the card both ways and the year in full.
  const bool text = options.format == CollectFormat::kText;
  const bool decimal_card = text && options.decimal_card;
  const bool full_year = !text || options.full_year;
  std::vector<Variant> args{Variant(options.address),
                            Variant(call_folder.string()),
                            Variant(std::string_view(collection.text_file)),
                            Variant::Ref(*results.byref[0]),
                            Variant::Ref(*results.byref[1]),
                            Variant(options.wait_seconds),
                            Variant(int32_t{decimal_card ? 1 : 0})};
  if (collection.records) {
    args.emplace_back(full_year);
    args.push_back(progress ? Variant(progress.get()) : Variant::Missing());
  }
  return args;
}

// After a call that returned: the table written when a format asks for one,
// the JSON line on `out`, on `err` why the collection fell short. Returns
// the exit status.
int Report(const CollectOptions& options, const Collection& collection, const Variant& result,
           const CallResults& results, const std::filesystem::path& folder,
           const std::filesystem::path& call_folder, std::FILE* out, std::FILE* err) {
  const std::string method = collection.method;
  const std::string description = results.description();
  const int32_t written = results.written();
  const int status = CollectStatus(result.kind() == TG_BOOL && result.boolean(), description);
  std::filesystem::path file = folder / collection.text_file;
  std::string not_written;
  if (options.format != CollectFormat::kText && written > 0) {
    file = folder / (std::string(collection.stem) + Extension(options.format));
    try {
      WriteTable(collection, options.format, call_folder / collection.text_file, file);
    } catch (const std::system_error& error) {
      not_written = error.what();
    }
  }
  Json line = ResultJson(method, result, results.byref);
  line["file"] = written > 0 && not_written.empty() ? Json(file.string()) : Json(nullptr);
  WriteLine(out, JsonLine(line));

  if (!not_written.empty()) {
    WriteLine(err, "tallygate: " + method + ": cannot write " + file.string() + ": " + not_written);
    return kCollectFailed;
  }
  if (status == kCollectPartial) {
    WriteLine(err, "tallygate: " + method + ": " + description + " (" + std::to_string(written) +
                       " lines written)");
  } else if (status == kCollectFailed) {
    // Only a failed count query leaves the description empty.
    const std::string why = !description.empty()
                                ? description
                                : "no " + std::string(collection.entries) + " count from terminal " +
                                      std::to_string(options.address);
    WriteLine(err, "tallygate: " + method + " failed: " + why);
  }
  return status;
}

int Collect(const DispatchRef& object, const CollectOptions& options, const Collection& collection,
            std::FILE* out, std::FILE* err, ProgressView* progress) {
  const std::filesystem::path folder = AbsoluteFolder(options.folder);
  // The library writes its text file; a table is made from it in a folder
  // of its own.
  const bool text = options.format == CollectFormat::kText;
  std::optional<ScratchFolder> scratch;
  if (!text) {
    try {
      scratch.emplace(folder);
    } catch (const std::system_error& error) {
      WriteLine(err,
                "tallygate: " + std::string(collection.method) + " not called: " + error.what());
      return kCollectFailed;
    }
  }
  const std::filesystem::path call_folder = text ? folder : scratch->path();

  CallResults results;
  DispatchRef progress_object;
  if (collection.records && progress != nullptr) progress_object = MakeProgressObject(*progress);
  std::vector<Variant> args =
      CallArguments(options, collection, call_folder, results, progress_object);
  const std::string method = collection.method;
  const Outcome outcome = object.Invoke(method, TG_INVOKE_METHOD, args);
  if (progress_object) progress->Finish();
  if (!outcome.ok()) {
    WriteLine(out, ErrorLine(method, outcome.number, outcome.description));
    WriteLine(err, "tallygate: " + method + " raised error " + std::to_string(outcome.number) +
                       ": " + outcome.description);
    return kCollectFailed;
  }
  return Report(options, collection, outcome.result, results, folder, call_folder, out, err);
}

}  // namespace

int CollectStatus(bool result, const std::string& description) {
  if (!result) return kCollectFailed;
  return description.empty() ? kCollectComplete : kCollectPartial;
}

int WorseCollectStatus(int a, int b) {
  for (const int worst : {kCollectUsage, kCollectFailed, kCollectPartial}) {
    if (a == worst || b == worst) return worst;
  }
  return kCollectComplete;
}

int RunCollect(const DispatchRef& object, const CollectOptions& options, std::FILE* out,
               std::FILE* err, ProgressView* progress) {
  int status = kCollectComplete;
  if (options.records) {
    status = Collect(object, options, kRecords, out, err, progress);
  }
  if (options.cards) {
    status = WorseCollectStatus(status, Collect(object, options, kCards, out, err, nullptr));
  }
  return status;
}

}  // namespace tallygate::cli
