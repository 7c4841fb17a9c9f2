#include "collector/config/key_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "collector/config/config.h"

namespace tallygate::collector {

std::string ReadKeyFile(const char* key, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw ConfigError(std::string(key) + " " + path + ": cannot read: " + std::strerror(errno));
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tallygate::collector
