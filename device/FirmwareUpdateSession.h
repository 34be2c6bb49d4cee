#pragma once

#include "device/Bootloader.h"
#include "device/FirmwareInfoBlock.h"
#include "device/MVDeviceSession.h"

#include <atomic>
#include <cstdint>
#include <string>

class FirmwareFileReader;
class MVDevice;

// Writes one firmware image to the amplifier through its bootloader:
//  1. "GetFwStatus"; on status 1, "SetFwStatus" 0 and the before-flash callback;
//  2. "GetFwInfo" (the device's FirmwareInfoBlock);
//  3. the image's sector check (informational only);
//  4. "WriteFlash" for every 256-byte block, each resent once when refused
//     (see flashImage for replies that answer another block);
//  5. "SetFwStatus" 1 and the after-flash callback.
// A firmware file is read whole (FirmwareFileReader) and the image checked
// (checkFirmwareImage: its info block, length and checksum) before any device
// traffic, so a bad file or image sends nothing: error 15 with one line
// saying why. An image whose device name differs from the amplifier's,
// unless the amplifier's is blank, or for an amplifier whose info reply is
// too short to hold a name, is refused after step 2 with 15, sending none of
// it; when step 1 sent "SetFwStatus" 0, "SetFwStatus" 1 and the after-flash
// callback follow, leaving the amplifier as it was.
// The amplifier is confirmed after each restart, with reads that print
// nothing: after the before-flash callback it must report status 0 (another
// amplifier of the name, still running its firmware, may have answered the
// reopen), and after the after-flash callback status 1 and the image's
// firmware version. The update counts only when the after-flash callback
// succeeds and that confirmation holds; otherwise error 13, with one line
// saying what answered. The run works on the device's own session id, and
// awaits each bootloader reply timeoutMs. The owner fills
// the fields, runs it once and destroys it. A run asked to stop (stopRequest)
// stops at its next check, after the reply it awaits, and says where in
// stoppedAt.
class FirmwareUpdateSession : public MVDeviceSession
{
public:
    // Called on the run's thread; false stops the run with error 13 (after
    // the flash: the amplifier did not come back).
    using DeviceCallback = bool (*)(MVDevice* device, FirmwareUpdateSession* session, void* user);
    // Called after every written block with a percentage from 0 to 100 that
    // never decreases.
    using ProgressCallback = void (*)(MVDevice* device, FirmwareUpdateSession* session, int percent,
                                      void* user);

    FirmwareUpdateSession() = default;
    ~FirmwareUpdateSession() override = default;

    // The whole update: true, or false with the SessionError in error.
    bool run(MVDevice* device) override;
    // Not used: run does the work.
    bool doRun(MVDevice* device, int sessionId) override;

    void setBeforeFlashCallback(DeviceCallback callback, void* user);
    void setAfterFlashCallback(DeviceCallback callback, void* user);
    void setProgressCallback(ProgressCallback callback, void* user);

    // Sends "SetFwStatus" value; true unless the send reports -1. No reply is
    // awaited.
    bool writeFwStatus(MVDevice* device, uint8_t value);
    // Writes the image block by block on sessionId. True when every block was
    // written (an empty image sends nothing); false at once when a block
    // cannot be sent, gets no "RetWriteFlash", or is refused twice, and for
    // a null image or one of 2^28 bytes or more (nothing sent). A stop
    // requested ends it ahead of the next block (stoppedAt Writing).
    // The amplifier echoes each block's offset bytes in its reply once the
    // replies that arrived (taken, skipped or dropped as stale) named two
    // different blocks already sent, normally blocks 0 and 1. From then on
    // (offsetsEchoed) a reply naming another offset is skipped and counted in
    // staleRepliesSkipped, the wait going on to its deadline, and every block
    // whose reply, taken before, did not name it is written again at once
    // (at the end, too, when replies already arrived show it then). Until
    // then the reply that comes is taken, as it cannot be told from a late
    // one.
    bool flashImage(MVDevice* device, int sessionId, const uint8_t* data, int64_t size);
    // Fills sectorTable from info and the image's words; every read stays
    // inside the image and the table. Entry 0 ends up holding the whole-image
    // verdict (total sum against info->checksum). Informational only.
    void checkSectors(const uint8_t* data, int64_t size, const FirmwareInfoBlock* info);

    // Path of the firmware file as UTF-8; used only with loadFromFile.
    std::string firmwarePath;
    uint8_t txBuffer[bootloader::bufferSize] = {};
    uint8_t rxBuffer[bootloader::bufferSize] = {};
    SectorCheckEntry sectorTable[FirmwareInfoBlock::sectorCount] = {};
    ProgressCallback progressCallback = nullptr;
    void* progressUser = nullptr;
    // The image to write. During a run from a file it points to the loaded
    // bytes; after that run it is null again (the bytes are released).
    const uint8_t* image = nullptr;
    int imageSize = 0;
    bool loadFromFile = false;
    // Slept before the information read, before the first block and after
    // "SetFwStatus" 1.
    uint32_t phaseDelayMs = 0;
    // Slept before every "WriteFlash" send and resend.
    uint32_t packetDelayMs = 0;
    DeviceCallback beforeFlashCallback = nullptr;
    void* beforeFlashUser = nullptr;
    DeviceCallback afterFlashCallback = nullptr;
    void* afterFlashUser = nullptr;
    // Learnt by flashImage: whether the amplifier echoes offsets, and how
    // many replies naming another block it skipped for that reason.
    bool offsetsEchoed = false;
    int staleRepliesSkipped = 0;

    // Where a run asked to stop stopped, and the error it left.
    enum class StopPoint
    {
        None,
        BeforeTraffic, // before "GetFwStatus": nothing sent (11)
        Switching,     // after the status read, before "SetFwStatus" 0 (12)
        Restarting,    // in or after the before-flash callback (13)
        Writing,       // ahead of a block: blocksWritten of blockCount written (16)
        ComingBack,    // in the after-flash callback, after "SetFwStatus" 1 (13)
    };
    // May be set from any thread or a signal handler while the run lasts;
    // null: the run never stops early.
    const std::atomic<bool>* stopRequest = nullptr;
    StopPoint stoppedAt = StopPoint::None;
    int blocksWritten = 0;
    int blockCount = 0;
    // The amplifier is in its bootloader: the status read said so (other than
    // 1) or "SetFwStatus" 0 went out, and "SetFwStatus" 1 has not, or the
    // amplifier came back from it still reporting 0.
    bool inBootloader = false;

    bool stopRequested() const { return stopRequest != nullptr && stopRequest->load(); }

    // The lines of the device's info block name this many sectors.
    static constexpr std::size_t printedSectorCount = 7;

private:
    // The run's steps: each leaves its error code and returns false on failure.
    // Reads the file into file (when asked) and checks the image.
    bool prepareImage(FirmwareFileReader& file);
    // "GetFwStatus"; on status 1, "SetFwStatus" 0 (statusCleared) and the
    // before-flash callback.
    bool switchToBootloader(MVDevice* device, int id, bool& statusCleared);
    // After the restart into the bootloader: "GetFwStatus" must report 0,
    // else 13 with one line.
    bool confirmInBootloader(MVDevice* device, int id);
    // After the restart out of it: "GetFwStatus" must report 1 and "GetFwInfo"
    // the image's firmware version, else 13 with one line naming what came
    // back. Reads without lines of their own.
    bool confirmNewFirmware(MVDevice* device, int id, const uint8_t* imageVersion);
    // "GetFwInfo" into info (infoBytes: how many bytes the reply carried),
    // and its lines.
    bool readDeviceInfo(MVDevice* device, int id, FirmwareInfoBlock& info, int& infoBytes);
    // Sends the block at offset, resent once when refused; the length of the
    // "RetWriteFlash" 1 taken (left in rxBuffer, the request in txBuffer), or
    // -1 when it is not sent, not answered or refused twice.
    // Every "RetWriteFlash" received or dropped on the way is shown to observe.
    int writeBlock(MVDevice* device, int sessionId, const uint8_t* data, int64_t size, int64_t offset,
                   const bootloader::ReplyObserver& observe);
    // "SetFwStatus" 1 and the after-flash callback, without a flash.
    void finish(MVDevice* device);
    bool fail(int code);
    bool stopAt(StopPoint point, int code);
};
