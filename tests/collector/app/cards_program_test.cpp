// tallygate-collector cards as facilities staff use it: a bad file refused
// whole with each bad line named, a dry run that shows each terminal's plan
// and changes nothing, an import, a revocation and what show tells.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "collector/store/store.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate::collector {
namespace {

using testing::RunProgram;

class CardsProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(config_) << "database = \"sqlite:" << db_.string() << "\"\n"
                           << "[[terminal]]\nname = \"gate-1\"\ntcp = \"127.0.0.1:9\"\n"
                           << "groups = [\"gates\"]\n"
                           << "[[terminal]]\nname = \"canteen-1\"\ntcp = \"127.0.0.1:10\"\n"
                           << "groups = [\"canteen\"]\n";
  }

  testing::ProgramResult Cards(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--config", config_.string(), "cards"};
    all.insert(all.end(), args.begin(), args.end());
    return RunProgram(TALLYGATE_COLLECTOR_PATH, all);
  }

  std::string File(const std::string& name, const std::string& text) {
    const std::filesystem::path path = dir_.path() / name;
    std::ofstream(path) << text;
    return path.string();
  }

  testing::TempDir dir_;
  std::filesystem::path config_ = dir_.path() / "collector.toml";
  std::filesystem::path db_ = dir_.path() / "punches.db";
};

TEST_F(CardsProgramTest, ABadFileIsRefusedWholeWithEachBadLine) {
  const std::string file = File("hr.csv",
                                "card,staff,name,terminals\n"
                                "1234567,1024,张三,gates\n"
                                "0x12D687,1025,李四,gates\n"
                                "77,1026,张三李四王五,canteen\n"
                                "78,1027,Ann,lobby\n");
  const auto result = Cards({"import", file});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_EQ(result.ErrLines(),
            (std::vector<std::string>{
                file + ":3: card 1234567 is on line 2 with another holder",
                file + ":4: name \"张三李四王五\" takes 12 bytes in GBK, more than the terminal's 8",
                file + ":5: unknown terminal or group 'lobby'"}));
  EXPECT_FALSE(std::filesystem::exists(db_)) << "the store was not even opened";
}

TEST_F(CardsProgramTest, AddTrimsTheNameAndStaffNumberAndRefusesAControlCharacter) {
  const auto refused = Cards({"add", "6", "--staff", "6", "--name", "Ann\tLee", "--terminals", "*"});
  EXPECT_EQ(refused.exit_status, 2);
  EXPECT_EQ(refused.err,
            "tallygate-collector: cards add: name \"Ann\\u0009Lee\" has a control character (U+0009)\n");
  ASSERT_EQ(Cards({"add", "5", "--staff", " 12 ", "--name", " Ann ", "--terminals", "*"}).exit_status, 0);
  const std::optional<Cardholder> kept = OpenStore(db_.string())->FindCardholder(5);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->staff + "/" + kept->name, "12/Ann");
}

TEST_F(CardsProgramTest, DryRunShowsThePlanThenImportAndRevokeAreAudited) {
  {
    const auto store = OpenStore(db_.string());
    store->SaveTerminal({"gate-1", "tcp://127.0.0.1:9", 1, "UTC"});
    store->ReplaceCards("gate-1",
                        std::vector<CardEntry>{{0, 1234567, "00001024", "Old", {}},
                                               {1, 5, "00000005", "Hand", {}}},
                        UtcTime{});
  }
  const std::string file = File("hr.csv",
                                "terminals,card,name,staff\n"
                                "gates;canteen,0x0012D687,张三,1024\n"
                                "*,7654321,Ann,1025\n");
  const auto dry = Cards({"import", file, "--dry-run"});
  EXPECT_EQ(dry.exit_status, 0) << dry.err;
  EXPECT_EQ(dry.OutLines(),
            (std::vector<std::string>{
                "dry run, nothing changed: 2 added, 0 changed, 0 revoked",
                "gate-1: 1 to add, 0 to remove, 1 to rewrite",
                "  add     0074CBB1 (7654321)  staff 00001025  \"Ann\"",
                "  rewrite 0012D687 (1234567)  staff 00001024  \"张三\"",
                "  unknown 00000005 (5)  staff 00000005  \"Hand\"",
                "canteen-1: 2 to add, 0 to remove, 0 to rewrite (its card list was never collected)",
                "  add     0012D687 (1234567)  staff 00001024  \"张三\"",
                "  add     0074CBB1 (7654321)  staff 00001025  \"Ann\""}));
  EXPECT_TRUE(OpenStore(db_.string())->Cardholders().empty());

  EXPECT_EQ(Cards({"import", file}).out, file + ": 2 added, 0 changed, 0 revoked\n");
  EXPECT_EQ(Cards({"remove", "7654321"}).exit_status, 0);
  const auto shown = Cards({"show", "7654321"});
  EXPECT_NE(shown.out.find("revoked    "), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find(" cli revoke 0074CBB1 (7654321): revoked: staff 1025"), std::string::npos)
      << shown.out;
  EXPECT_NE(shown.out.find(" " + file + " add 0074CBB1 (7654321)"), std::string::npos) << shown.out;
  const auto kept = Cards({"show", "1234567"});
  EXPECT_NE(kept.out.find("  gate-1: pending: rewrite since "), std::string::npos)
      << kept.out;

  // A terminal still holding the revoked card says so at once, with no
  // service running.
  {
    const auto store = OpenStore(db_.string());
    store->SaveTerminal({"canteen-1", "tcp://127.0.0.1:10", 1, "UTC"});
    store->ReplaceCards("canteen-1", std::vector<CardEntry>{{0, 7654321, "00001025", "Ann", {}}},
                        UtcTime{});
  }
  EXPECT_EQ(Cards({"remove", "7654321"}).out, "nothing changed: the card lists were already so\n");
  const auto status = RunProgram(TALLYGATE_COLLECTOR_PATH, {"--config", config_.string(), "status"});
  EXPECT_NE(status.out.find("canteen-1: card 7654321 remove (revoked) pending since "),
            std::string::npos)
      << status.out;
  EXPECT_NE(status.out.find("the card may still open this terminal"), std::string::npos);
}

}  // namespace
}  // namespace tallygate::collector
