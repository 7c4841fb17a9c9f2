#include "collector/deliver/webhook_sink.h"

#include <random>

#include "collector/deliver/delivered_punch.h"
#include "collector/deliver/signature.h"

namespace tallygate::collector {
namespace {

constexpr size_t kReasonShown = 300;

// 128 random bits in hex: a delivery id no other batch has had.
std::string NewDeliveryId() {
  std::random_device random;
  std::vector<uint8_t> bytes(16);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return LowerHex(bytes);
}

// "HTTP 400: {"error":"..."}", the answer's body on one line and short.
std::string Answered(const HttpAnswer& answer) {
  std::string body;
  for (char c : answer.body.substr(0, kReasonShown)) {
    body += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  }
  if (answer.body.size() > kReasonShown) body += "...";
  return "HTTP " + std::to_string(answer.status) + (body.empty() ? "" : ": " + body);
}

}  // namespace

Attempt AttemptOf(const HttpAnswer& answer) {
  using Verdict = Attempt::Verdict;
  if (answer.status == 0) return {Verdict::kRetry, "no answer: " + answer.error, std::nullopt};
  if (answer.status >= 200 && answer.status < 300) return {Verdict::kDelivered, "", std::nullopt};
  if (answer.status == 408 || answer.status == 429 || answer.status >= 500) {
    return {Verdict::kRetry, Answered(answer), answer.retry_after};
  }
  std::string reason = Answered(answer);
  if (answer.status >= 300 && answer.status < 400) {
    reason += " (redirects are not followed: set url to where it leads)";
  }
  return {Verdict::kRefused, reason, std::nullopt};
}

std::optional<int64_t> WebhookSink::NextBatch(PunchReader& punches, int64_t position) {
  return rows_.Next(follower(), punches, position, config().batch);
}

std::chrono::steady_clock::time_point WebhookSink::Wake() {
  return std::chrono::steady_clock::time_point::max();
}

void WebhookSink::Begin(SinkState& state) { state.batch_id = NewDeliveryId(); }

Attempt WebhookSink::Try(PunchReader& punches, SinkLedger&, SinkState& state) {
  const std::vector<PunchRow>& rows = rows_.Of(punches, state);
  if (rows.empty()) return {};  // nothing left of it in the store
  HttpRequest post;
  post.url = config().url;
  post.body = DeliveryBody(state.batch_id, rows);
  post.timeout = config().timeout;
  post.ca_file = config().ca_file;
  post.stop = stopping();
  post.headers.push_back(std::string(kDeliveryHeader) + ": " + state.batch_id);
  if (!config().secret.empty()) {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    post.headers.push_back(
        std::string(kSignatureHeader) + ": " +
        Signature(config().secret, std::chrono::duration_cast<std::chrono::seconds>(now).count(),
                  post.body));
  }
  const Attempt attempt = AttemptOf(client_.Send(post));
  if (attempt.verdict == Attempt::Verdict::kDelivered) rows_.Clear();
  return attempt;
}

}  // namespace tallygate::collector
