#pragma once

#include <cstddef>
#include <cstdint>

namespace mvmsgpack
{

// A message body: packs itself into a caller's buffer and unpacks itself from
// a received payload.
class CAbstractMessage
{
public:
    virtual ~CAbstractMessage() = default;

    // Writes the wire form into buffer (at most capacity bytes), then sets *out
    // to the first byte written and *outLength to the count. A body with
    // nothing to write may leave both untouched, so callers preset them to
    // null and 0. False when the body cannot be written.
    virtual bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) = 0;

    // Reads the body's fields from data; false when they cannot be read.
    virtual bool unpack(const uint8_t* data, unsigned length) = 0;
};

// A body holding one value of type T; pack and unpack stay abstract.
template <typename T> class CMessage : public CAbstractMessage
{
public:
    explicit CMessage(const T& initial = T()) : value(initial) {}

    T value;
};

// The empty body: packs to nothing, accepts any input.
class CNull : public CMessage<std::nullptr_t>
{
public:
    CNull() : CMessage<std::nullptr_t>(nullptr) {}

    bool pack(uint8_t*, unsigned, uint8_t**, unsigned*) override { return true; }
    bool unpack(const uint8_t*, unsigned) override { return true; }
};

} // namespace mvmsgpack
