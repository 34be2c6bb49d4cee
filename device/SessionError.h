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
    GetFwStatusFailed = 11,
    SetFwStatusFailed = 12,
    CallbackRefused = 13,
    GetFwInfoFailed = 14,
    FileOpenFailed = 15,
    WriteFlashFailed = 16,
    InvalidRequest = 17,
    UnpackFailed = 18
};
}
