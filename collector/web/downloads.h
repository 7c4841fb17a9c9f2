// The dashboard's CSV downloads (/punches.csv, /timesheet.csv), at most
// kDownloads at once whatever their URL.
//
// The rows are read in one go, at the store's pace, into a temporary file;
// the store's connection (and the snapshot its read holds) goes back to the
// pool before the first byte is sent, and the file then goes out at the
// client's pace. A slow client holds no connection, a stalled one its
// worker until the stall timeout. So a download holds exactly the rows that
// were stored when it started, each once (one stored meanwhile is in the
// next download), and a store that fails is a 503 with its reason instead
// of a file cut short.
#ifndef TALLYGATE_COLLECTOR_WEB_DOWNLOADS_H_
#define TALLYGATE_COLLECTOR_WEB_DOWNLOADS_H_

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>

#include "collector/web/places.h"
#include "collector/web/spool.h"

namespace tallygate::collector::web {

class Downloads {
 public:
  Downloads();

  // Sends as `file` what `fill` writes to the spool (the header line and
  // every row, through the store), or 503 with Retry-After when kDownloads
  // are running. The request is checked before: nothing here is a 400.
  void Send(const httplib::Request& request, httplib::Response& response, const std::string& file,
            const std::function<void(Spool&)>& fill);

 private:
  std::shared_ptr<Places> places_;
};

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_DOWNLOADS_H_
