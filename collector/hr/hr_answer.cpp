#include "collector/hr/hr_answer.h"

#include <nlohmann/json.hpp>

namespace tallygate::collector {
namespace {

constexpr size_t kShown = 300;

using Json = nlohmann::json;

std::string StringAt(const Json& object, const char* key) {
  if (!object.is_object()) return "";
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}

}  // namespace

std::string OneLine(const std::string& text) {
  std::string line;
  bool in_tag = false;
  for (char c : text) {
    if (c == '<') {
      in_tag = true;
      line += ' ';
    } else if (c == '>' && in_tag) {
      in_tag = false;
    } else if (!in_tag) {
      line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  // Spaces gathered, ends trimmed.
  std::string tidy;
  for (char c : line) {
    if (c == ' ' && (tidy.empty() || tidy.back() == ' ')) continue;
    tidy += c;
  }
  while (!tidy.empty() && tidy.back() == ' ') tidy.pop_back();
  if (tidy.size() <= kShown) return tidy;
  size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(tidy[cut]) & 0xC0) == 0x80) --cut;
  return tidy.substr(0, cut) + "...";
}

std::string FrappeMessage(const std::string& body) {
  const Json answer = Json::parse(body, nullptr, false);
  if (const std::string listed = StringAt(answer, "_server_messages"); !listed.empty()) {
    const Json messages = Json::parse(listed, nullptr, false);
    if (messages.is_array() && !messages.empty() && messages[0].is_string()) {
      const Json first = Json::parse(messages[0].get<std::string>(), nullptr, false);
      if (const std::string message = StringAt(first, "message"); !message.empty()) {
        return OneLine(message);
      }
      return OneLine(messages[0].get<std::string>());
    }
  }
  if (std::string exception = StringAt(answer, "exception"); !exception.empty()) {
    // "frappe.exceptions.ValidationError: the message"
    if (const size_t colon = exception.find(": "); colon != std::string::npos) {
      exception.erase(0, colon + 2);
    }
    return OneLine(exception);
  }
  if (const std::string message = StringAt(answer, "message"); !message.empty()) {
    return OneLine(message);
  }
  return OneLine(body);
}

std::string OdooMessage(const std::string& body) {
  const Json answer = Json::parse(body, nullptr, false);
  if (answer.is_string()) return OneLine(answer.get<std::string>());
  if (answer.is_object() && answer.contains("error")) {
    const Json& error = answer["error"];
    if (const std::string message = StringAt(error.value("data", Json()), "message");
        !message.empty()) {
      return OneLine(message);
    }
    if (const std::string message = StringAt(error, "message"); !message.empty()) {
      return OneLine(message);
    }
  }
  if (const std::string message = StringAt(answer, "message"); !message.empty()) {
    return OneLine(message);
  }
  return OneLine(body);
}

std::string AnswerText(const HttpAnswer& answer, const std::string& message) {
  if (answer.status == 0) return "no answer: " + answer.error;
  return "HTTP " + std::to_string(answer.status) + (message.empty() ? "" : ": " + message);
}

bool Passing(const HttpAnswer& answer) {
  return answer.status == 0 || answer.status == 408 || answer.status == 429 ||
         answer.status >= 500;
}

}  // namespace tallygate::collector
