// The library's side of the host services: what it calls when it shows a
// message, shows the about box or waits.
#ifndef TALLYGATE_HOST_H_
#define TALLYGATE_HOST_H_

#include <cstdint>
#include <string_view>

#include "tallygate/host_services.h"

namespace tallygate::host {

// Shows a message box through the host, or writes "TITLE: TEXT" as one line to
// standard error and answers with the default button.
int32_t MessageBox(std::string_view title, std::string_view text, int32_t style);

// Shows the about box through the host, or writes it to standard error.
void ShowAbout(std::string_view caption, std::string_view version_label,
               std::string_view second_label);

// The answer a host without a window gives to a box of `style`: its first
// button.
int32_t DefaultAnswer(int32_t style);

// True when the host has installed an event pump.
bool HasEventPump();

// Lets the host's pending events run; does nothing without a host.
void PumpEvents();

}  // namespace tallygate::host

#endif  // TALLYGATE_HOST_H_
