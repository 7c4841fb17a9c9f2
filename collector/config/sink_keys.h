// What the kinds of [[deliver]] read alike: a URL, a secret from a file.
#ifndef TALLYGATE_COLLECTOR_CONFIG_SINK_KEYS_H_
#define TALLYGATE_COLLECTOR_CONFIG_SINK_KEYS_H_

#include <string>
#include <string_view>

#include "collector/config/config.h"
#include "collector/config/table_reader.h"

namespace tallygate::collector {

// An http:// or https:// URL with a host, as libcurl will read it; throws
// InputError.
std::string CheckUrl(const std::string& text);

// The text of the file `key` names, without the line end a text editor
// leaves; a file that cannot be read or is empty fails at the key.
std::string ReadSecretFile(const TableReader& reader, std::string_view key);

// url (required: "`what` needs url = \"`example`\""), ca_file and timeout,
// as every table that sends HTTP requests reads them.
struct HttpTarget {
  std::string url;
  std::string ca_file;
  std::chrono::seconds timeout{30};
};
HttpTarget ReadHttpTarget(const TableReader& reader, const char* what, const char* example);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_SINK_KEYS_H_
