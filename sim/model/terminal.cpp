#include "sim/model/terminal.h"

#include <string>

#include "sim/model/terminal_commands.h"

namespace tallygate::sim {

Reply Terminal::Handle(const ReceivedFrame& frame) {
  const CommandInfo* info = FindCommand(frame.command());
  if (info == nullptr) return Reply::Silent("unknown command");
  if (frame.frame_length() != info->frame_length) {
    return Reply::Silent("FrameLength " + std::to_string(frame.frame_length()) + ", expected " +
                         std::to_string(info->frame_length));
  }
  if (info->handler == nullptr) return Reply::Silent("not simulated");
  return info->handler(state_, frame);
}

}  // namespace tallygate::sim
