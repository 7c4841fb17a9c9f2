// One client's connection to the dashboard: its socket (non-blocking), its
// TLS session when the dashboard is served over HTTPS, the bytes read from
// it that no request has taken yet, and whom it comes from. The front door
// reads a request's head into it; a worker then serves the request through
// a ConnectionStream, which cpp-httplib reads and writes as it would a
// socket, waiting at most the stall timeout for each step.
#ifndef TALLYGATE_COLLECTOR_DOOR_CONNECTION_H_
#define TALLYGATE_COLLECTOR_DOOR_CONNECTION_H_

#include <httplib.h>
#include <poll.h>

#include <chrono>
#include <string>

#include "collector/door/tls_context.h"

struct ssl_st;

namespace tallygate::collector::door {

struct Endpoint {
  std::string address;  // "192.0.2.7", "::1"
  int port = 0;
};

// The addresses of `socket`'s two ends.
Endpoint PeerOf(int socket);
Endpoint LocalOf(int socket);

class Connection {
 public:
  // Takes `socket`, which it closes.
  Connection(int socket, Endpoint peer);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int socket() const { return socket_; }
  const Endpoint& peer() const { return peer_; }
  bool tls() const { return ssl_ != nullptr; }

  // The outcome of one non-blocking step: done, or what to wait for.
  enum class Step { kDone, kWaitRead, kWaitWrite, kEnded, kFailed };

  // Starts TLS with `context`; then steps the handshake until kDone.
  void BeginTls(const SslContext& context);
  Step Handshake();

  // Appends what has arrived to Unread(), until nothing more has or it
  // holds `most` bytes. kDone: it holds `most`.
  Step Fill(size_t most);
  // As much of `bytes` as goes out now; the bytes sent are removed.
  Step Send(std::string_view& bytes);
  // Ends writing (TLS: the close notice, then the socket's half-close);
  // what the client still sends can then be read and dropped.
  void EndWriting();

  // Waiting for each step at most `wait`: bytes read (Unread() first),
  // 0 at the end, -1 on a failure or a wait too long.
  ssize_t Read(char* into, size_t size, std::chrono::milliseconds wait);
  // All of `bytes`, each step waited for at most `wait`; false when not.
  bool Write(const char* bytes, size_t size, std::chrono::milliseconds wait);
  // Whether a write could start within `wait`, to a client still there:
  // not when it has closed its end (a live feed's client that went away
  // is noticed so at once, not at the second write after it left).
  bool Writable(std::chrono::milliseconds wait) const;

  // Read and not yet taken by a request.
  std::string_view Unread() const { return std::string_view(pending_).substr(taken_); }
  void Drop(size_t bytes);
  // Bytes TLS holds decrypted that Unread() has not taken.
  bool TlsHoldsMore() const;

  // Requests served on it so far.
  int requests = 0;

 private:
  // One read or write; > 0 bytes, 0 at the end, -1 with `step` saying why.
  ssize_t ReadOnce(char* into, size_t size, Step& step);
  ssize_t WriteOnce(const char* bytes, size_t size, Step& step);
  // Waits for `step` (kWaitRead or kWaitWrite) at most `wait`.
  bool Await(Step step, std::chrono::milliseconds wait) const;

  int socket_;
  Endpoint peer_;
  ssl_st* ssl_ = nullptr;
  SslContext context_;  // kept while ssl_ lives
  std::string pending_;
  size_t taken_ = 0;  // of pending_
};

// A connection as cpp-httplib's stream, for one request: reads the head
// the door has read, then the body; counts the body's bytes read.
class ConnectionStream final : public httplib::Stream {
 public:
  ConnectionStream(Connection& connection, std::chrono::milliseconds stall)
      : connection_(connection), stall_(stall) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return connection_.Writable(stall_); }
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  // cpp-httplib asks only to refuse a socket beyond select()'s reach; this
  // stream waits with poll(), whatever the number.
  socket_t socket() const override { return 0; }

  // Bytes read so far.
  uint64_t read_bytes() const { return read_; }

 private:
  Connection& connection_;
  std::chrono::milliseconds stall_;
  uint64_t read_ = 0;
};

}  // namespace tallygate::collector::door

#endif  // TALLYGATE_COLLECTOR_DOOR_CONNECTION_H_
