// Files the configuration names for what must stay secret (the dashboard's
// tokens, its certificate and key), read whole.
#ifndef TALLYGATE_COLLECTOR_CONFIG_KEY_FILE_H_
#define TALLYGATE_COLLECTOR_CONFIG_KEY_FILE_H_

#include <string>

namespace tallygate::collector {

// The text of `path`, the file `key` names. Throws ConfigError
// naming the key and the file when it cannot be read.
std::string ReadKeyFile(const char* key, const std::string& path);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_KEY_FILE_H_
