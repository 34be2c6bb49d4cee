#pragma once

// The amplifier's bootloader, as the emulator plays it. It answers the ASCII
// keyword requests:
//   "GetFwStatus" -> "RetFwStatus" with the status byte;
//   "GetFwInfo"   -> "RetFwInfo" with the 84-byte info block, 7-bit packed;
//   "SetFwStatus" -> recorded, no reply; then the amplifier restarts: its
//                    ports go away and come back after restartMs, in the
//                    status written. After "SetFwStatus" 1 the info block is
//                    the one in its flash;
//   "WriteFlash"  -> the offset, the packed length and the 8-bit sum are
//                    checked and the 256 bytes stored in its flash memory;
//                    "RetWriteFlash" 1, or 0 for a bad block or a fault. Its
//                    bytes 14-17 echo the request's offset bytes, or carry
//                    fixed bytes (setReplyOffset).
// Written from the wire format, apart from the host's bootloader code.
// Thread-safe: the amplifier's thread handles requests while a test reads
// and changes the state.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace emu
{

class Amplifier;

struct BootloaderFaults
{
    // Block index (offset / 256) answered 0 ...
    int refuseBlock = -1;
    // ... this many times: 1 lets the resend succeed, 2 makes the host give up.
    int refuseCount = 0;
    // Block index never answered (after its refusals, when it is refuseBlock
    // too).
    int silentBlock = -1;
    // Whenever silentBlock goes unanswered, the "RetWriteFlash" 1 of this
    // earlier block index goes out again staleMs later: a late or repeated
    // answer on its way while the host waits for another block.
    int staleReplyBlock = -1;
    int staleMs = 0;
    // When this block index arrives, the amplifier unplugs without answering,
    // for unplugMs (0: it stays unplugged).
    int unplugAtBlock = -1;
    int unplugMs = 0;
    // A "RetFwStatus", channel messages and a command frame on session 0
    // ahead of every "RetWriteFlash".
    bool strayMessages = false;
    // "RetFwInfo" held back this long.
    int infoDelayMs = 0;
    // "RetFwInfo" carries only this many bytes of the block (-1: all 84).
    int shortInfoBytes = -1;
    // This block's "RetWriteFlash" held back lateMs.
    int lateBlock = -1;
    int lateMs = 0;
    // This block arrives with one bit flipped (its sum no longer matches)
    // corruptCount times.
    int corruptBlock = -1;
    int corruptCount = 0;
    // An over-long "RetWriteFlash" (600 bytes) ahead of this block's reply.
    int overlongBlock = -1;
    // floodCount command frames on session 0 ahead of this block's reply.
    int floodBlock = -1;
    int floodCount = 0;
    // This block's reply is the amplifier's last message: it unplugs as the
    // reply goes out, and stays away.
    int vanishAfterBlock = -1;
    // After a "SetFwStatus" of this value the amplifier does not come back.
    int stayAwayAfterStatus = -1;
    // A "SetFwStatus" of this value does not take: the amplifier restarts and
    // comes back in the status it had.
    int statusWriteIgnored = -1;
    // After "SetFwStatus" 1 the amplifier runs its old firmware: the info
    // block stays the one it reported before.
    bool infoStaysOld = false;
    // This block is refused, and every "RetWriteFlash" for it arrives cut by
    // a channel message: F0 "RetWriteFlash" and two offset bytes, then
    // B0 07 01, then the last two offset bytes, the result 0 and F7.
    int cutReplyBlock = -1;
};

// A modelled link and flash: every request waits, on the amplifier's thread,
// the time its bytes and its reply's bytes take at bytesPerSecond, plus
// flashMicrosPerBlock for a "WriteFlash". Zero values model no delay.
struct LinkModel
{
    double bytesPerSecond = 0;
    int flashMicrosPerBlock = 0;
};

// What a "RetWriteFlash" carries in its bytes 14-17.
enum class ReplyOffset
{
    Echo,  // the request's offset bytes
    Fixed, // the same four bytes for every block
};

class EmulatedBootloader
{
public:
    EmulatedBootloader();

    // Handles message when it is a bootloader request (true); replies through
    // amp. Runs on the amplifier's thread.
    bool handle(const std::vector<uint8_t>& message, Amplifier& amp);

    void setStatus(uint8_t status);
    uint8_t getStatus() const;
    // The 84-byte block reported by "RetFwInfo" (shorter input is zero-padded).
    void setInfoBlock(const std::vector<uint8_t>& block);
    std::vector<uint8_t> getInfoBlock() const;
    // How long the ports stay away after "SetFwStatus".
    void setRestartMs(int ms);
    void setFaults(const BootloaderFaults& faults);
    void setLinkModel(const LinkModel& model);
    // Echo by default: the host then learns that replies name their blocks
    // and skips those naming another, so every test exercises that road.
    // Fixed (zeros by default) is the amplifier whose replies cannot be told
    // apart.
    void setReplyOffset(ReplyOffset mode, std::array<uint8_t, 4> fixedBytes = {0, 0, 0, 0});
    // Called on the amplifier's thread when a "SetFwStatus" has made it
    // unplug for its restart, with the status value; null for none.
    void setRestartHook(std::function<void(int)> hook);

    // The flash memory: every block written, 256 bytes each, from offset 0;
    // never-written parts are 0. Writes beyond flashCapacity are refused.
    std::vector<uint8_t> getFlash() const;
    void clearFlash();
    static constexpr uint32_t flashCapacity = 4u << 20;

    // The values of every "SetFwStatus", in order.
    std::vector<int> getStatusWrites() const;
    void clearStatusWrites();
    // "WriteFlash" requests received, good and bad, and those answered 0.
    int getBlockRequests() const;
    int getRefusedBlocks() const;
    // Sum of the delays the link model applied, in microseconds.
    int64_t getModelledMicros() const;
    // How much longer than modelled the amplifier's thread actually waited,
    // summed, in microseconds (the host's scheduler, not the host's code).
    int64_t getOvershootMicros() const;

private:
    struct WriteFlashOutcome;

    void modelDelay(size_t requestBytes, size_t replyBytes, bool flashes);
    // The requests by keyword.
    void answerStatus(const std::vector<uint8_t>& message, Amplifier& amp);
    void answerInfo(const std::vector<uint8_t>& message, Amplifier& amp);
    void restart(const std::vector<uint8_t>& message, Amplifier& amp);
    void handleWriteFlash(const std::vector<uint8_t>& message, Amplifier& amp);
    // Under the lock: the block's fate and what goes out with its reply, by
    // the faults; counts the faults given.
    WriteFlashOutcome applyWriteFlashFaults(bool good, int index);
    void sendWriteFlashOutcome(size_t requestBytes, const WriteFlashOutcome& outcome, Amplifier& amp);
    // The "RetWriteFlash" for a block with these request offset bytes.
    std::vector<uint8_t> writeFlashReply(const std::array<uint8_t, 4>& offsetBytes, uint8_t result) const;

    mutable std::mutex mutex;
    uint8_t status = 1;
    std::vector<uint8_t> info;
    int restartMs = 1000;
    BootloaderFaults faults;
    LinkModel link;
    ReplyOffset replyOffset = ReplyOffset::Echo;
    std::array<uint8_t, 4> fixedOffsetBytes = {0, 0, 0, 0};
    std::vector<uint8_t> flash;
    std::vector<int> statusWrites;
    int blockRequests = 0;
    int refusedBlocks = 0;
    int refusalsGiven = 0;
    int corruptionsGiven = 0;
    std::function<void(int)> restartHook;
    int64_t modelledMicros = 0;
    int64_t overshootMicros = 0;
};

} // namespace emu
