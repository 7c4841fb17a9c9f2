// Certificates a test makes for the dashboard's HTTPS (openssl), and curl,
// both run as programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace tallygate::testing {

// What `command` printed (standard output and error).
inline std::string CommandOutput(const std::string& command) {
  std::string text;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  char buffer[4096];
  while (size_t got = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  pclose(pipe);
  return text;
}

// Whether openssl and curl can be run.
inline bool HaveOpensslAndCurl() {
  return CommandOutput("command -v openssl && command -v curl").find("curl") != std::string::npos;
}

// A self-signed certificate for 127.0.0.1 and its key: NAME.crt and NAME.key in `dir`.
inline void MakeCertificate(const std::filesystem::path& dir, const std::string& name) {
  const std::string made = CommandOutput(
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -subj /CN=" +
      name + " -addext subjectAltName=IP:127.0.0.1 -keyout " + (dir / (name + ".key")).string() +
      " -out " + (dir / (name + ".crt")).string());
  ASSERT_TRUE(std::filesystem::exists(dir / (name + ".crt"))) << made;
}

// Copies NAME.crt and NAME.key in `dir` over AS.crt and AS.key.
inline void InstallCertificate(const std::filesystem::path& dir, const std::string& name,
                               const std::string& as) {
  for (const char* kind : {".crt", ".key"}) {
    std::filesystem::copy_file(dir / (name + kind), dir / (as + kind),
                               std::filesystem::copy_options::overwrite_existing);
  }
}

// curl's whole answer (status line, headers, body) to `options` on
// https://127.0.0.1:PORT`path`, trusting the certificate `ca` only.
inline std::string CurlHttps(const std::filesystem::path& ca, int port, const std::string& options = "",
                             const std::string& path = "/healthz") {
  return CommandOutput("curl -sS -i --max-time 20 --cacert " + ca.string() + " " + options +
                       " https://127.0.0.1:" + std::to_string(port) + path);
}

}  // namespace tallygate::testing
