// The rules a sink lives by: how an answer ends a try, how long it waits
// before the next, the signature a receiver checks, and a folder's names.
#include <gtest/gtest.h>

#include "collector/deliver/folder_sink.h"
#include "collector/deliver/signature.h"
#include "collector/deliver/webhook_sink.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using Result = Attempt::Result;

TEST(SinkRulesTest, AnAnswerIsDeliveredRetriedOrRefused) {
  const struct {
    long status;
    std::string body;
    Result result;
    std::string reason;
  } cases[] = {
      {200, "", Result::kDelivered, ""},
      {204, "", Result::kDelivered, ""},
      {0, "", Result::kRetry, "no answer: Connection refused"},
      {408, "", Result::kRetry, "HTTP 408"},
      {429, "slow down", Result::kRetry, "HTTP 429: slow down"},
      {503, "", Result::kRetry, "HTTP 503"},
      {400, "{\"error\":\n\"bad\"}", Result::kRefused, "HTTP 400: {\"error\": \"bad\"}"},
      {404, "", Result::kRefused, "HTTP 404"},
      {301, "", Result::kRefused,
       "HTTP 301 (redirects are not followed: set url to where it leads)"},
  };
  for (const auto& c : cases) {
    HttpAnswer answer{c.status, c.status == 0 ? "Connection refused" : "", c.body, 5s};
    const Attempt attempt = AttemptOf(answer);
    EXPECT_EQ(attempt.result, c.result) << c.status;
    EXPECT_EQ(attempt.reason, c.reason) << c.status;
    EXPECT_EQ(attempt.retry_after.has_value(), c.result == Result::kRetry && c.status != 0)
        << c.status;
  }
}

TEST(SinkRulesTest, BackoffDoublesUpToTenMinutesAndHonoursRetryAfter) {
  EXPECT_EQ(RetryWait(1, std::nullopt), 1s);
  EXPECT_EQ(RetryWait(2, std::nullopt), 2s);
  EXPECT_EQ(RetryWait(5, std::nullopt), 16s);
  EXPECT_EQ(RetryWait(11, std::nullopt), 600s);
  EXPECT_EQ(RetryWait(1000, std::nullopt), 600s);
  EXPECT_EQ(RetryWait(1, 30s), 30s);
  EXPECT_EQ(RetryWait(6, 3s), 32s);
  EXPECT_EQ(RetryWait(1, 100000s), 3600s);
}

TEST(SinkRulesTest, TheSignatureIsTheKnownHmacOfTimeAndBody) {
  // RFC 4231, test case 2.
  EXPECT_EQ(HmacSha256Hex("Jefe", "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(Signature("Jefe", 1765270800, "{}"),
            "t=1765270800,v1=" + HmacSha256Hex("Jefe", "1765270800.{}"));
}

TEST(SinkRulesTest, AFileIsNamedAfterItsPeriodsStart) {
  const auto at = std::chrono::sys_days{2026y / 12 / 9} + 13h + 5min + 7s;
  const std::chrono::seconds local = at.time_since_epoch();
  EXPECT_EQ(PeriodFileName("hr", local, 24h, false), "hr-20261209.csv");
  EXPECT_EQ(PeriodFileName("hr", local, 1h, true), "hr-20261209-1305.jsonl");
  EXPECT_EQ(PeriodFileName("hr", local, 10s, false), "hr-20261209-130507.csv");
}

}  // namespace
}  // namespace tallygate::collector
