// The dashboard over HTTPS, with certificates the test makes (openssl) and
// curl as the client.
#include "collector/door/tls_context.h"
#include "tests/collector/test_certificates.h"
#include "tests/collector/web/dashboard_fixture.h"

namespace tallygate::collector::web {
namespace {

using testing::CurlHttps;
using testing::WriteFile;

class DashboardHttpsTest : public DashboardServerTest {
 protected:
  void SetUp() override {
    DashboardServerTest::SetUp();
    if (!testing::HaveOpensslAndCurl()) GTEST_SKIP() << "needs openssl and curl";
    testing::MakeCertificate(dir_.path(), "first");
    testing::MakeCertificate(dir_.path(), "second");
    Install("first");
  }

  void ServeHttps() {
    WebOptions options{"127.0.0.1", 0, kToken, database_};
    options.tls_cert_file = (dir_ / "served.crt").string();
    options.tls_key_file = (dir_ / "served.key").string();
    server_ = std::make_unique<WebServer>(options, &metrics_);
    server_->Start();
  }

  std::string Curl(const std::string& ca, const std::string& options = "",
                   const std::string& path = "/healthz") {
    return CurlHttps(dir_ / (ca + ".crt"), server_->port(), options, path);
  }

  void Install(const std::string& name) { testing::InstallCertificate(dir_.path(), name, "served"); }
};

TEST_F(DashboardHttpsTest, PagesApiAndSignInGoOverTlsWithASecureCookie) {
  ServeHttps();
  Attach({"gate-1"});
  const std::string bearer = std::string("-H 'Authorization: Bearer ") + kToken + "'";
  struct Case {
    std::string options, path, expected;
  };
  const Case cases[] = {
      {"", "/healthz", "HTTP/1.1 200"},
      {bearer, "/api/terminals", "\"gate-1\""},
      {bearer, "/metrics", "tallygate_"},
      {"", "/terminals", "HTTP/1.1 401"},
      {"-H 'Origin: https://127.0.0.1:" + std::to_string(server_->port()) +
           "' --data-urlencode 'token=" + kToken + "'",
       "/login", "; HttpOnly; SameSite=Strict; Path=/; Secure"},
  };
  for (const Case& c : cases) {
    const std::string answer = Curl("first", c.options, c.path);
    EXPECT_NE(answer.find(c.expected), std::string::npos) << c.path << "\n" << answer;
  }
  // Another certificate is not this dashboard's; plain HTTP is told to use HTTPS.
  EXPECT_NE(Curl("second").find("curl: (60)"), std::string::npos);
  RawClient plain(server_->port(), "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
  EXPECT_NE(plain.ReadToEnd().find("served over HTTPS: use an https:// address"), std::string::npos);
}

TEST_F(DashboardHttpsTest, AnUnusableCertificateOrKeyStopsTheStartNamingItsFile) {
  WriteFile(dir_ / "garbage.crt", "not a certificate\n");
  struct Case {
    std::string cert, key, named;
  };
  const Case cases[] = {
      {"missing.crt", "first.key", "tls_cert_file " + (dir_ / "missing.crt").string() + ": cannot read"},
      {"garbage.crt", "first.key", "tls_cert_file " + (dir_ / "garbage.crt").string() + ": no certificate"},
      {"first.crt", "missing.key", "tls_key_file " + (dir_ / "missing.key").string() + ": cannot read"},
      {"first.crt", "first.crt", "tls_key_file " + (dir_ / "first.crt").string() + ": no private key"},
      {"first.crt", "second.key", "is not the key of the certificate in tls_cert_file"},
  };
  for (const Case& c : cases) {
    WebOptions options{"127.0.0.1", 0, "", database_};
    options.tls_cert_file = (dir_ / c.cert).string();
    options.tls_key_file = (dir_ / c.key).string();
    WebServer server(options, nullptr);
    try {
      server.Start();
      ADD_FAILURE() << c.cert << " and " << c.key << " were taken";
    } catch (const door::TlsError& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
  }
}

TEST_F(DashboardHttpsTest, AReloadServesTheNewCertificateAndABrokenOneKeepsTheOld) {
  ServeHttps();
  EXPECT_NE(Curl("first").find("HTTP/1.1 "), std::string::npos);
  Install("second");
  server_->ReloadTls();
  EXPECT_NE(Curl("second").find("HTTP/1.1 "), std::string::npos) << "the new one is not served";
  EXPECT_NE(Curl("first").find("curl: (60)"), std::string::npos) << "the old one is served still";
  WriteFile(dir_ / "served.key", "broken\n");
  ::testing::internal::CaptureStderr();
  server_->ReloadTls();
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("no private key"), std::string::npos) << log;
  EXPECT_NE(log.find("the certificate read before is served still"), std::string::npos) << log;
  EXPECT_NE(Curl("second").find("HTTP/1.1 "), std::string::npos);
}

}  // namespace
}  // namespace tallygate::collector::web
