#pragma once

// The emulated amplifier with its command replies and its bootloader:
//  - Get 17 is answered by Data 17 carrying the command-17 string;
//  - Get 35 is answered by the serial number (class serialReplyClass, Data
//    by default), both on the request's session id with a correct checksum;
//  - the bootloader's keyword requests go to its EmulatedBootloader;
//  - the other command requests and channel messages to its AmpCommandSet
//    (a Set 17 or 35 there changes the strings served here);
//  - everything else, the discovery probe among it, to the base.
// Create it with Amplifier::create<K7Amplifier>(config).

#include "emulator/AmpCommandSet.h"
#include "emulator/Amplifier.h"
#include "emulator/EmulatedBootloader.h"

#include <string>

namespace emu
{

// Faults of the command replies (17 and 35).
struct CommandFaults
{
    bool silent = false;       // no reply
    int delayMs = 0;           // the reply is held back this long
    bool badChecksum = false;  // the checksum byte is off by one bit
    bool wrongSession = false; // the reply names the next session id
    bool wrongClass = false;   // the reply's class is Ack (4)
    bool wrongCommand = false; // the reply's command is the request's + 1
    bool overlong = false;     // the reply is a valid frame of more than 1024 bytes
};

class K7Amplifier : public Amplifier
{
public:
    explicit K7Amplifier(Config config = Config());

    void setString17(const std::string& text);
    void setSerialNumber(const std::string& serial);
    void setSerialReplyClass(uint8_t messageClass);
    void setCommandFaults(const CommandFaults& faults);

    EmulatedBootloader& getBootloader() { return bootloader; }
    AmpCommandSet& getCommandSet() { return commandSet; }

protected:
    void handleHostMessage(const std::vector<uint8_t>& message) override;

private:
    mutable std::mutex commandMutex;
    std::string string17 = "K7 Amp";
    std::string serialNumber = "K7AP00012345";
    uint8_t serialReplyClass = 3;
    CommandFaults commandFaults;

    EmulatedBootloader bootloader;
    AmpCommandSet commandSet;
};

} // namespace emu
