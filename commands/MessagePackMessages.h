#pragma once

// The amplifier's MessagePack message bodies. Each writes its fields as a flat
// run of top-level items (no enclosing array or map); a string field goes as
// an unsigned item with its length, then a str item of exactly that many bytes
// of `chars`. pack refuses a message that fills the buffer exactly, so at most
// capacity - 1 bytes are delivered. Failures print one line to standard output
// and give false.

#include "commands/FixedString.h"
#include "device/CAbstractMessage.h"

#include <cstdint>
#include <vector>

namespace mvmsgpack
{

struct SwitchPresetParam
{
    uint32_t first;
    uint32_t second;
};

// Two DSP module identifiers.
struct ReplaceDspModule
{
    FixedString firstId;
    FixedString secondId;
};

struct SetDspOnOffParam
{
    FixedString id; // the DSP module
    bool on;
};

struct GetDspParam
{
    FixedString id;
    uint32_t index; // the parameter
};

struct SetDspParam
{
    FixedString id;
    uint32_t index;
    float value;
};

struct GenericString
{
    FixedString text;
};

// unsigned first; unsigned second
struct CSwitchPreset : CMessage<SwitchPresetParam>
{
    ~CSwitchPreset() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// firstId; secondId
struct CReplaceDspModule : CMessage<ReplaceDspModule>
{
    ~CReplaceDspModule() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// id; boolean on
struct CSetDspOnOff : CMessage<SetDspOnOffParam>
{
    ~CSetDspOnOff() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// id; unsigned index
struct CGetDspParam : CMessage<GetDspParam>
{
    ~CGetDspParam() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// id; unsigned index; float32 value
struct CSetDspParam : CMessage<SetDspParam>
{
    ~CSetDspParam() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// text
struct CString : CMessage<GenericString>
{
    ~CString() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// float32
struct CFloat : CMessage<float>
{
    ~CFloat() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// boolean
struct CBool : CMessage<bool>
{
    ~CBool() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// An array header with the element count, then one unsigned item per element.
// unpack takes the count from the first item of any type and fails at the
// first element that cannot be read, keeping those read so far.
struct CInt32Array : CMessage<std::vector<uint32_t>>
{
    explicit CInt32Array(const std::vector<uint32_t>& values = {}) : CMessage<std::vector<uint32_t>>(values)
    {
    }
    ~CInt32Array() override = default;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength) override;
    bool unpack(const uint8_t* data, unsigned length) override;
};

// One unsigned item. A plain value with no virtual table: it cannot stand for
// a CAbstractMessage.
struct CUInt32
{
    uint32_t value = 0;
    bool pack(uint8_t* buffer, unsigned capacity, uint8_t** out, unsigned* outLength);
    bool unpack(const uint8_t* data, unsigned length);
};

} // namespace mvmsgpack
