// Drives the first terminal commands against one terminal and prints each
// call and its outcome: a quick check that a bus or a connection works.
//
//   tallygate-first-commands --tcp HOST[:PORT] [--addr A]
//   tallygate-first-commands --com N [--addr A]
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "tallygate/connect_v70.h"

namespace {

int Usage() {
  std::cerr << "usage: tallygate-first-commands (--tcp HOST[:PORT] | --com N) [--addr A]\n";
  return 2;
}

const char* Text(bool value) { return value ? "true" : "false"; }

}  // namespace

int main(int argc, char** argv) {
  std::string tcp;
  int com = 0;
  int addr = 1;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--tcp" && i + 1 < argc) {
      tcp = argv[++i];
    } else if (arg == "--com" && i + 1 < argc) {
      com = std::atoi(argv[++i]);
    } else if (arg == "--addr" && i + 1 < argc) {
      addr = std::atoi(argv[++i]);
    } else {
      return Usage();
    }
  }
  if (tcp.empty() == (com == 0)) return Usage();

  tallygate::Connect_v70 link;
  const auto a = static_cast<int16_t>(addr);
  std::cout << "Ver -> " << link.Ver() << "\n";
  if (!tcp.empty()) {
    std::string host = tcp;
    int32_t port = 1001;
    if (auto colon = tcp.find(':'); colon != std::string::npos) {
      host = tcp.substr(0, colon);
      port = std::atoi(tcp.c_str() + colon + 1);
    }
    link.Mode(1);
    std::cout << "Mode = 1\n";
    const bool connected = link.Connect_Net(host, port);
    std::cout << "Connect_Net(" << host << ", " << port << ") -> " << Text(connected) << "\n";
    std::cout << "tcpState -> " << link.tcpState() << "\n";
    if (!connected) return 1;
  } else {
    const bool opened = link.SetPort(static_cast<int16_t>(com));
    std::cout << "SetPort(" << com << ") -> " << Text(opened) << "\n";
    if (!opened) return 1;
  }

  int32_t count = 0;
  std::string description;
  std::cout << "ClearFlag(" << addr << ") -> " << Text(link.ClearFlag(a)) << "\n";
  std::cout << "GetStorageModel(" << addr << ") -> " << link.GetStorageModel(a) << "\n";
  std::cout << "SetStorageModel(" << addr << ", 2) -> " << Text(link.SetStorageModel(a, 2)) << "\n";
  std::cout << "GetStorageModel(" << addr << ") -> " << link.GetStorageModel(a) << "\n";
  bool ok = link.GatherRecordSum(a, count, description);
  std::cout << "GatherRecordSum(" << addr << ") -> " << Text(ok) << ", count " << count << "\n";
  ok = link.GatherSendCardSum(a, count);
  std::cout << "GatherSendCardSum(" << addr << ") -> " << Text(ok) << ", count " << count << "\n";
  std::cout << "RepairAddress(" << addr << ", " << addr << ") -> "
            << Text(link.RepairAddress(a, a)) << "\n";
  std::cout << "ClearRecord(" << addr << ") -> " << Text(link.ClearRecord(a)) << "\n";
  std::cout << "ClearNameList(" << addr << ") -> " << Text(link.ClearNameList(a)) << "\n";
  ok = link.GatherRecordSum(a, count, description);
  std::cout << "GatherRecordSum(" << addr << ") -> " << Text(ok) << ", count " << count << "\n";
  std::cout << "DestoryPort -> " << Text(link.DestoryPort()) << "\n";
  return 0;
}
