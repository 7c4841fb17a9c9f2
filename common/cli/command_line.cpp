#include "common/cli/command_line.h"

#include <charconv>
#include <iostream>

namespace tallygate::command_line {

void Prepare(CLI::App& app) {
  app.set_version_flag("--version", app.get_name() + " " + TALLYGATE_PROJECT_VERSION);
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv) {
  try {
    app.parse(argc, argv);
    return std::nullopt;
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::cout << version.what() << "\n";
    return 0;
  } catch (const CLI::ParseError& error) {
    std::string what = error.what();
    for (char& c : what) {
      if (c == '\n') c = ' ';
    }
    std::cerr << app.get_name() << ": " << what << " (try: " << app.get_name() << " --help)\n";
    return kUsageStatus;
  }
}

CLI::Validator DecimalIn(uint64_t low, uint64_t high) {
  const std::string range = std::to_string(low) + " to " + std::to_string(high);
  return CLI::Validator(
      [low, high, range](std::string& text) -> std::string {
        uint64_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
            value > high) {
          return "needs a number from " + range + ", not \"" + text + "\"";
        }
        text = std::to_string(value);
        return {};
      },
      "");
}

}  // namespace tallygate::command_line
