#include "collector/web/messages.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <utility>

namespace tallygate::collector::web {
namespace {

struct Caption {
  Msg id;
  std::string_view en;
  std::string_view zh;
};

constexpr Caption kCaptions[] = {
    {Msg::kTitle, "Punch collector", "考勤采集"},
    {Msg::kNavTerminals, "Terminals", "考勤机"},
    {Msg::kNavPunches, "Punches", "打卡记录"},
    {Msg::kName, "Name", "名称"},
    {Msg::kEndpoint, "Endpoint", "连接地址"},
    {Msg::kState, "State", "状态"},
    {Msg::kLastPoll, "Last poll", "上次采集"},
    {Msg::kLastSuccess, "Last success", "上次成功"},
    {Msg::kOnTerminal, "Records on terminal", "机内记录"},
    {Msg::kStored, "Punches stored", "已入库"},
    {Msg::kLastError, "Last error", "最近错误"},
    {Msg::kAnswering, "answering", "应答正常"},
    {Msg::kBackingOffUntil, "backing off until %1", "暂缓重试，至 %1"},
    {Msg::kUnreachableSince, "unreachable since %1", "自 %1 起无法连接"},
    {Msg::kBusySince, "busy since %1: another program holds the line", "自 %1 起线路被其他程序占用"},
    {Msg::kNeverPolled, "never polled", "尚未采集"},
    {Msg::kNotConfigured, "no longer configured", "已不在配置中"},
    {Msg::kStaleLegend, "Highlighted: no answer for three poll intervals.",
     "高亮的考勤机已有三个采集周期没有应答。"},
    {Msg::kDelivery, "Delivery onward", "数据转发"},
    {Msg::kSink, "Sink", "去向"},
    {Msg::kBacklog, "To deliver", "待转发"},
    {Msg::kOldestWaiting, "Oldest waiting", "最早待转发"},
    {Msg::kDelivering, "delivering", "正常转发"},
    {Msg::kRetrying, "retrying: %1", "重试中：%1"},
    {Msg::kSinkStopped, "stopped: %1 (mend it, then run: tallygate-collector deliver retry %2)",
     "已停止：%1（修复后运行 tallygate-collector deliver retry %2 恢复）"},
    {Msg::kNotBegun, "not begun", "尚未开始"},
    {Msg::kFrom, "From", "开始日期"},
    {Msg::kTo, "To", "结束日期"},
    {Msg::kTerminal, "Terminal", "考勤机"},
    {Msg::kAllTerminals, "All terminals", "全部考勤机"},
    {Msg::kCard, "Card", "卡号"},
    {Msg::kHolder, "Name", "姓名"},
    {Msg::kSearch, "Search", "查询"},
    {Msg::kDownloadCsv, "Download CSV", "下载 CSV"},
    {Msg::kCardHex, "Card (hex)", "卡号（十六进制）"},
    {Msg::kStaff, "Staff no.", "工号"},
    {Msg::kTime, "Time", "打卡时间"},
    {Msg::kNoPunches, "No punches match.", "没有符合条件的打卡记录。"},
    {Msg::kNextPage, "Older punches", "更早的记录"},
    {Msg::kCardReadAs, "Card read as %1 = %2", "卡号按 %1 = %2 查询"},
    {Msg::kAddress, "Address", "机号"},
    {Msg::kTimeZone, "Time zone", "时区"},
    {Msg::kCollections, "Recent collections", "最近采集"},
    {Msg::kStarted, "Started", "开始时间"},
    {Msg::kOutcome, "Outcome", "结果"},
    {Msg::kAdded, "Punches added", "新增记录"},
    {Msg::kPagesLost, "Pages lost", "丢失页数"},
    {Msg::kError, "Error", "错误"},
    {Msg::kNoCollections, "Not collected yet.", "还没有采集过。"},
    {Msg::kCardList, "Card list", "卡片名单"},
    {Msg::kPosition, "Position", "位置"},
    {Msg::kCardsNever, "The card list has not been collected.", "还没有采集卡片名单。"},
    {Msg::kCardsCollected, "Collected %1", "采集于 %1"},
    {Msg::kPollNow, "Poll now", "立即采集"},
    {Msg::kPollRequested, "Poll requested.", "已请求采集。"},
    {Msg::kPollNotHere, "This collector does not poll %1.", "本采集服务不负责 %1。"},
    {Msg::kComplete, "complete", "完整"},
    {Msg::kPartial, "partial", "不完整"},
    {Msg::kUnreachable, "unreachable", "无法连接"},
    {Msg::kStoreFailed, "store failed", "入库失败"},
    {Msg::kCleared, "cleared", "已清空"},
    {Msg::kBusy, "busy: another program held the line", "线路被其他程序占用"},
    {Msg::kClaimedElsewhere, "polled by another collector", "由另一个采集服务采集"},
    {Msg::kWrongTerminal, "wrong terminal: held", "终端不符，已暂停"},
    {Msg::kAnswersWithMemoryOf,
     "answers with the memory of %1 (address changed?); nothing is stored or written",
     "应答的是 %1 的记录（地址变了？），不采集也不写入"},
    {Msg::kSignIn, "Sign in", "登录"},
    {Msg::kToken, "Access token", "访问令牌"},
    {Msg::kTokenNeeded, "This dashboard asks for its access token.", "请输入访问令牌。"},
    {Msg::kTokenWrong, "That token is not the right one.", "访问令牌不正确。"},
    {Msg::kNoSuchTerminal, "No terminal is named %1.", "没有名为 %1 的考勤机。"},
    {Msg::kStoreDown, "The database does not answer: %1", "数据库没有响应：%1"},
    {Msg::kCrossOrigin, "Refused: the request did not come from this dashboard's own pages.",
     "已拒绝：请求不是从本页面发出的。"},
    {Msg::kNoHost, "Refused: the request has no Host header.", "已拒绝：请求没有 Host 头。"},
    {Msg::kForeignHost,
     "Refused: this dashboard answers only when reached as localhost or by a loopback address, "
     "not as \"%1\".",
     "已拒绝：本页面只接受以 localhost 或本机回环地址访问的请求，不接受“%1”。"},
    {Msg::kDownloadsBusy, "%1 downloads are running already; try again in a moment.",
     "已有 %1 个下载正在进行，请稍后再试。"},
    {Msg::kFeedsBusy, "%1 live feeds are open already; try again in a moment.",
     "已有 %1 个实时推送正在进行，请稍后再试。"},
    {Msg::kBadDate, "%1: \"%2\" is not a date (YYYY-MM-DD)", "%1：“%2”不是日期（YYYY-MM-DD）"},
    {Msg::kBadCard, "%1: \"%2\" is not a card number (decimal digits, or hexadecimal as 0x0012D687)",
     "%1：“%2”不是卡号（十进制数字，或十六进制如 0x0012D687）"},
    {Msg::kBadCursor, "%1: \"%2\" is not a page of this search", "%1：“%2”不是有效的翻页位置"},
    {Msg::kBadLimit, "%1: \"%2\" is not a number from 1 to 1000", "%1：“%2”不是 1 到 1000 之间的数"},
    {Msg::kTooLong, "%1: longer than 200 characters", "%1：超过 200 个字符"},
    {Msg::kBadPunchId, "%1: \"%2\" is not a punch id (a whole number, 0 or more)",
     "%1：“%2”不是打卡记录编号（0 或更大的整数）"},
    {Msg::kLiveNote, "New punches appear at the top as they are stored.",
     "新的打卡记录保存后即显示在最上方。"},
    {Msg::kReadOnly, "Refused: this dashboard only reads; writes need [http] admin_token_file.",
     "已拒绝：本页面只读；修改需要配置 [http] admin_token_file。"},
    {Msg::kAdminNeeded, "Changes need an admin token.", "修改需要管理员令牌。"},
    {Msg::kNotAdmin, "Refused: that token may not change anything.", "已拒绝：该令牌无权修改。"},
    {Msg::kFormStale, "Refused: the form is not this session's (reload the page and try again).",
     "已拒绝：表单不属于本次登录（请刷新页面后重试）。"},
    {Msg::kAdminLogin, "To change anything, %1 with an admin token.", "如需修改，请用管理员令牌%1。"},
    {Msg::kFieldProblem, "%1: %2", "%1：%2"},
    {Msg::kControlCharacter, "%1: has a control character (%2); write it on one line, in plain text",
     "%1：含有控制字符（%2），请只写一行普通文字"},
    {Msg::kNavCardholders, "Cardholders", "持卡人"},
    {Msg::kHolderSearch, "Name, card or staff no.", "姓名、卡号或工号"},
    {Msg::kTerminals, "Terminals", "考勤机"},
    {Msg::kValidFrom, "Valid from", "生效日期"},
    {Msg::kValidUntil, "Valid until", "失效日期"},
    {Msg::kRevoked, "Revoked", "已注销"},
    {Msg::kNoHolders, "No cardholders match.", "没有符合条件的持卡人。"},
    {Msg::kMoreHolders, "More", "更多"},
    {Msg::kInPlace, "in place", "已下发"},
    {Msg::kPendingSince, "%1 pending since %2", "待%1，自 %2"},
    {Msg::kFailedSince, "%1 failed since %2: %3", "%1失败，自 %2：%3"},
    {Msg::kOutOfDates, "not valid today", "今日不在有效期内"},
    {Msg::kNoTerminalHolds, "No terminal may still hold this card.", "已没有考勤机可能保留此卡。"},
    {Msg::kUnknownNeverRead, "unknown: its card list was never read", "未知：从未读取本机卡表"},
    {Msg::kUnknownReadBefore, "unknown: its card list was last read %1, before this change",
     "未知：本机卡表最后读取于 %1，早于此次变更"},
    {Msg::kNoSuchCard, "No cardholder has card %1.", "没有持卡号 %1 的持卡人。"},
    {Msg::kHolderForm, "Change", "修改"},
    {Msg::kSave, "Save", "保存"},
    {Msg::kRevoke, "Revoke the card", "注销此卡"},
    {Msg::kSaved, "Saved.", "已保存。"},
    {Msg::kRevokeDone, "Revoked: the card is taken off every terminal.", "已注销：此卡将从所有考勤机删除。"},
    {Msg::kNotSaved, "Not saved:", "未保存："},
    {Msg::kAddHolder, "Add or replace a cardholder", "添加或替换持卡人"},
    {Msg::kPendingChanges, "Card changes pending", "待下发的卡片变更"},
    {Msg::kNoPending, "Nothing pending: the card list is as wanted.", "没有待下发的变更。"},
    {Msg::kChange, "Change", "变更"},
    {Msg::kReason, "Reason", "原因"},
    {Msg::kSince, "Since", "起始时间"},
    {Msg::kMayStillOpen, "remove: the card may still open this terminal", "删除：此卡仍可能在本机开门"},
    {Msg::kChangeAdd, "add", "添加"},
    {Msg::kChangeRewrite, "rewrite", "改写"},
    {Msg::kChangeRemove, "remove", "删除"},
    {Msg::kNavTimesheet, "Timesheet", "考勤表"},
    {Msg::kGroup, "Group", "分组"},
    {Msg::kAllGroups, "All groups", "全部分组"},
    {Msg::kWorkingDay, "Working day", "工作日"},
    {Msg::kFirstPunch, "First punch", "首次打卡"},
    {Msg::kLastPunch, "Last punch", "末次打卡"},
    {Msg::kPunchCount, "Punches", "打卡次数"},
    {Msg::kSpan, "Span (h:mm)", "间隔（时:分）"},
    {Msg::kNote, "Note", "备注"},
    {Msg::kSinglePunch, "single punch", "仅一次打卡"},
    {Msg::kNoTimesheetRows, "No punches on these days.", "这些日期没有打卡记录。"},
    {Msg::kUndatedApart, "Punches without a valid date, in no working day",
     "日期无效的打卡记录（不属于任何工作日）"},
    {Msg::kRowsCut, "The first %1 rows are shown; the download holds them all.",
     "仅显示前 %1 行；下载的文件包含全部。"},
    {Msg::kDayStarts, "Working days start at %1 on the terminals' clocks.",
     "工作日按考勤机时间从 %1 开始。"},
    {Msg::kFromAfterTo, "%1: \"%2\" is after the last day", "%1：“%2”晚于结束日期"},
    {Msg::kUnknownTerminal, "%1: no terminal \"%2\" in the configuration",
     "%1：配置中没有考勤机“%2”"},
    {Msg::kUnknownGroup, "%1: no terminal has the group \"%2\"", "%1：没有考勤机属于分组“%2”"},
    {Msg::kTerminalOrGroup, "%1: choose a terminal or a group, not both",
     "%1：考勤机和分组只能选一个"},
    {Msg::kChartTitle, "Punches per hour, last seven days", "最近七天每小时打卡次数"},
    {Msg::kChartLabel,
     "Punches per hour from %1 to %2, on the terminals' clocks; the busiest hour had %3.",
     "%1 至 %2 每小时打卡次数（考勤机时间）；最多的一小时 %3 次。"},
    {Msg::kBarTitle, "%1 %2:00: %3 punches", "%1 %2 时：%3 次"},
    {Msg::kPolledBy, "Polled by", "采集服务"},
    {Msg::kUnnamedCollector, "a collector without a name", "未具名的采集服务"},
    {Msg::kRefusedPunches,
     "%1: %2 punches refused by the HR system (after mending the employees there, send them"
     " again: tallygate-collector deliver retry %1 --refused)",
     "%1：%2 条打卡被人事系统拒绝（在人事系统中修正员工后，运行 tallygate-collector deliver"
     " retry %1 --refused 重新发送）"},
    {Msg::kShiftSynced, "Shift Types synced to %1", "班次已同步至 %1"},
    {Msg::kOwner, "Kept by", "维护方"},
    {Msg::kByHand, "by hand", "手工"},
    {Msg::kHolderSources, "Cardholders from the HR system", "人事系统同步的持卡人"},
    {Msg::kSource, "Source", "来源"},
    {Msg::kLastRead, "Last read", "最近读取"},
    {Msg::kSourceMade, "made", "已生效"},
    {Msg::kSourceRefused, "refused: nothing changed", "已拒绝：未作任何更改"},
    {Msg::kSourceFailed, "failed: nothing changed", "读取失败：未作任何更改"},
    {Msg::kSourceHeld, "held for an admin: nothing changed", "等待管理员确认：未作任何更改"},
    {Msg::kReadCounts, "%1 employees: %2 added, %3 changed, %4 revoked",
     "%1 名员工：新增 %2，变更 %3，撤销 %4"},
    {Msg::kHeldRevocations,
     "%1: the read would revoke %2 holders, more than its limit of %3",
     "%1：本次读取将撤销 %2 名持卡人，超过上限 %3"},
    {Msg::kConfirmRead, "Confirm these revocations", "确认这些撤销"},
    {Msg::kReadConfirmed, "Confirmed: the HR system's read was made", "已确认：人事系统的读取已生效"},
    {Msg::kSkippedEmployees, "%1: employees skipped (no card)", "%1：已跳过的员工（无卡号）"},
};

constexpr bool EveryCaptionInPlace() {
  for (size_t i = 0; i < std::size(kCaptions); ++i) {
    if (static_cast<size_t>(kCaptions[i].id) != i) return false;
  }
  return std::size(kCaptions) == static_cast<size_t>(Msg::kCount);
}
static_assert(EveryCaptionInPlace(), "kCaptions lists every Msg once, in order");

// The q value of one Accept-Language entry ("zh-CN;q=0.8"); 1 without one.
double Quality(std::string_view entry) {
  const size_t q = entry.find(";q=");
  if (q == std::string_view::npos) return 1.0;
  return std::strtod(std::string(entry.substr(q + 3)).c_str(), nullptr);
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

Language LanguageFor(std::string_view accept_language) {
  // Each language's first entry: its q value, and its place (negated, so
  // that a greater pair is the preferred one).
  std::optional<std::pair<double, int>> zh, en;
  int place = 0;
  while (!accept_language.empty()) {
    const size_t comma = accept_language.find(',');
    const std::string_view entry = Trimmed(accept_language.substr(0, comma));
    accept_language = comma == std::string_view::npos ? "" : accept_language.substr(comma + 1);
    const std::string_view tag = entry.substr(0, std::min(entry.find(';'), entry.find('-')));
    --place;
    std::optional<std::pair<double, int>>* slot = tag == "zh" || tag == "ZH" ? &zh
                                  : tag == "en" || tag == "EN" ? &en : nullptr;
    if (slot == nullptr || slot->has_value()) continue;
    const double quality = Quality(entry);
    if (quality > 0) *slot = std::pair(quality, place);
  }
  return zh && (!en || *zh > *en) ? Language::kChinese : Language::kEnglish;
}

const char* LanguageTag(Language language) {
  return language == Language::kChinese ? "zh-CN" : "en";
}

std::string_view Text(Language language, Msg id) {
  const Caption& caption = kCaptions[static_cast<size_t>(id)];
  return language == Language::kChinese ? caption.zh : caption.en;
}

std::string Fill(Language language, Msg id, const std::vector<std::string_view>& values) {
  const std::string_view text = Text(language, id);
  std::string out;
  for (size_t at = 0; at < text.size(); ++at) {
    const size_t index = text[at] == '%' && at + 1 < text.size()
                             ? static_cast<size_t>(text[at + 1] - '1')
                             : values.size();
    if (index < values.size()) {
      out += values.begin()[index];
      ++at;
    } else {
      out += text[at];
    }
  }
  return out;
}

}  // namespace tallygate::collector::web
