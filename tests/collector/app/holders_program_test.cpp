// `tallygate-collector holders plan|confirm NAME` and `status` against a
// fake Frappe HR site: a plan changes nothing, a confirmation with nothing
// held is refused, and a held read shows in `status` until confirmed.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "collector/holders/holder_source.h"
#include "collector/store/store.h"
#include "fakes/hr/fake_frappe.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/run_program.h"

namespace tallygate::collector {
namespace {

using testing::RunProgram;

TEST(HoldersProgramTest, PlanChangesNothingAndConfirmMakesWhatWasHeld) {
  testing::TempDir dir;
  fakes::FakeFrappe site;
  for (int n = 1; n <= 3; ++n) {
    site.AddEmployee({"HR-EMP-" + std::to_string(n),
                      {{"attendance_device_id", std::to_string(100 + n)},
                       {"employee_number", std::to_string(n)}}});
  }
  const std::string database = "sqlite:" + (dir / "punches.db").string();
  const std::filesystem::path file = dir / "collector.toml";
  std::ofstream(dir / "key") << "the-key\n";
  std::ofstream(dir / "secret") << "the-secret\n";
  std::ofstream(file) << "database = \"" << database
                      << "\"\n[[terminal]]\nname = \"gate-1\"\ntcp = \"127.0.0.1:9\"\n"
                         "[[holders_from]]\nname = \"erp\"\nkind = \"erpnext\"\nurl = \""
                      << site.url() << "\"\napi_key_file = \"" << (dir / "key").string()
                      << "\"\napi_secret_file = \"" << (dir / "secret").string()
                      << "\"\ndefault_groups = [\"gate-1\"]\nmax_revoke = 1\n";
  const std::unique_ptr<Store> store = OpenStore(database);
  const CollectorConfig config = LoadConfig(file);
  const auto scheduled_read = [&] {
    return RunHolderSource(config.holder_sources[0], *store, CardTerminals(config),
                           std::chrono::local_days{std::chrono::year{2026} / 12 / 10},
                           SourceMode::kRead, {})
        .read.outcome;
  };
  const struct {
    std::function<void()> before;
    std::vector<std::string> words;
    int exit_status;
    std::string says;  // on standard output or standard error
  } steps[] = {
      {nullptr, {"holders", "plan", "erp"}, 0, "  would add card 101: staff 1,"},
      {nullptr, {"holders", "plan", "hr"}, 2, "no [[holders_from]] named \"hr\""},
      {nullptr, {"holders", "confirm", "erp"}, 2, "holder source erp holds no read to confirm"},
      {[&] {
         EXPECT_TRUE(store->Cardholders().empty()) << "neither changed anything";
         EXPECT_EQ(scheduled_read(), SourceRead::Outcome::kMade);
         site.SetStatus("HR-EMP-1", "Left");
         site.SetStatus("HR-EMP-2", "Left");
       },
       {"holders", "plan", "erp"}, 2, "    held: 2 revocations, over the limit of 1"},
      {[&] { EXPECT_EQ(scheduled_read(), SourceRead::Outcome::kHeld); },
       {"status"}, 0, "  erp: held at "},
      {nullptr, {"status"}, 0, "      revoke card 102 staff 2\n"},
      {nullptr, {"holders", "confirm", "erp"}, 0, "  revoke card 101: "},
      {nullptr, {"status"}, 0, "0 added, 0 changed, 2 revoked"},
  };
  for (const auto& step : steps) {
    if (step.before) step.before();
    std::vector<std::string> words = {"--config", file.string()};
    words.insert(words.end(), step.words.begin(), step.words.end());
    const testing::ProgramResult result = RunProgram(TALLYGATE_COLLECTOR_PATH, words);
    EXPECT_EQ(result.exit_status, step.exit_status) << step.says << ": " << result.err;
    const std::string said = result.out + result.err;
    EXPECT_NE(said.find(step.says), std::string::npos) << said;
  }
  EXPECT_TRUE(store->FindCardholder(102)->revoked);
  EXPECT_FALSE(store->FindCardholder(103)->revoked);
}

}  // namespace
}  // namespace tallygate::collector
