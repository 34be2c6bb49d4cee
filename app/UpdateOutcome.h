#pragma once

#include <string>
#include <vector>

class FirmwareUpdateSession;

// The lines that end one update, as both modes print them: "Firmware
// upgraded!"; for a run stopped by SIGINT or SIGTERM, the one line naming
// the step and what the amplifier is left with; otherwise "Firmware upgrade
// failed! Error code is <code>", followed, when the amplifier is left in its
// bootloader for this image, by a line saying so and that running the
// updater again finishes the update.
std::vector<std::string> updateOutcomeLines(const FirmwareUpdateSession& session, bool ok);

// The line of a run stopped before any bootloader message.
std::string interruptedBeforeTrafficLine();
