// Reading an HR system's error answers (Frappe's and Odoo's JSON) into the
// one line a refused punch or a stopped sink shows.
#ifndef TALLYGATE_COLLECTOR_DELIVER_HR_ANSWER_H_
#define TALLYGATE_COLLECTOR_DELIVER_HR_ANSWER_H_

#include <string>

#include "collector/hr/http_client.h"

namespace tallygate::collector {

// Frappe's message: the first of "_server_messages" (a JSON text of a list
// of JSON texts, each with a "message"), else "exception" without its
// class, else "message", else the body; HTML tags dropped.
std::string FrappeMessage(const std::string& body);

// Odoo's message: "message" of a JSON-2 error object or of a JSON-RPC
// error's "data", else the error's own "message", else the body.
std::string OdooMessage(const std::string& body);

// `text` on one line, tags dropped, at most 300 bytes (whole UTF-8
// characters).
std::string OneLine(const std::string& text);

// "HTTP 417: MESSAGE", or "no answer: REASON".
std::string AnswerText(const HttpAnswer& answer, const std::string& message);

// A failure that passes (no answer, 408, 429, 5xx).
bool Passing(const HttpAnswer& answer);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_DELIVER_HR_ANSWER_H_
