// The fields of the dashboard's search forms, each showing the value the
// request gave it (escaped), so that a search can be changed and sent again.
#ifndef TALLYGATE_COLLECTOR_WEB_FORM_FIELDS_H_
#define TALLYGATE_COLLECTOR_WEB_FORM_FIELDS_H_

#include <httplib.h>

#include <string>
#include <vector>

#include "collector/config/config.h"
#include "collector/web/messages.h"

namespace tallygate::collector::web {

// <label>CAPTION<input name="NAME" type="TYPE" value="VALUE"></label>
std::string InputField(Language language, Msg caption, const char* name, const char* type,
                       const std::string& value);

// The same, its value the request's.
std::string InputField(Language language, Msg caption, const char* name, const char* type,
                       const httplib::Request& request);

// <label>CAPTION<select name="NAME">: "" captioned `all`, then `choices`,
// the request's value selected (and listed, should it be none of them).
std::string SelectField(Language language, Msg caption, Msg all, const char* name,
                        const std::vector<std::string>& choices, const httplib::Request& request);

// The configured terminals' names, and their groups (each once, sorted).
std::vector<std::string> TerminalNames(const CollectorConfig& config);
std::vector<std::string> GroupNames(const CollectorConfig& config);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_FORM_FIELDS_H_
