#pragma once

// The message layer's checks. Each failure prints one line to standard output
// and gives false.

#include "commands/FixedString.h"
#include "commands/MessagePack.h"

#include <cstdint>

// True when buffer is set and capacity is not 0; else prints
// "checkInOutBuffer ERROR : <text> !".
bool checkInOutBuffer(const uint8_t* buffer, uint32_t capacity, const char* text);

// Sets *outLength to the bytes written. A failed context, or a message that
// is not strictly shorter than capacity, prints
// "checkBufferRange ERROR : buffer not enough !" and gives false; otherwise
// *out is set to buffer.
bool checkBufferRange(const PackContext& context, uint8_t* buffer, uint32_t capacity, uint8_t** out,
                      uint32_t* outLength);

// Prints "checkBufferRange ERROR : <text> !" and returns false.
bool reportBufferRange(const char* text);

// True for MPK_RC_OK; any other code prints "ERROR : <code name> !".
bool checkPackResult(int code);

bool initPackContextChecked(PackContext& context, uint8_t* buffer, uint32_t capacity);
bool initUnpackContextChecked(UnpackContext& context, const uint8_t* data, uint32_t length);

// Each reads the next item; on a failed read it prints and returns false with
// out untouched.
bool unpackNextBool(UnpackContext& context, bool* out);
// The low 32 bits of an integer, the count of an array or map header, the bit
// pattern of a float32.
bool unpackNextUint32(UnpackContext& context, uint32_t* out);
// Copies the data of a str item of at most 32 bytes into out: the copy stops
// at the first NUL and the rest of the data's bytes become NUL; bytes of out
// past the data keep their content. Any other item, or a longer str, fails as
// MPK_RC_MALFORMED_INPUT and leaves out alone.
bool unpackNextString(UnpackContext& context, char (&out)[kFixedStringCapacity]);
