// The whole firmware update (status, switch, restart, info, name check,
// blocks, restart, confirmation) against a scripted amplifier whose every
// answer the input decides: a reply, none, one damaged or cut by a channel
// message, a stale copy of an earlier one, noise around it; status writes
// that do not take, an info block that stays old; restarts after which it
// does not come back, or another amplifier of the same name, still running
// its firmware, answers in its place.
//
// What must hold whatever the amplifier does:
//  - no block goes to an amplifier that is not in its bootloader;
//  - a run that succeeds wrote every block, each stored on a reply of its
//    own with result 1, to the amplifier that was switched, and that
//    amplifier came back running the image's firmware version.
// The amplifier's status replies tell the truth: the host has nothing else
// to go by. Stale replies are only sent by an amplifier that echoes offsets:
// on one that does not, they cannot be told from the answer (a documented
// limit). Neither can an echoing amplifier's replies while no two that
// arrived whole have named different blocks: the last check holds once they
// have.
#include "device/FirmwareUpdateSession.h"
#include "device/MVDevice.h"
#include "tests/device/ScriptedDevice.h"
#include "tests/device/TestFirmwareImage.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace
{

using testing_device::Bytes;
using testing_device::keywordMessage;
using testing_device::pack7;
using testing_device::startsWith;
using testing_device::unpack7;

constexpr size_t infoOffset = 0x400;
constexpr size_t infoSize = 84;

struct Amplifier
{
    uint8_t status = 1;
    Bytes info;
    Bytes flash;
};

// The amplifiers behind the one scripted device: the one the update began
// with, and another of the same name that may answer after a restart.
struct Script
{
    FuzzedDataProvider& input;
    testing_device::ScriptedDevice& device;
    const Bytes& image;
    Amplifier first;
    Amplifier other; // still running its firmware
    Amplifier* current = &first;
    bool echoes = true;
    uint8_t fixedOffset[4] = {0, 0, 0, 0};
    std::vector<Bytes> repliesSent; // "RetWriteFlash" sent so far
    std::set<uint32_t> blocksNamed; // by replies of their own that arrived whole
    bool infoStaysOld = false;

    void deliver(const Bytes& bytes) { device.deliver(bytes); }

    void noise()
    {
        const Bytes channelMessages[] = {
            {0xB0, 0x07, 0x64}, {0xC0, 0x05}, {0x90, 0x3C}, {0xF8}, {0x12, 0x34}};
        for (int n = input.ConsumeIntegralInRange(0, 2); n > 0; --n)
            deliver(channelMessages[input.ConsumeIntegralInRange<size_t>(0, 4)]);
    }

    // A reply whole, or cut by a controller somewhere inside its SysEx.
    void reply(const Bytes& message, bool cut)
    {
        if (!cut || message.size() < 3)
        {
            deliver(message);
            return;
        }
        const size_t at = input.ConsumeIntegralInRange<size_t>(1, message.size() - 2);
        deliver(Bytes(message.begin(), message.begin() + long(at)));
        deliver({0xB0, 0x07, 0x01});
        deliver(Bytes(message.begin() + long(at), message.end()));
    }

    void handle(const Bytes& m)
    {
        Amplifier& amp = *current;
        if (m == keywordMessage("GetFwStatus"))
        {
            switch (input.ConsumeIntegralInRange(0, 3))
            {
                case 0:
                    deliver(keywordMessage("RetFwStatus", {amp.status}));
                    break;
                case 1:
                    break; // no reply
                case 2:
                    noise();
                    deliver(keywordMessage("RetFwStatus", {amp.status}));
                    noise();
                    break;
                default:
                    reply(keywordMessage("RetFwStatus", {amp.status}), true);
                    break;
            }
        }
        else if (m == keywordMessage("GetFwInfo"))
        {
            Bytes block = amp.info;
            switch (input.ConsumeIntegralInRange(0, 3))
            {
                case 0:
                    break;
                case 1:
                    return; // no reply
                case 2:
                    block.resize(input.ConsumeIntegralInRange<size_t>(0, infoSize));
                    break;
                default:
                    if (!block.empty())
                        block[input.ConsumeIntegralInRange<size_t>(0, block.size() - 1)] =
                            input.ConsumeIntegral<uint8_t>();
                    break;
            }
            reply(keywordMessage("RetFwInfo", pack7(block)), input.ConsumeBool() && input.ConsumeBool());
        }
        else if (startsWith(m, "SetFwStatus") && m.size() == 14)
        {
            // It restarts with the status written, unless the write does not
            // take; with new firmware it reports the block in its flash.
            if (input.ConsumeIntegralInRange(0, 7) == 0)
                return;
            amp.status = m[12];
            if (amp.status == 1 && !infoStaysOld && amp.flash.size() >= infoOffset + infoSize)
                amp.info.assign(amp.flash.begin() + long(infoOffset),
                                amp.flash.begin() + long(infoOffset + infoSize));
        }
        else if (startsWith(m, "WriteFlash") && m.size() == 310)
        {
            if (amp.status != 0)
                std::abort(); // a block to an amplifier that runs its firmware
            writeFlash(amp, m);
        }
    }

    void writeFlash(Amplifier& amp, const Bytes& m)
    {
        const uint32_t offset =
            uint32_t(m[11]) | uint32_t(m[12]) << 7 | uint32_t(m[13]) << 14 | uint32_t(m[14]) << 21;
        const Bytes block = unpack7(m.data() + 15, 294);
        const auto replyWith = [&](uint8_t result)
        {
            const uint8_t* carried = echoes ? m.data() + 11 : fixedOffset;
            return keywordMessage("RetWriteFlash", {carried[0], carried[1], carried[2], carried[3], result});
        };
        const auto store = [&]
        {
            uint8_t sum = 0;
            for (int i = 0; i < 256; ++i)
                sum = uint8_t(sum + block[size_t(i)]);
            if (block.size() != 257 || sum != block[256])
                return false;
            if (amp.flash.size() < offset + 256)
                amp.flash.resize(offset + 256, 0);
            std::memcpy(amp.flash.data() + offset, block.data(), 256);
            return true;
        };
        const auto sendStale = [&]
        {
            if (echoes && !repliesSent.empty())
                deliver(repliesSent[input.ConsumeIntegralInRange<size_t>(0, repliesSent.size() - 1)]);
        };
        const auto own = [&](bool written, bool cut)
        {
            const Bytes r = replyWith(written && store() ? 1 : 0);
            reply(r, cut);
            repliesSent.push_back(r);
            if (!cut)
                blocksNamed.insert(offset);
        };
        // Out of input, every block is answered 1: runs reach their end.
        switch (input.ConsumeIntegralInRange(0, 7))
        {
            case 0:
                own(true, false);
                break;
            case 1:
                own(false, false); // refused
                break;
            case 2:
                break; // no reply
            case 3:
                sendStale(); // instead of its own
                break;
            case 4:
                own(true, false);
                own(true, false); // twice
                break;
            case 5:
                own(input.ConsumeBool(), true); // cut by a controller
                break;
            case 6:
                sendStale();
                own(input.ConsumeBool(), false);
                break;
            default:
                noise();
                own(true, false);
                noise();
                break;
        }
    }

    // The device callback: the amplifier restarts; afterwards it may be gone,
    // or another of its name, running its firmware, answers.
    bool restart()
    {
        switch (input.ConsumeIntegralInRange(0, 7))
        {
            case 0:
                return false; // not back
            case 1:
                current = &other;
                return true;
            default:
                current = &first;
                return true;
        }
    }
};

bool reopen(MVDevice*, FirmwareUpdateSession*, void* user)
{
    return static_cast<Script*>(user)->restart();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    static const Bytes image = testing_device::makeTestImage(1300, 7); // six blocks, the last short
    const Bytes imageInfo(image.begin() + long(infoOffset), image.begin() + long(infoOffset + infoSize));
    Bytes oldInfo = imageInfo;
    oldInfo[11] ^= 1; // another firmware version

    testing_device::ScriptedDevice device;
    Script script{input, device, image};
    script.first.status = input.ConsumeBool() ? 1 : 0;
    script.first.info = oldInfo;
    script.other.status = 1;
    script.other.info = oldInfo;
    script.echoes = input.ConsumeBool();
    for (uint8_t& b : script.fixedOffset)
        b = input.ConsumeIntegral<uint8_t>() & 0x7F;
    script.infoStaysOld = input.ConsumeIntegralInRange(0, 7) == 0;
    device.onSend = [&script](const Bytes& m) { script.handle(m); };

    FirmwareUpdateSession session;
    session.timeoutMs = -1; // only what the script has delivered by then
    session.image = image.data();
    session.imageSize = int(image.size());
    session.beforeFlashCallback = reopen;
    session.beforeFlashUser = &script;
    session.afterFlashCallback = reopen;
    session.afterFlashUser = &script;

    // The run's lines are not what is checked here.
    static const bool silenced = std::freopen("/dev/null", "w", stdout) != nullptr;
    (void)silenced;
    const bool ok = session.run(&device);

    if (ok)
    {
        const Amplifier& amp = script.first;
        if (script.current != &amp)
            std::abort();
        const bool told = !script.echoes || script.blocksNamed.size() >= 2;
        if (told && (amp.flash.size() < image.size() ||
                     std::memcmp(amp.flash.data(), image.data(), image.size()) != 0))
            std::abort(); // a block not stored on a reply of its own with result 1
        if (amp.status != 1 || amp.info != imageInfo)
            std::abort(); // not confirmed running the image's firmware
        if (!script.other.flash.empty())
            std::abort();
    }
    return 0;
}
