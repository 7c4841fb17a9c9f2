#include "collector/cards/held_name.h"

namespace tallygate::collector {

std::string WithoutPadding(std::string name) {
  while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
  return name;
}

HeldName HeldNameOf(const std::string& name, NameCoding coding) {
  const Result<HeldCardName> held = HoldCardName(name, coding);
  if (!held) return {name, name, {}};
  return {held->enrolled, WithoutPadding(held->name), {held->raw.begin(), held->raw.end()}};
}

bool HoldsName(const std::string& listed, const std::string& name, NameCoding coding) {
  // Most names read back as they are: the conversion is spared for them.
  return listed == name || listed == HeldNameOf(name, coding).listed;
}

}  // namespace tallygate::collector
