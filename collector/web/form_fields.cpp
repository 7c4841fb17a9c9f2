#include "collector/web/form_fields.h"

#include <set>

#include "collector/web/html.h"
#include "collector/web/search_query.h"

namespace tallygate::collector::web {

std::string InputField(Language language, Msg caption, const char* name, const char* type,
                       const std::string& value) {
  return "<label>" + Caption(language, caption) + "<input name=\"" + name + "\" type=\"" + type +
         "\" value=\"" + Escape(value) + "\"></label>";
}

std::string InputField(Language language, Msg caption, const char* name, const char* type,
                       const httplib::Request& request) {
  return InputField(language, caption, name, type, Param(request, name).value_or(""));
}

std::string SelectField(Language language, Msg caption, Msg all, const char* name,
                        const std::vector<std::string>& choices, const httplib::Request& request) {
  const std::string chosen = Param(request, name).value_or("");
  std::string options = "<option value=\"\">" + Caption(language, all) + "</option>";
  bool listed = chosen.empty();
  auto option = [&](const std::string& choice) {
    options += "<option value=\"" + Escape(choice) + "\"" + (choice == chosen ? " selected" : "") +
               ">" + Escape(choice) + "</option>";
    listed |= choice == chosen;
  };
  for (const std::string& choice : choices) option(choice);
  if (!listed) option(chosen);
  return "<label>" + Caption(language, caption) + "<select name=\"" + name + "\">" + options +
         "</select></label>";
}

std::vector<std::string> TerminalNames(const CollectorConfig& config) {
  std::vector<std::string> names;
  for (const TerminalConfig& terminal : config.terminals) names.push_back(terminal.name);
  return names;
}

std::vector<std::string> GroupNames(const CollectorConfig& config) {
  std::set<std::string> groups;
  for (const TerminalConfig& terminal : config.terminals) {
    groups.insert(terminal.groups.begin(), terminal.groups.end());
  }
  return {groups.begin(), groups.end()};
}

}  // namespace tallygate::collector::web
