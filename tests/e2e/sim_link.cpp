#include "tests/e2e/sim_link.h"

#include <filesystem>

namespace tallygate::testing {

std::string TransportName(Transport transport) { return transport == Transport::kTcp ? "Tcp" : "Pty"; }

void PrintTo(Transport transport, std::ostream* os) { *os << TransportName(transport); }

std::string GeneratedRmTxt() {
#ifdef TALLYGATE_RM_TXT
  return TALLYGATE_RM_TXT;
#else
  return {};
#endif
}

void SimLinkTest::Start(Setup setup) {
  if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim not built";
  std::vector<std::string> args{"--tcp-port", "0", "--pty", "--address", "1"};
  args.insert(args.end(), setup.sim_args.begin(), setup.sim_args.end());
  sim_ = std::make_unique<SimProcess>(args);
  ASSERT_GT(sim_->tcp_port(), 0);
  ASSERT_FALSE(sim_->pty_path().empty());

  if (setup.rm_txt) {
    const std::string rm_txt = GeneratedRmTxt();
    if (rm_txt.empty()) GTEST_SKIP() << "the build does not say where rm.txt is";
    std::filesystem::copy_file(rm_txt, home_ / "rm.txt");
  }
  home_env_.emplace("TALLYGATE_HOME", home_.path().string());
  locale_env_.emplace("TALLYGATE_SYSTEM_LOCALE", setup.locale);
  com_env_.emplace("TALLYGATE_COM1", sim_->pty_path());
  object_ = std::make_unique<Connect_v70>();

  if (tcp()) {
    object_->Mode(1);
    ASSERT_TRUE(object_->Connect_Net("127.0.0.1", sim_->tcp_port()));
  } else {
    object_->Mode(0);
    ASSERT_TRUE(object_->SetPort(1));
  }
}

void SimLinkTest::OpenSerialPortToo() {
  object_->Mode(0);
  ASSERT_TRUE(object_->SetPort(1));
  if (tcp()) {
    object_->Mode(1);
    ASSERT_EQ(object_->tcpState(), 7) << "opening the serial port dropped the connection";
  }
}

void SimLinkTest::TearDown() {
  if (object_) {
    // The thread's connection outlives objects; the next test must not find
    // this one's.
    if (object_->Mode() != 0) object_->Disconnect_Net();
    object_->Mode(0);
    object_->DestoryPort();
    object_.reset();
  }
  sim_.reset();
}

std::vector<std::string> SimLinkTest::Status() { return sim_->ControlBlock("status"); }

bool SimLinkTest::StatusShows(const std::string& line) {
  for (const std::string& shown : Status()) {
    if (shown.size() > 2 && shown.starts_with("  ") && shown.substr(2) == line) return true;
  }
  return false;
}

std::vector<std::string> SimLinkTest::CrLfLines(const std::filesystem::path& file) {
  const std::string text = ReadFile(file);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << file << " ends without CR LF: " << text.substr(start);
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace tallygate::testing
