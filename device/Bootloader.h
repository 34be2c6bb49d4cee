#pragma once

#include "device/FirmwareInfoBlock.h"
#include "device/MVDeviceSession.h"

#include <cstdint>
#include <functional>

class MVDevice;

// The bootloader's protocol: ASCII keywords inside SysEx messages, without
// the command frame's header, session id or checksum.
//   "GetFwStatus"   F0 "GetFwStatus" F7                        13 bytes
//   "RetFwStatus"   F0 "RetFwStatus" status F7                 14 bytes
//   "GetFwInfo"     F0 "GetFwInfo" F7                          11 bytes
//   "RetFwInfo"     F0 "RetFwInfo" <info block, 7-bit packed> F7  107 bytes
//   "SetFwStatus"   F0 "SetFwStatus" value F7                  14 bytes
//   "WriteFlash"    F0 "WriteFlash" offset[4] <257-byte block, packed> F7  310 bytes
//   "RetWriteFlash" F0 "RetWriteFlash" x x x x result F7       20 bytes
// Replies carry no session id; the device routes them to its own id. An
// amplifier may echo the request's offset bytes in the four x bytes; the
// block loop learns per run whether it does (FirmwareUpdateSession).
namespace bootloader
{

// Request and reply buffers of a bootloader exchange.
constexpr int bufferSize = 512;
// Every wait for a reply lasts this long by default.
constexpr int replyTimeoutMs = MVDeviceSession::defaultTimeoutMs;

constexpr char getFwStatusKeyword[] = "GetFwStatus";
constexpr char retFwStatusKeyword[] = "RetFwStatus";
constexpr char getFwInfoKeyword[] = "GetFwInfo";
constexpr char retFwInfoKeyword[] = "RetFwInfo";
constexpr char setFwStatusKeyword[] = "SetFwStatus";
constexpr char writeFlashKeyword[] = "WriteFlash";
constexpr char retWriteFlashKeyword[] = "RetWriteFlash";

// Where a message's fields begin: after F0 and the keyword.
template <std::size_t N> constexpr int afterKeyword(const char (&)[N])
{
    return 1 + int(N - 1);
}
constexpr int retFwStatusStatusOffset = afterKeyword(retFwStatusKeyword);
constexpr int retFwStatusLength = retFwStatusStatusOffset + 2; // status, F7
constexpr int retFwInfoDataOffset = afterKeyword(retFwInfoKeyword);
constexpr int writeFlashOffsetBytes = 4;
constexpr int writeFlashOffsetOffset = afterKeyword(writeFlashKeyword);
constexpr int writeFlashBlockOffset = writeFlashOffsetOffset + writeFlashOffsetBytes;
// Four bytes that may echo the request's offset bytes come first.
constexpr int retWriteFlashEchoOffset = afterKeyword(retWriteFlashKeyword);
constexpr int retWriteFlashResultOffset = retWriteFlashEchoOffset + writeFlashOffsetBytes;
static_assert(retFwStatusStatusOffset == 12 && retFwInfoDataOffset == 10 && retWriteFlashEchoOffset == 14 &&
                  retWriteFlashResultOffset == 18 && writeFlashOffsetOffset == 11,
              "message fields at their wire offsets");

// A "WriteFlash" block: 256 image bytes followed by their 8-bit sum.
constexpr int blockDataSize = 256;
constexpr int blockSize = blockDataSize + 1;
// n raw bytes 7-bit packed: a flags byte ahead of every seven.
constexpr int sevenBitPackedSize(int n)
{
    return n + (n + 6) / 7;
}
constexpr int packedBlockSize = sevenBitPackedSize(blockSize);
constexpr int writeFlashLength = writeFlashBlockOffset + packedBlockSize + 1; // F7
static_assert(packedBlockSize == 294 && writeFlashLength == 310, "the WriteFlash message's sizes");
// Offsets travel as four 7-bit groups, so an image stays below 2^28 bytes.
constexpr int64_t maxImageSize = int64_t(1) << (7 * writeFlashOffsetBytes);

// Request builders: write the message into out and return its length.
int buildGetFwStatus(uint8_t* out);
int buildGetFwInfo(uint8_t* out);
int buildSetFwStatus(uint8_t* out, uint8_t value);
// The "WriteFlash" of the block at offset: min(256, size - offset) image
// bytes, zero padding, their 8-bit sum, packed. out needs writeFlashLength
// bytes. Returns writeFlashLength, or 0 (nothing written) when the offset is
// not inside the image or not below maxImageSize.
int buildWriteFlash(uint8_t* out, const uint8_t* image, int64_t size, int64_t offset);

// True when the bytes after byte 0 begin with keyword and at least one byte
// follows it. Byte 0 is not examined.
bool hasKeyword(const uint8_t* message, int length, const char* keyword);

// Receives on sessionId until a message with keyword arrives that skip (when
// set) does not refuse, within one deadline timeoutMs from the call (0:
// without limit; negative: only what is queued already). Other messages,
// messages longer than capacity and refused ones are skipped without
// extending the deadline. Returns the reply's length, or -1 when the deadline
// passes or the id has no queue.
using ReplyFilter = std::function<bool(const uint8_t* message, int length)>;
int waitForReply(MVDevice* device, int sessionId, uint8_t* rx, int capacity, const char* keyword,
                 int timeoutMs, const ReplyFilter& skip = nullptr);

// True for a message the bootloader sends: "RetFwStatus", "RetFwInfo" or
// "RetWriteFlash" after byte 0.
bool isBootloaderReply(const uint8_t* message, int length);

// Sends a bootloader request on the device after dropping the bootloader
// replies already queued for sessionId, so a late or repeated reply to an
// earlier request that has arrived by then is not taken for this one's. A
// reply still on its way when the request goes out is received like this
// one's: the block loop skips it on an amplifier that echoes offsets and
// takes it on one that does not (FirmwareUpdateSession::flashImage). Each
// reply dropped is shown to dropped first, when set. The send's result.
using ReplyObserver = std::function<void(const uint8_t* message, int length)>;
int sendRequest(MVDevice* device, int sessionId, const uint8_t* request, int length,
                const ReplyObserver& dropped = nullptr);

// Reply parsers (message = one complete reply, length its byte count).
// "RetFwStatus": the status byte at offset 12; false when the message is
// no "RetFwStatus" or ends before a status byte.
bool parseRetFwStatus(const uint8_t* message, int length, uint8_t* status);
// "RetFwInfo": zeroes *info, unpacks the bytes from offset 10 up to the first
// F7 and fills *info from the first 84 of them (a short block leaves the rest
// 0). Returns how many bytes the unpacking gave (fewer than 84 for a short
// block), or -1, with *info zeroed, when the message is no "RetFwInfo".
int decodeRetFwInfo(const uint8_t* message, int length, FirmwareInfoBlock* info);
// "RetWriteFlash": the result byte at offset 18, or 0 when the message is no
// "RetWriteFlash" or too short to reach it. 1 means the block was written.
int retWriteFlashResult(const uint8_t* message, int length);
// "RetWriteFlash" that reaches its result byte and carries, in bytes 14-17,
// the offset bytes 11-14 of the "WriteFlash" request.
bool retWriteFlashEchoes(const uint8_t* message, int length, const uint8_t* request);

// The 8-bit sum of n bytes.
uint8_t blockSum(const uint8_t* data, int n);

} // namespace bootloader

// Sends "GetFwStatus" and waits for "RetFwStatus"; true with *status set.
// False when the request was not sent (send returned -1) or no well-formed
// reply came. Writes nothing to standard output.
bool readFwStatus(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, uint8_t* status,
                  int timeoutMs = bootloader::replyTimeoutMs);

// Sends "GetFwInfo" and waits for "RetFwInfo"; true with *info filled. *info
// is zeroed first, so a failed or short read never leaves stale bytes; with
// decodedBytes set, *decodedBytes is how many bytes the reply carried (0 when
// none came), so a short reply's zeros can be told from reported ones. Prints
// "Sending GetFwInfo command", "Sent GetFwInfo command" and, when no reply
// comes, "Cannot read RetFwInfo data!".
bool readFwInfo(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, FirmwareInfoBlock* info,
                int timeoutMs = bootloader::replyTimeoutMs, int* decodedBytes = nullptr);

// readFwInfo without its lines: the same request, wait and result.
bool queryFwInfo(MVDevice* device, int sessionId, uint8_t* tx, uint8_t* rx, FirmwareInfoBlock* info,
                 int timeoutMs = bootloader::replyTimeoutMs, int* decodedBytes = nullptr);
