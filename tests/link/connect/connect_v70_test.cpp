#include "tallygate/connect_v70.h"

#include <gtest/gtest.h>

#include <fstream>

#include "link/connect/library_paths.h"
#include "link/connect/thread_link.h"
#include "tallygate/code_tables.h"
#include "tallygate/host_services.h"
#include "tests/support/host_capture.h"
#include "tests/support/object_fixture.h"

namespace tallygate {
namespace {

using testing::HostCapture;
using testing::ReadLines;
using testing::RecordingLink;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteFile;

const std::vector<std::string> kDefaults = {"coninputmodebinary", "19200,n,8,1", "2048",
                                            "512", "2", "0"};
constexpr const char* kInitFailed = "Class initialize failed Becaus the Port already opened.";

// A settings folder and a non-Chinese system, with a recording port; each
// test makes its objects itself.
class CreationTest : public ::testing::Test {
 protected:
  std::filesystem::path IniPath() const { return home_ / "TallySystem.ini"; }

  TempDir home_;
  ScopedEnv home_env_{"TALLYGATE_HOME", home_.path().string()};
  ScopedEnv locale_env_{"TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8"};
  RecordingLink link_;
  HostCapture host_;
};

TEST_F(CreationTest, FirstCreationWritesTheDefaultFileAndUsesPortOne) {
  Connect_v70 object;
  EXPECT_EQ(ReadLines(IniPath()), kDefaults);
  EXPECT_EQ(testing::ReadFile(IniPath()).find("\r\n"), std::string("coninputmodebinary").size());
  EXPECT_EQ(object.Mode(), 0);
  EXPECT_EQ(link_.port().CommPort(), 1);
  EXPECT_EQ(link_.port().Settings(), "19200,n,8,1");
  EXPECT_EQ(link_.port().InBufferSize(), 2048);
  EXPECT_EQ(link_.port().OutBufferSize(), 512);
  EXPECT_EQ(link_.port().InputMode(), 1);
  EXPECT_EQ(link_.port().InputLen(), 0);
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_EQ(ThreadLink::Current().address_settings, "19200,n,8,2");
  EXPECT_EQ(ThreadLink::Current().data_settings, "19200,s,8,1");
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(CreationTest, AppliesAnExistingFile) {
  WriteFile(IniPath(), "coninputmodetext\n9600,e,7,1\n  1024xyz\n256\n3.5\n2.5\n");
  Connect_v70 object;
  EXPECT_EQ(link_.port().InputMode(), 0);
  EXPECT_EQ(link_.port().Settings(), "9600,e,7,1");
  EXPECT_EQ(link_.port().InBufferSize(), 1024);
  EXPECT_EQ(link_.port().OutBufferSize(), 256);
  EXPECT_EQ(link_.port().CommPort(), 4) << "3.5 rounds to the even 4";
  EXPECT_EQ(link_.port().InputLen(), 2) << "2.5 rounds to the even 2";
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(CreationTest, UnknownInputModeLineLeavesTheModeAlone) {
  link_.port().SetInputMode(1);
  WriteFile(IniPath(), "something else\r\n19200,n,8,1\r\n2048\r\n512\r\n2\r\n0\r\n");
  Connect_v70 object;
  EXPECT_EQ(link_.port().InputMode(), 1);
  EXPECT_EQ(link_.port().CommPort(), 2);
}

TEST_F(CreationTest, BadFileIsDeletedAfterTheMessage) {
  const char* bad_files[] = {
      "coninputmodebinary\n19200,n,8,1\n2048\n",                // three lines
      "coninputmodebinary\nbogus\n2048\n512\n2\n0\n",           // settings refused
      "coninputmodebinary\n19200,n,8,1\n40000\n512\n2\n0\n",    // beyond 16 bits
      "coninputmodebinary\n19200,n,8,1\n2048\n512\n2\n-32769\n",
  };
  for (const char* contents : bad_files) {
    host_.messages.clear();
    WriteFile(IniPath(), contents);
    Connect_v70 object;
    ASSERT_EQ(host_.messages.size(), 1u) << contents;
    EXPECT_EQ(host_.messages[0].title, "Err:TALLYGATE_v70.dll");
    EXPECT_EQ(host_.messages[0].text, kInitFailed);
    EXPECT_EQ(host_.messages[0].style, TG_MB_OK | TG_MB_ICON_CRITICAL);
    EXPECT_FALSE(std::filesystem::exists(IniPath())) << contents;
  }
  Connect_v70 next;
  EXPECT_EQ(ReadLines(IniPath()), kDefaults) << "the next object writes a fresh file";
}

TEST_F(CreationTest, UnwritableFolderShowsTheMessage) {
  ScopedEnv missing("TALLYGATE_HOME", (home_ / "no" / "such" / "folder").string());
  Connect_v70 object;
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, kInitFailed);
  EXPECT_EQ(object.Mode(), 0);
}

TEST_F(CreationTest, CreationClosesThePortAnotherObjectOpened) {
  Connect_v70 first;
  ASSERT_TRUE(first.SetPort(3));
  ASSERT_TRUE(link_.port().PortOpen());
  Connect_v70 second;
  EXPECT_FALSE(link_.port().PortOpen());
}

TEST_F(CreationTest, EndOfAnObjectClosesThePortButNotTheConnection) {
  link_.socket().state = 7;
  {
    Connect_v70 object;
    ASSERT_TRUE(object.SetPort(2));
  }
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_EQ(link_.socket().state, 7);
}

TEST_F(CreationTest, TraditionalChineseSystemWithoutTablesStopsAfterTheMessage) {
  ScopedEnv locale("TALLYGATE_SYSTEM_LOCALE", "zh_TW.UTF-8");
  Connect_v70 object;
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0].text, "File not find:" + (home_ / "rm.txt").string());
  EXPECT_EQ(object.Mode(), 0);
  EXPECT_FALSE(std::filesystem::exists(IniPath())) << "creation ended before the settings";
}

void WriteTables(const std::filesystem::path& file, int lines) {
  std::ofstream out(file, std::ios::binary);
  for (int i = 0; i < lines; ++i) out << "A1A1\r\n";
}

TEST_F(CreationTest, TraditionalChineseSystemLoadsTheTables) {
  ScopedEnv locale("TALLYGATE_SYSTEM_LOCALE", "zh_TW.UTF-8");
  WriteTables(home_ / "rm.txt", 22936);
  Connect_v70 object;
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(ReadLines(IniPath()), kDefaults);
}

TEST_F(CreationTest, OversizedTablesFailTheCreation) {
  ScopedEnv locale("TALLYGATE_SYSTEM_LOCALE", "zh_TW.UTF-8");
  WriteTables(home_ / "rm.txt", 22937);
  UnloadCodeTablesForTesting();  // an earlier test of this process may have loaded them
  try {
    Connect_v70 object;
    FAIL() << "creation succeeded";
  } catch (const BasicError& error) {
    EXPECT_EQ(error.number(), err::kSubscriptOutOfRange);
    EXPECT_EQ(error.description(), "Subscript out of range");
  }
}

class ObjectPropertiesTest : public testing::ObjectTest {};

TEST_F(ObjectPropertiesTest, VersionAndAbout) {
  const std::string ver = object_->Ver();
  EXPECT_EQ(ver.rfind("V7.4.2 (", 0), 0u) << ver;
  EXPECT_EQ(ver.back(), ')');
  EXPECT_NE(ver.find("20"), std::string::npos) << "the note carries years";
  object_->Ver("mine");
  EXPECT_EQ(object_->Ver(), "mine");

  HostCapture host;
  object_->ShowAbout();
  ASSERT_EQ(host.about.size(), 1u);
  EXPECT_EQ(host.about[0].rfind("About...|", 0), 0u);
}

TEST_F(ObjectPropertiesTest, ModeSelectsTheLineSettings) {
  ThreadLink& link = ThreadLink::Current();
  object_->Mode(1);
  EXPECT_EQ(object_->Mode(), 1);
  EXPECT_EQ(link.address_settings, "19200,n,8,1");
  EXPECT_EQ(link.data_settings, "19200,n,8,1");
  object_->Mode(5);
  EXPECT_EQ(object_->Mode(), 1);
  EXPECT_EQ(link.address_settings, "19200,n,8,1");
  object_->Mode(-1);
  EXPECT_EQ(object_->Mode(), 1);
  object_->Mode(0);
  EXPECT_EQ(link.address_settings, "19200,n,8,2");
  EXPECT_EQ(link.data_settings, "19200,s,8,1");
}

TEST_F(ObjectPropertiesTest, SetPortOpensThePortAndRewritesLineFive) {
  const auto ini = home_ / "TallySystem.ini";
  WriteFile(ini, "coninputmodebinary\r\n19200,n,8,1\r\n2048\r\n512\r\n2\r\n0\r\nseventh\r\n");
  EXPECT_TRUE(object_->SetPort(3));
  EXPECT_TRUE(link_.port().PortOpen());
  EXPECT_EQ(link_.port().CommPort(), 3);
  EXPECT_EQ(ReadLines(ini), (std::vector<std::string>{"coninputmodebinary", "19200,n,8,1", "2048",
                                                       "512", "3", "0"}));
  // A second SetPort closes and reopens.
  EXPECT_TRUE(object_->SetPort(16));
  EXPECT_EQ(link_.port().opens, 2);
  EXPECT_EQ(ReadLines(ini)[4], "16");
}

TEST_F(ObjectPropertiesTest, SetPortOutOfRangeLeavesThePortAlone) {
  ASSERT_TRUE(object_->SetPort(2));
  link_.port().log.clear();
  EXPECT_FALSE(object_->SetPort(0));
  EXPECT_FALSE(object_->SetPort(17));
  EXPECT_FALSE(object_->SetPort(-3));
  EXPECT_TRUE(link_.port().log.empty());
  EXPECT_TRUE(link_.port().PortOpen());
}

TEST_F(ObjectPropertiesTest, SetPortWithoutSettingsFileLeavesThePortOpen) {
  std::filesystem::remove(home_ / "TallySystem.ini");
  EXPECT_FALSE(object_->SetPort(3));
  EXPECT_TRUE(link_.port().PortOpen());
}

TEST_F(ObjectPropertiesTest, SetPortFailsWhenThePortCannotOpen) {
  link_.port().open_error = err::kPortAlreadyOpen;
  EXPECT_FALSE(object_->SetPort(3));
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_EQ(ReadLines(home_ / "TallySystem.ini")[4], "2") << "file untouched";
}

TEST_F(ObjectPropertiesTest, DestoryPortClosesThePort) {
  ASSERT_TRUE(object_->SetPort(3));
  EXPECT_TRUE(object_->DestoryPort());
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_TRUE(object_->DestoryPort()) << "closing a closed port succeeds";
}

TEST_F(ObjectPropertiesTest, SetPortInTcpModeConnectsToTheStoredAddress) {
  object_->Mode(1);
  EXPECT_FALSE(object_->SetPort(1)) << "no IP yet";
  object_->IP("127.0.0.1");
  EXPECT_FALSE(object_->SetPort(1)) << "no port yet";
  EXPECT_TRUE(link_.socket().log.empty());
  object_->tcpPort(4001);
  EXPECT_TRUE(object_->SetPort(1));
  EXPECT_EQ(link_.socket().log, (std::vector<std::string>{"connect 127.0.0.1:4001"}));
  EXPECT_FALSE(link_.port().PortOpen());
  EXPECT_TRUE(object_->DestoryPort());
  EXPECT_EQ(object_->tcpState(), 0);
}

TEST_F(ObjectPropertiesTest, ConnectNetChecksTheAddressText) {
  for (const char* text : {"192.168.1.a", "127.0.0.1 ", " 127.0.0.1", "localhost", "1,2"}) {
    EXPECT_FALSE(object_->Connect_Net(text, 4001)) << text;
  }
  EXPECT_TRUE(link_.socket().log.empty());
  EXPECT_EQ(object_->IP(), "");
  EXPECT_EQ(object_->tcpPort(), 0);
}

TEST_F(ObjectPropertiesTest, ConnectNetDefaultsToPort1001AndReconnects) {
  EXPECT_TRUE(object_->Connect_Net("127.0.0.1"));
  EXPECT_EQ(object_->tcpState(), 7);
  EXPECT_EQ(object_->IP(), "127.0.0.1");
  EXPECT_EQ(object_->tcpPort(), 1001);
  EXPECT_TRUE(object_->Connect_Net("127.0.0.2", 5000));
  EXPECT_EQ(link_.socket().log, (std::vector<std::string>{"connect 127.0.0.1:1001", "close",
                                                           "connect 127.0.0.2:5000"}));
}

TEST_F(ObjectPropertiesTest, ConnectNetTakesIpv6Literals) {
  for (const char* text : {"::1", "fe80::1", "::ffff:127.0.0.1"}) {
    EXPECT_TRUE(object_->Connect_Net(text, 4001)) << text;
  }
  for (const char* text : {":", "::1:", "[::1]", "::1%lo", "1::2::3"}) {
    EXPECT_FALSE(object_->Connect_Net(text, 4001)) << text;
  }
  EXPECT_EQ(link_.socket().log,
            (std::vector<std::string>{"connect ::1:4001", "close", "connect fe80::1:4001", "close",
                                      "connect ::ffff:127.0.0.1:4001"}));
}

TEST_F(ObjectPropertiesTest, FailedConnectKeepsTheNewAddress) {
  link_.socket().connect_result = 9;  // refused
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(object_->Connect_Net("10.0.0.1", 1234));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1))
      << "a refused connection does not wait the full 2 seconds";
  EXPECT_EQ(object_->IP(), "10.0.0.1");
  EXPECT_EQ(object_->tcpPort(), 1234);

  link_.socket().Close();
  link_.socket().connect_result = 6;  // never completes
  EXPECT_FALSE(object_->Connect_Net("10.0.0.2", 1234));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
}

TEST_F(ObjectPropertiesTest, DisconnectNet) {
  EXPECT_TRUE(object_->Disconnect_Net());
  EXPECT_TRUE(link_.socket().log.empty()) << "no Close on a closed socket";
  ASSERT_TRUE(object_->Connect_Net("127.0.0.1", 4001));
  EXPECT_TRUE(object_->Disconnect_Net());
  EXPECT_EQ(object_->tcpState(), 0);
  EXPECT_EQ(link_.socket().log.back(), "close");
}

// A library installed from a package keeps its settings with the user, never
// among the package manager's files; one built or installed elsewhere keeps
// them beside itself.
TEST(SettingsFolderTest, PackageManagerFoldersAreNotTheLibrarys) {
  const struct {
    const char* folder;
    bool package_manager;
  } cases[] = {
      {"/usr/lib/x86_64-linux-gnu", true}, {"/usr/lib", true},        {"/usr", true},
      {"/lib/x86_64-linux-gnu", true},     {"/lib64", true},          {"/usr/local/lib", false},
      {"/usr/local", false},               {"/usrlocal/lib", false},  {"/opt/tallygate/lib", false},
      {"/home/me/build/link", false},      {"/usr/../home/x", false}, {"link", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsPackageManagerFolder(c.folder), c.package_manager) << c.folder;
}

}  // namespace
}  // namespace tallygate
