// Every caption of the dashboard, in English and Chinese, in one table;
// the language is the one the browser's Accept-Language prefers.
#ifndef TALLYGATE_COLLECTOR_WEB_MESSAGES_H_
#define TALLYGATE_COLLECTOR_WEB_MESSAGES_H_

#include <string>
#include <string_view>
#include <vector>

namespace tallygate::collector::web {

enum class Language { kEnglish, kChinese };

// Chinese when Accept-Language ranks a zh tag above every en tag (its
// q value, then its place); English otherwise.
Language LanguageFor(std::string_view accept_language);

// "en" or "zh-CN", for <html lang>.
const char* LanguageTag(Language language);

enum class Msg {
  kTitle, kNavTerminals, kNavPunches,
  kName, kEndpoint, kState, kLastPoll, kLastSuccess, kOnTerminal, kStored, kLastError,
  kAnswering, kBackingOffUntil, kUnreachableSince, kBusySince, kNeverPolled, kNotConfigured,
  kStaleLegend,
  kDelivery, kSink, kBacklog, kOldestWaiting, kDelivering, kRetrying, kSinkStopped, kNotBegun,
  kFrom, kTo, kTerminal, kAllTerminals, kCard, kHolder, kSearch, kDownloadCsv,
  kCardHex, kStaff, kTime, kNoPunches, kNextPage, kCardReadAs,
  kAddress, kTimeZone, kCollections, kStarted, kOutcome, kAdded, kPagesLost, kError,
  kNoCollections, kCardList, kPosition, kCardsNever, kCardsCollected, kPollNow,
  kPollRequested, kPollNotHere,
  kComplete, kPartial, kUnreachable, kStoreFailed, kCleared, kBusy, kClaimedElsewhere,
  kWrongTerminal, kAnswersWithMemoryOf,
  kSignIn, kToken, kTokenNeeded, kTokenWrong,
  kNoSuchTerminal, kStoreDown, kCrossOrigin, kNoHost, kForeignHost, kDownloadsBusy, kFeedsBusy,
  kBadDate, kBadCard, kBadCursor, kBadLimit, kTooLong, kBadPunchId, kLiveNote,
  kReadOnly, kAdminNeeded, kNotAdmin, kFormStale, kAdminLogin, kFieldProblem, kControlCharacter,
  kNavCardholders, kHolderSearch, kTerminals, kValidFrom, kValidUntil, kRevoked, kNoHolders,
  kMoreHolders, kInPlace, kPendingSince, kFailedSince, kOutOfDates, kNoTerminalHolds,
  kUnknownNeverRead, kUnknownReadBefore,
  kNoSuchCard, kHolderForm, kSave, kRevoke, kSaved, kRevokeDone, kNotSaved, kAddHolder,
  kPendingChanges, kNoPending, kChange, kReason, kSince, kMayStillOpen,
  kChangeAdd, kChangeRewrite, kChangeRemove,
  kNavTimesheet, kGroup, kAllGroups, kWorkingDay, kFirstPunch, kLastPunch, kPunchCount, kSpan,
  kNote, kSinglePunch, kNoTimesheetRows, kUndatedApart, kRowsCut, kDayStarts, kFromAfterTo,
  kUnknownTerminal, kUnknownGroup, kTerminalOrGroup, kChartTitle, kChartLabel, kBarTitle,
  kPolledBy, kUnnamedCollector,
  kRefusedPunches, kShiftSynced,
  kOwner, kByHand, kHolderSources, kSource, kLastRead, kSourceMade, kSourceRefused,
  kSourceFailed, kSourceHeld, kReadCounts, kHeldRevocations, kConfirmRead, kReadConfirmed,
  kSkippedEmployees,
  kCount  // not a caption
};

// The caption; "%1", "%2" mark where values go.
std::string_view Text(Language language, Msg id);

// The caption as plain text with %1, %2 replaced by `values`.
std::string Fill(Language language, Msg id, const std::vector<std::string_view>& values);

}  // namespace tallygate::collector::web

#endif  // TALLYGATE_COLLECTOR_WEB_MESSAGES_H_
