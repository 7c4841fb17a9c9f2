// A cardholder's name as a terminal's list holds it. The name field is 8
// bytes of the terminal's code page: a name too long for it is cut, a
// character the code page lacks reads back as '?', and the padding of the
// field is dropped when the list is read. The plan compares the name as it
// will read back, so that such a name is written once, not at every poll.
#ifndef TALLYGATE_COLLECTOR_CARDS_HELD_NAME_H_
#define TALLYGATE_COLLECTOR_CARDS_HELD_NAME_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tallygate/terminal.h"

namespace tallygate::collector {

// A name read from a terminal's list as the store keeps it: without the
// spaces and NULs that pad the name field.
std::string WithoutPadding(std::string name);

struct HeldName {
  std::string enrolled;  // what to enrol: the name cut to whole characters that fit
  std::string listed;    // the list's name once it is enrolled, as the store keeps it
  std::vector<uint8_t> raw;  // the name field's bytes; empty when it cannot be had
};

// `name` on a terminal coded `coding`. A name the terminal cannot take at
// all (not UTF-8; Big5 tables not loaded) stays as it is, so that its
// enrolment is tried and says why it fails.
HeldName HeldNameOf(const std::string& name, NameCoding coding);

// Whether a terminal coded `coding` whose list shows `listed` holds `name`
// as well as it can.
bool HoldsName(const std::string& listed, const std::string& name, NameCoding coding);

}  // namespace tallygate::collector

#endif  // TALLYGATE_COLLECTOR_CARDS_HELD_NAME_H_
