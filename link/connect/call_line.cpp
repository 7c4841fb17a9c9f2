#include "link/connect/connect_v70_state.h"

namespace tallygate {

CallLine::CallLine(Connect_v70::State& state, Bus bus) {
  ThreadLink& link = state.link;
  if (bus == Bus::kSerial || state.mode == 0) {
    SerialPort& port = link.Port();
    serial_.emplace(port, link.address_settings, link.data_settings,
                    "COM" + std::to_string(port.CommPort()));
    exchange_.emplace(*serial_, WaitControl{true, {}});
  } else {
    tcp_.emplace(link.Socket(), state.ip + ":" + std::to_string(state.tcp_port));
    exchange_.emplace(*tcp_, WaitControl{true, {}});
  }
}

}  // namespace tallygate
