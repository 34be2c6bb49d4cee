#include "app/UpdateOutcome.h"

#include "device/FirmwareUpdateSession.h"
#include "device/SessionError.h"

namespace
{

using StopPoint = FirmwareUpdateSession::StopPoint;

// Where an amplifier left in its bootloader is, after "the" or "The".
const std::string inBootloader =
    " amplifier is in its bootloader; running the updater again finishes the update";

// The one line of a run stopped by SIGINT or SIGTERM: the step, and what
// the amplifier is left with.
std::string interruptedLine(StopPoint point, int blocksWritten, int blockCount, bool leftInBootloader)
{
    std::string step;
    switch (point)
    {
        case StopPoint::None:
        case StopPoint::BeforeTraffic:
            step = "before anything was sent to the bootloader";
            break;
        case StopPoint::Switching:
            step = "while switching to the bootloader";
            break;
        case StopPoint::Restarting:
            step = "while waiting for the amplifier to restart";
            break;
        case StopPoint::Writing:
            step = blocksWritten == 0 ? "before writing block 1 of " + std::to_string(blockCount)
                                      : "after writing block " + std::to_string(blocksWritten) + " of " +
                                            std::to_string(blockCount);
            break;
        case StopPoint::ComingBack:
            return "Update interrupted after the last block while waiting for the amplifier to come back: "
                   "every block was written and the amplifier was told to start the new firmware";
    }
    return "Update interrupted " + step + ": " +
           (leftInBootloader ? "the" + inBootloader : "the amplifier is unchanged");
}

} // namespace

std::string interruptedBeforeTrafficLine()
{
    return interruptedLine(StopPoint::BeforeTraffic, 0, 0, false);
}

std::vector<std::string> updateOutcomeLines(const FirmwareUpdateSession& session, bool ok)
{
    if (ok)
        return {"Firmware upgraded!"};
    if (session.stoppedAt != StopPoint::None)
        return {interruptedLine(session.stoppedAt, session.blocksWritten, session.blockCount,
                                session.inBootloader)};
    std::vector<std::string> lines{"Firmware upgrade failed! Error code is " + std::to_string(session.error)};
    // An image refused for this amplifier would be refused again.
    if (session.inBootloader && session.error != SessionError::FileOpenFailed)
        lines.push_back("The" + inBootloader);
    return lines;
}
