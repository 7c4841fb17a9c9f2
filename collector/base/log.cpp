#include "collector/base/log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace tallygate::collector {
namespace {

std::atomic<LogLevel> threshold{LogLevel::kInfo};
std::mutex output;
constexpr const char* kNames[] = {"debug", "info", "warning", "error"};

}  // namespace

std::optional<LogLevel> ParseLogLevel(std::string_view word) {
  for (int i = 0; i < 4; ++i) {
    if (word == kNames[i]) return static_cast<LogLevel>(i);
  }
  return std::nullopt;
}

void SetLogLevel(LogLevel level) { threshold = level; }

void Log(LogLevel level, std::string_view text) {
  if (level < threshold.load()) return;
  std::string line = kNames[static_cast<int>(level)];
  line += ' ';
  line += text;
  line += '\n';
  const std::lock_guard lock(output);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tallygate::collector
