// A loopback TCP port nothing listens on just now, for a server a test
// starts (a database, the collector's dashboard).
#ifndef TALLYGATE_TESTS_SUPPORT_FREE_PORT_H_
#define TALLYGATE_TESTS_SUPPORT_FREE_PORT_H_

namespace tallygate::testing {

// Throws std::runtime_error when no port can be had.
int FreePort();

}  // namespace tallygate::testing

#endif  // TALLYGATE_TESTS_SUPPORT_FREE_PORT_H_
