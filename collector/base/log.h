// The collector's log: one line per event on standard error, with its level
// ("info gate-1: 12 punches added"), which journald keeps as it is under
// systemd. Safe from any thread.
#ifndef TALLYGATE_COLLECTOR_BASE_LOG_H_
#define TALLYGATE_COLLECTOR_BASE_LOG_H_

#include <optional>
#include <string>
#include <string_view>

namespace tallygate::collector {

enum class LogLevel { kDebug, kInfo, kWarning, kError };

// "debug", "info", "warning", "error"; nullopt for any other word.
std::optional<LogLevel> ParseLogLevel(std::string_view word);

// Lines below `level` are dropped (default info).
void SetLogLevel(LogLevel level);

void Log(LogLevel level, std::string_view text);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_BASE_LOG_H_
