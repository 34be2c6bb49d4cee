#pragma once

#include <cstdint>

// The command frame: one SysEx message
//   F0 01 sessionId checksum messageClass command <7-bit packed payload> F7
// The checksum is the XOR of the packed payload bytes masked with 0x7F (0 for
// an empty payload). A frame is packed length + 7 bytes, at most 1024, so a
// payload carries at most 889 raw bytes; the helpers do not enforce that.
// All helpers work in caller buffers, keep no state and allocate nothing.

// Byte 4 of a frame. The values convert to uint8_t directly.
namespace MessageClass
{
enum Value : uint8_t
{
    Set = 1,
    Get = 2,
    Data = 3,
    Ack = 4,
    AltSet = 6,
    AltAck = 7
};
}

// Byte 5 of a frame. The device link itself uses String17, Probe and
// SerialNumber; the others are the amplifier commands.
namespace CommandId
{
enum Value : uint8_t
{
    AddressedBlock = 1,
    Records6 = 2,
    Records10 = 3,
    DspParam = 4,
    Pairs = 5,
    ReplaceDspModule = 6,
    String17 = 17,
    Probe = 18,
    DspOnOff = 21,
    Query22 = 22,
    String23 = 23,
    Records16 = 24,
    Value25 = 25,
    Values32 = 32,
    Value33 = 33,
    Blob = 34,
    SerialNumber = 35,
    Int32Array = 36,
    Values40 = 40,
    IrLoaderFile = 41,
    Flag44 = 44,
    ChunkedData = 45,
    Bytes49 = 49,
    Byte50 = 50,
    Bytes51 = 51,
    SwitchPreset = 56,
    Bytes57 = 57,
    Bytes61 = 61,
    Bytes63 = 63,
    Byte80 = 80,
    Flag81 = 81,
    Bytes82 = 82,
    Byte96 = 96,
    Byte97 = 97,
    Float98 = 98
};
}

// Largest frame, in bytes.
constexpr int getCommandFrameMaxSize()
{
    return 1024;
}

// Bytes ahead of the payload: F0, 01, session id, checksum, class, command.
constexpr int getCommandFrameHeaderSize()
{
    return 6;
}

// Writes a frame into out, which needs packed length + 7 bytes of room.
// Session id, class and command are written unmasked. A null payload or a
// payloadLength <= 0 gives a frame without payload. Returns the frame length,
// or 0 when out is null (nothing written).
int buildCommandFrame(uint8_t sessionId, uint8_t messageClass, uint8_t command, const uint8_t* payload,
                      int payloadLength, uint8_t* out);

// True when length >= 7, the frame starts with F0, ends with F7 and byte 3
// equals the masked XOR of bytes 6 to length - 2. Nothing else is checked.
bool validateCommandFrame(const uint8_t* frame, unsigned length);

// The same checks as a status: 0 for a valid frame, -1 otherwise.
int checkCommandFrame(const uint8_t* frame, unsigned length);

// Unpacks the length - 7 payload bytes at offset 6 into out (which needs
// length - 7 bytes of room) and returns the count written. The frame is not
// checked; a frame shorter than 7 bytes yields 0.
unsigned decodeCommandFramePayload(const uint8_t* frame, unsigned frameLength, uint8_t* out);

// Field getters; the frame is not checked and must hold at least 6 bytes.
uint8_t getCommandFrameSessionId(const uint8_t* frame);
uint8_t getCommandFrameClass(const uint8_t* frame);
uint8_t getCommandFrameCommand(const uint8_t* frame);
