// tallygate-collector as a shell user and systemd run it, against simulated
// terminals and a real SQLite file: exit statuses, status, export read back
// by Python's csv module, and a clean stop on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <nlohmann/json.hpp>

#include "sim/client/sim_process.h"
#include "tests/collector/collector_process.h"
#include "tests/collector/test_certificates.h"
#include "tests/support/free_port.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate {
namespace {

using testing::RunProgram;
using testing::SimProcess;
using testing::TempDir;

class CollectorProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SimProcess::Available()) GTEST_SKIP() << "tallygate-sim was not built";
  }

  std::string WriteConfig(const std::string& terminals) {
    const std::string path = (dir_ / "collector.toml").string();
    std::ofstream(path) << "database = \"sqlite:" << (dir_ / "punches.db").string() << "\"\n"
                        << "poll_interval = 1\n"
                        << terminals;
    return path;
  }

  static std::string Terminal(const std::string& name, int port) {
    return "[[terminal]]\nname = \"" + name + "\"\ntcp = \"127.0.0.1:" + std::to_string(port) +
           "\"\ntime_zone = \"Asia/Shanghai\"\n";
  }

  testing::ProgramResult Collector(const std::vector<std::string>& args) {
    return RunProgram(TALLYGATE_COLLECTOR_PATH, args, {}, "", std::chrono::seconds(120));
  }

  TempDir dir_;
};

TEST_F(CollectorProgramTest, MistakesInTheConfigurationNameTheirLineAndPollNothing) {
  struct Mistake {
    const char* text;
    const char* says;
  };
  const Mistake mistakes[] = {
      {"[[terminal]]\nname = \"a\"\ntcp = \"127.0.0.1:1\"\ncolour = 1\n", ":6:1: unknown key 'colour'"},
      {"[[terminal]]\nname = \"a\"\ntcp = \"127.0.0.1:1\"\ntime_zone = \"Mars/Olympus\"\n",
       "Mars/Olympus"},
  };
  for (const Mistake& mistake : mistakes) {
    const std::string config = WriteConfig(mistake.text);
    const auto result = Collector({"--config", config, "once"});
    EXPECT_EQ(result.exit_status, 2) << mistake.text;
    EXPECT_NE(result.err.find(mistake.says), std::string::npos) << result.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "punches.db")) << "nothing polled";
  }
}

TEST_F(CollectorProgramTest, OnceStatusAndExportTellTheSameStory) {
  SimProcess first({"--tcp-port", "0", "--quiet", "--records", "300", "--cards", "20"});
  SimProcess second({"--tcp-port", "0", "--quiet", "--records", "40", "--seed", "2"});
  SimProcess gone({"--tcp-port", "0", "--quiet"});
  const int gone_port = gone.tcp_port();
  gone.Stop();
  const std::string config = WriteConfig(Terminal("first", first.tcp_port()) +
                                         Terminal("second", second.tcp_port()) +
                                         Terminal("gone", gone_port));

  auto once = Collector({"once", "--config", config});
  EXPECT_EQ(once.exit_status, 3) << "one terminal unreachable\n" << once.err;

  const auto status = Collector({"--config", config, "status", "--json"});
  ASSERT_EQ(status.exit_status, 0) << status.err;
  const auto states = nlohmann::json::parse(status.out);
  std::map<std::string, nlohmann::json> by_name;
  for (const auto& state : states) by_name[state["terminal"]] = state;
  EXPECT_EQ(by_name["first"]["punches"], 300);
  EXPECT_EQ(by_name["second"]["punches"], 40);
  EXPECT_EQ(by_name["gone"]["punches"], 0);
  EXPECT_NE(by_name["gone"]["last_error"].get<std::string>().find("refused"), std::string::npos);

  // A second poll finds nothing new, and all terminals but one complete.
  once = Collector({"--config", config, "once"});
  EXPECT_EQ(once.exit_status, 3);

  const std::string csv = (dir_ / "punches.csv").string();
  const auto exported = Collector(
      {"--config", config, "export", "--from", "2000-01-01", "--to", "2099-12-31", "--output", csv});
  ASSERT_EQ(exported.exit_status, 0) << exported.err;
  // Python's csv module reads it back: a header, one row per punch, names
  // from the card list where the card is on it.
  const auto read = RunProgram(
      "/usr/bin/python3",
      {"-c",
       "import csv,json,sys\n"
       "rows=list(csv.DictReader(open(sys.argv[1],newline='',encoding='utf-8')))\n"
       "print(json.dumps({'rows':len(rows),'terminals':sorted({r['terminal'] for r in rows}),"
       "'named':sum(1 for r in rows if r['name']),'hex_ok':all(int(r['card_hex'],16)==int(r['card'])"
       " for r in rows)}))",
       csv});
  ASSERT_EQ(read.exit_status, 0) << read.err;
  const auto summary = nlohmann::json::parse(read.out);
  EXPECT_EQ(summary["rows"], 340);
  EXPECT_EQ(summary["terminals"], nlohmann::json({"first", "second"}));
  EXPECT_TRUE(summary["hex_ok"].get<bool>());
  EXPECT_GT(summary["named"].get<int>(), 0) << "names joined from the card list";
}

// Two terminals' addresses swapped: `once` holds both and exits 4, and
// `status` says whose memory each answers with. A terminal moved under a
// new name is carried over by `terminals move`, which refuses what would
// lose or mix a history.
TEST_F(CollectorProgramTest, HeldTerminalsAndTheCommandThatCarriesOneOver) {
  SimProcess fleet({"--tcp-terminals", "2", "--tcp-port", "0", "--records", "5", "--quiet"});
  const int p1 = fleet.tcp_ports()[0];
  const int p2 = fleet.tcp_ports()[1];
  const auto once = [&](const std::string& terminals) {
    return Collector({"--config", WriteConfig(terminals), "once"});
  };
  const auto states = [&] {
    std::map<std::string, nlohmann::json> by_name;
    const auto status = Collector({"--config", WriteConfig(""), "status", "--json"});
    for (const auto& state : nlohmann::json::parse(status.out)) by_name[state["terminal"]] = state;
    return by_name;
  };
  ASSERT_EQ(once(Terminal("g1", p1) + Terminal("g2", p2)).exit_status, 0);
  const auto swapped = once(Terminal("g1", p2) + Terminal("g2", p1));
  EXPECT_EQ(swapped.exit_status, 4) << swapped.err;
  auto now = states();
  EXPECT_EQ(now["g1"]["last_outcome"], "wrong-terminal");
  EXPECT_EQ(now["g1"]["last_error"], "g1 answers with the memory of g2 (address changed?)");
  EXPECT_EQ(now["g1"]["punches"], 5);

  const std::string moved = Terminal("g9", p1) + Terminal("g2", p2);
  EXPECT_EQ(once(moved).exit_status, 4);
  struct Refusal {
    std::vector<std::string> words;
    const char* says;
  };
  const Refusal refusals[] = {
      {{"move", "g2", "g9"}, "g2 is still configured"},
      {{"move", "nowhere", "g9"}, "no terminal nowhere in the store"},
      {{"move", "g1", "g7"}, "no terminal named g7"},
      {{"move", "g1", "g2"}, "g2 already has 5 punches of its own"},
      {{"accept", "g1"}, "no terminal named g1"},
  };
  const std::string config = WriteConfig(moved);
  for (const Refusal& refusal : refusals) {
    std::vector<std::string> args = {"--config", config, "terminals"};
    args.insert(args.end(), refusal.words.begin(), refusal.words.end());
    const auto refused = Collector(args);
    EXPECT_EQ(refused.exit_status, 2) << refusal.says;
    EXPECT_NE(refused.err.find(refusal.says), std::string::npos) << refused.err;
  }
  const auto carried = Collector({"--config", config, "terminals", "move", "g1", "g9"});
  EXPECT_EQ(carried.exit_status, 0) << carried.err;
  EXPECT_EQ(once(moved).exit_status, 0);
  now = states();
  EXPECT_FALSE(now.contains("g1"));
  EXPECT_EQ(now["g9"]["punches"], 5);
  EXPECT_EQ(now["g9"]["last_outcome"], "complete");
}

TEST_F(CollectorProgramTest, SigtermStopsTheServiceCleanly) {
  SimProcess sim({"--tcp-port", "0", "--quiet", "--records", "20"});
  const std::string config =
      WriteConfig(Terminal("gate", sim.tcp_port()) + "set_clock = true\n");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(TALLYGATE_COLLECTOR_PATH, TALLYGATE_COLLECTOR_PATH, "--config", config.c_str(), "run",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until the first poll stored the records.
  for (int i = 0; i < 100; ++i) {
    const auto status = Collector({"--config", config, "status", "--json"});
    if (status.exit_status == 0 && status.out.find("\"punches\": 20") != std::string::npos) break;
    usleep(100'000);
  }
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  // set_clock: the terminal's clock was set on the first poll.
  const std::vector<std::string> detail = sim.ControlBlock("status");
  ASSERT_GT(detail.size(), 1u);
  EXPECT_TRUE(std::regex_search(detail[1], std::regex(R"(^  clock \d\d-\d\d-\d\d )")))
      << detail[1] << ": the clock was never set";
}

// SIGHUP while the service waits for a store it cannot open: the
// configuration is read again and the store it names now is opened at once,
// not after the wait (5 s) and not the old one.
TEST_F(CollectorProgramTest, SighupWhileWaitingForTheStoreOpensTheNewOne) {
  SimProcess sim({"--tcp-port", "0", "--quiet", "--records", "5"});
  const std::string config = (dir_ / "collector.toml").string();
  // A server that refuses connections: nothing listens on port 9 (discard).
  std::ofstream(config) << "database = \"postgresql://tg@127.0.0.1:9/punches\"\n"
                        << Terminal("gate", sim.tcp_port());
  const std::string log = (dir_ / "collector.log").string();
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDERR_FILENO);
    execl(TALLYGATE_COLLECTOR_PATH, TALLYGATE_COLLECTOR_PATH, "--config", config.c_str(), "run",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto logged = [&](const std::string& text, int tenths) {
    for (int i = 0; i < tenths; ++i, usleep(100'000)) {
      std::stringstream read;
      read << std::ifstream(log).rdbuf();
      if (read.str().find(text) != std::string::npos) return true;
    }
    return false;
  };
  EXPECT_TRUE(logged("store unusable", 100));
  WriteConfig(Terminal("gate", sim.tcp_port()));
  kill(pid, SIGHUP);
  EXPECT_TRUE(logged("polling 1 terminals into", 30)) << "SIGHUP was not honoured";
  kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The dashboard over HTTPS as systemd runs it: a renewed certificate is
// served after SIGHUP; a key that cannot be read stops the start, naming it.
TEST_F(CollectorProgramTest, SighupServesTheRenewedCertificate) {
  if (!testing::HaveOpensslAndCurl()) GTEST_SKIP() << "needs openssl and curl";
  for (const char* name : {"first", "second"}) testing::MakeCertificate(dir_.path(), name);
  testing::InstallCertificate(dir_.path(), "first", "served");
  const int port = testing::FreePort();
  const std::string config = WriteConfig(
      "[http]\nlisten = \"127.0.0.1:" + std::to_string(port) + "\"\ntls_cert_file = \"" +
      (dir_ / "served.crt").string() + "\"\ntls_key_file = \"" + (dir_ / "served.key").string() + "\"\n");
  {
    testing::Collector run(config, "run", (dir_ / "run.log").string());
    ASSERT_TRUE(run.WaitForLog("dashboard at https://", std::chrono::seconds(30))) << run.Log();
    EXPECT_NE(testing::CurlHttps(dir_ / "first.crt", port).find("HTTP/1.1 200"), std::string::npos);
    testing::InstallCertificate(dir_.path(), "second", "served");
    run.Signal(SIGHUP);
    ASSERT_TRUE(run.WaitForLog("certificate and key read again", std::chrono::seconds(30))) << run.Log();
    EXPECT_NE(testing::CurlHttps(dir_ / "second.crt", port).find("HTTP/1.1 200"), std::string::npos)
        << run.Log();
    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitForExit(std::chrono::seconds(30)), 0) << run.Log();
  }
  std::filesystem::remove(dir_ / "served.key");
  const auto refused = Collector({"--config", config, "run"});
  EXPECT_EQ(refused.exit_status, 2) << refused.err;
  EXPECT_NE(refused.err.find("tls_key_file " + (dir_ / "served.key").string() + ": cannot read"),
            std::string::npos)
      << refused.err;
}

}  // namespace
}  // namespace tallygate
