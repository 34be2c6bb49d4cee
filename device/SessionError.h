#pragma once

// The codes a session or command object leaves in its error field. The
// command-line updater prints them as decimal numbers, so the values are fixed.
namespace SessionError
{
enum Value : int
{
    None = 0,
    NoReply = 1,
    WrongClass = 2,
    WrongCommand = 3,
    AddressMismatch = 4,
    ChunkOutOfOrder = 5,
    ChecksumMismatch = 6,
    BadLength = 7,
    NoDevice = 8,
    // 9 is not used.
    NoSession = 10,
    // "GetFwStatus" not sent or not answered; also a run stopped before it
    // sent anything (FirmwareUpdateSession::StopPoint).
    GetFwStatusFailed = 11,
    // "SetFwStatus" not sent; also a run stopped after the status read,
    // before "SetFwStatus" 0.
    SetFwStatusFailed = 12,
    // The amplifier after a restart of the firmware update: a device
    // callback returned false (it did not come back, or two of its name did),
    // or what answered is not confirmed: before the flash not in its
    // bootloader, after it not running the image's firmware version. Also a
    // run stopped while the amplifier restarts or comes back
    // (FirmwareUpdateSession::StopPoint).
    CallbackRefused = 13,
    GetFwInfoFailed = 14,
    // A refused image: a firmware file that is not read (FirmwareFileReader),
    // an image whose info block, length or checksum does not hold, or one
    // built for another amplifier.
    FileOpenFailed = 15,
    // A block not sent, not answered or refused twice, or a stop asked for
    // between blocks; also an unusable in-memory image (null, empty, or 2^28
    // bytes or more), before anything is sent.
    WriteFlashFailed = 16,
    InvalidRequest = 17,
    UnpackFailed = 18
};
}
