// The state every Connect_v70 object of one thread shares: one serial port,
// one TCP connection and the two line-settings texts. Objects of a thread
// therefore drive the same port and the same connection.
//
// It also knows whether a call of one of those objects is in progress, so
// that a call started from a host event during another call's wait is
// refused instead of mixing its bytes into the first call's exchange.
#ifndef TALLYGATE_LINK_CONNECT_THREAD_LINK_H_
#define TALLYGATE_LINK_CONNECT_THREAD_LINK_H_

#include <functional>
#include <memory>
#include <string>

#include "link/transport/serial_port.h"
#include "link/transport/tcp_socket.h"

namespace tallygate {

class ThreadLink {
 public:
  using SerialPortFactory = std::function<std::unique_ptr<SerialPort>()>;
  using TcpSocketFactory = std::function<std::unique_ptr<TcpSocket>()>;

  // The calling thread's link, made on first use; it closes its port when the
  // thread ends.
  static ThreadLink& Current();

  // Factories for the port and socket of links made from now on, in any
  // thread; null restores the real devices. For tests and tools.
  static void SetFactories(SerialPortFactory serial, TcpSocketFactory socket);

  ~ThreadLink();
  ThreadLink(const ThreadLink&) = delete;
  ThreadLink& operator=(const ThreadLink&) = delete;

  SerialPort& Port() { return *port_; }
  TcpSocket& Socket() { return *socket_; }

  // Puts another port or socket in place of the current one (tests).
  void ReplacePort(std::unique_ptr<SerialPort> port);
  void ReplaceSocket(std::unique_ptr<TcpSocket> socket);

  // Line settings under which the address byte and the frame are written.
  std::string address_settings;
  std::string data_settings;

  // True while a call is in progress on this thread.
  bool Busy() const { return calls_in_progress_ > 0; }

  // Marks a call as in progress for its lifetime. `entered()` is false when
  // another call was already in progress: the new call must then fail at
  // once and send nothing.
  class CallScope {
   public:
    explicit CallScope(ThreadLink& link);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    bool entered() const { return entered_; }

   private:
    ThreadLink& link_;
    bool entered_;
  };

 private:
  ThreadLink();

  std::unique_ptr<SerialPort> port_;
  std::unique_ptr<TcpSocket> socket_;
  int calls_in_progress_ = 0;
};

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_THREAD_LINK_H_
