// The count query shared by the count methods and the collections.
#ifndef TALLYGATE_LINK_CONNECT_RECORD_COUNTS_H_
#define TALLYGATE_LINK_CONNECT_RECORD_COUNTS_H_

#include <cstdint>
#include <string>

#include "link/connect/connect_v70_state.h"

namespace tallygate {

// Asks terminal `varAddr` for page 0 of `spec` (the record or card-list
// count). False with `count` 0 when there is no valid answer; a wrong command
// echo also sets `*description` (when given) to "Date Error". Throws
// "Overflow" for a count the terminal cannot hold (high byte 0x80 or more)
// and for an address outside 0 to 255.
bool QueryCount(Connect_v70::State& state, int16_t varAddr, const CommandSpec& spec,
                int32_t& count, std::string* description);

}  // namespace tallygate

#endif  // TALLYGATE_LINK_CONNECT_RECORD_COUNTS_H_
