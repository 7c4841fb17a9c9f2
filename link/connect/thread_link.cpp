#include "link/connect/thread_link.h"

#include <mutex>
#include <utility>

#include "link/transport/posix_tcp_socket.h"
#include "link/transport/termios_port.h"

namespace tallygate {
namespace {

std::mutex g_factory_mutex;
ThreadLink::SerialPortFactory g_serial_factory;
ThreadLink::TcpSocketFactory g_socket_factory;

}  // namespace

ThreadLink& ThreadLink::Current() {
  thread_local std::unique_ptr<ThreadLink> link(new ThreadLink());
  return *link;
}

void ThreadLink::SetFactories(SerialPortFactory serial, TcpSocketFactory socket) {
  std::lock_guard<std::mutex> lock(g_factory_mutex);
  g_serial_factory = std::move(serial);
  g_socket_factory = std::move(socket);
}

ThreadLink::ThreadLink() {
  std::lock_guard<std::mutex> lock(g_factory_mutex);
  port_ = g_serial_factory ? g_serial_factory() : std::make_unique<TermiosPort>();
  socket_ = g_socket_factory ? g_socket_factory() : std::make_unique<PosixTcpSocket>();
}

ThreadLink::~ThreadLink() {
  try {
    if (port_->PortOpen()) port_->SetPortOpen(false);
  } catch (...) {
    // The thread is ending; nothing is left to report to.
  }
}

void ThreadLink::ReplacePort(std::unique_ptr<SerialPort> port) { port_ = std::move(port); }

void ThreadLink::ReplaceSocket(std::unique_ptr<TcpSocket> socket) { socket_ = std::move(socket); }

ThreadLink::CallScope::CallScope(ThreadLink& link)
    : link_(link), entered_(link.calls_in_progress_ == 0) {
  ++link_.calls_in_progress_;
}

ThreadLink::CallScope::~CallScope() { --link_.calls_in_progress_; }

}  // namespace tallygate
