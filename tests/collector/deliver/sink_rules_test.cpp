// The rules a sink lives by: how an answer ends a try, how long it waits
// before the next, the signature a receiver checks, and a folder's names.
#include <gtest/gtest.h>

#include "collector/deliver/folder_sink.h"
#include "collector/deliver/signature.h"
#include "collector/deliver/webhook_sink.h"

namespace tallygate::collector {
namespace {

using namespace std::chrono_literals;
using Verdict = Attempt::Verdict;

TEST(SinkRulesTest, AnAnswerIsDeliveredRetriedOrRefused) {
  const struct {
    long status;
    std::string body;
    Verdict verdict;
    std::string reason;
  } cases[] = {
      {200, "", Verdict::kDelivered, ""},
      {204, "", Verdict::kDelivered, ""},
      {0, "", Verdict::kRetry, "no answer: Connection refused"},
      {408, "", Verdict::kRetry, "HTTP 408"},
      {429, "slow down", Verdict::kRetry, "HTTP 429: slow down"},
      {503, "", Verdict::kRetry, "HTTP 503"},
      {400, "{\"error\":\n\"bad\"}", Verdict::kRefused, "HTTP 400: {\"error\": \"bad\"}"},
      {404, "", Verdict::kRefused, "HTTP 404"},
      {301, "", Verdict::kRefused,
       "HTTP 301 (redirects are not followed: set url to where it leads)"},
  };
  for (const auto& c : cases) {
    HttpAnswer answer{c.status, c.status == 0 ? "Connection refused" : "", c.body, 5s};
    const Attempt attempt = AttemptOf(answer);
    EXPECT_EQ(attempt.verdict, c.verdict) << c.status;
    EXPECT_EQ(attempt.reason, c.reason) << c.status;
    EXPECT_EQ(attempt.retry_after.has_value(), c.verdict == Verdict::kRetry && c.status != 0)
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
