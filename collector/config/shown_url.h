// A sink's URL as it may be shown (dashboard, `deliver status`, logs,
// configuration errors): whoever reads those may not be meant to post to
// the receiver, so credentials a URL carries are masked.
#ifndef TALLYGATE_COLLECTOR_CONFIG_SHOWN_URL_H_
#define TALLYGATE_COLLECTOR_CONFIG_SHOWN_URL_H_

#include <string>
#include <string_view>

namespace tallygate::collector {

// `url` with its user part and each query value replaced by "***":
// "https://***@hr.example.com/hook?key=***". The scheme, host, port, path
// and fragment stay as written.
std::string ShownUrl(std::string_view url);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CONFIG_SHOWN_URL_H_
