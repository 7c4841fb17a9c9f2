// cpp-httplib's handling of requests (parsing, routes, answers), given
// its requests one at a time by the front door, each through a
// ConnectionStream, instead of reading its own sockets.
#ifndef TALLYGATE_COLLECTOR_DOOR_ROUTER_H_
#define TALLYGATE_COLLECTOR_DOOR_ROUTER_H_

#include <httplib.h>

#include <chrono>

#include "collector/door/connection.h"
#include "collector/door/request_head.h"

namespace tallygate::collector::door {

class Router : public httplib::Server {
 public:
  Router();

  // cpp-httplib ends a streamed answer (a download, the live feed) once its
  // listening socket is gone; it is told the front door's while it
  // listens, and none once the dashboard stops.
  void Listening(int socket) { svr_sock_ = socket; }
  void Stopping() { svr_sock_ = INVALID_SOCKET; }

  // Serves the request `head` describes, waiting in `connection`, each
  // read and write waiting at most `stall`; closes the connection after it
  // when `last`. True when the connection may carry another request: not
  // when the request's body was left unread (a refusal before it was read,
  // a GET with a body), for the rest of it would be read as a request of
  // its own. Such an answer says "Connection: close".
  bool ServeOne(Connection& connection, const RequestHead& head, bool last,
                std::chrono::milliseconds stall);
};

}  // namespace tallygate::collector::door

#endif  // TALLYGATE_COLLECTOR_DOOR_ROUTER_H_
