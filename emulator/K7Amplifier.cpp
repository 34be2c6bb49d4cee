#include "emulator/K7Amplifier.h"

#include "emulator/AmpFrames.h"

namespace emu
{

namespace
{
constexpr uint8_t commandString17 = 17;
constexpr uint8_t commandSerialNumber = 35;
} // namespace

K7Amplifier::K7Amplifier(Config config) : Amplifier(std::move(config))
{
    commandSet.setStringListener(
        [this](uint8_t command, const std::string& text)
        {
            if (command == commandString17)
                setString17(text);
            else if (command == commandSerialNumber)
                setSerialNumber(text);
        });
}

void K7Amplifier::setString17(const std::string& text)
{
    std::lock_guard<std::mutex> lock(commandMutex);
    string17 = text;
}

void K7Amplifier::setSerialNumber(const std::string& serial)
{
    std::lock_guard<std::mutex> lock(commandMutex);
    serialNumber = serial;
}

void K7Amplifier::setSerialReplyClass(uint8_t messageClass)
{
    std::lock_guard<std::mutex> lock(commandMutex);
    serialReplyClass = messageClass;
}

void K7Amplifier::setCommandFaults(const CommandFaults& faults)
{
    std::lock_guard<std::mutex> lock(commandMutex);
    commandFaults = faults;
}

void K7Amplifier::handleHostMessage(const std::vector<uint8_t>& message)
{
    if (bootloader.handle(message, *this))
        return;

    ParsedFrame frame;
    if (!parseFrame(message, frame) || frame.messageClass != classGet || !frame.payload.empty() ||
        (frame.command != commandString17 && frame.command != commandSerialNumber))
    {
        if (!commandSet.handle(message, *this))
            Amplifier::handleHostMessage(message);
        return;
    }

    std::string text;
    uint8_t replyClass = classData;
    CommandFaults f;
    {
        std::lock_guard<std::mutex> lock(commandMutex);
        f = commandFaults;
        if (frame.command == commandString17)
            text = string17;
        else
        {
            text = serialNumber;
            replyClass = serialReplyClass;
        }
    }
    if (f.silent)
        return;

    std::vector<uint8_t> payload(text.begin(), text.end());
    if (f.overlong)
        payload.assign(1000, 'x'); // packs into a 1150-byte frame
    const uint8_t sessionId = f.wrongSession ? uint8_t((frame.sessionId + 1) % 64) : frame.sessionId;
    std::vector<uint8_t> reply = makeFrame(sessionId, f.wrongClass ? classAck : replyClass,
                                           uint8_t(frame.command + (f.wrongCommand ? 1 : 0)), payload);
    if (f.badChecksum)
        reply[3] ^= 0x01;
    if (f.delayMs > 0)
        schedule(f.delayMs, [this, reply] { this->reply(reply); });
    else
        this->reply(reply);
}

} // namespace emu
