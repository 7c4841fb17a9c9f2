#include "collector/web/card_state_text.h"

#include "collector/web/html.h"

namespace tallygate::collector::web {

std::string ChangeHtml(CardChange change, Language language) {
  switch (change) {
    case CardChange::kAdd: return Caption(language, Msg::kChangeAdd);
    case CardChange::kRewrite: return Caption(language, Msg::kChangeRewrite);
    case CardChange::kRemove: return "<strong class=\"removal\">" + Caption(language, Msg::kMayStillOpen) + "</strong>";
  }
  return "";
}

std::string PlaceHtml(const TerminalCard& place, Language language) {
  if (place.place == CardPlace::kUnknown) {
    return place.list_collected
               ? Caption(language, Msg::kUnknownReadBefore, {TimeHtml(place.list_collected)})
               : Caption(language, Msg::kUnknownNeverRead);
  }
  if (!place.pending) {
    return Caption(language, place.place == CardPlace::kOutOfDates ? Msg::kOutOfDates : Msg::kInPlace);
  }
  const PendingCard& pending = *place.pending;
  const std::string change = ChangeHtml(pending.change, language);
  const std::string since = TimeHtml(pending.since);
  if (place.place == CardPlace::kFailed) {
    return Caption(language, Msg::kFailedSince, {change, since, Escape(pending.error)});
  }
  return Caption(language, Msg::kPendingSince, {change, since});
}

}  // namespace tallygate::collector::web
