#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace mv
{

// A byte codec on vectors. Failures are reported by exceptions.
class MessageCodec
{
public:
    virtual ~MessageCodec() = default;

    virtual std::vector<uint8_t> encode(const std::vector<uint8_t>& input) = 0;
    virtual std::vector<uint8_t> decode(const std::vector<uint8_t>& input) = 0;
    // Output size of encode / decode for an input of inputSize bytes.
    virtual unsigned encodedSize(unsigned inputSize) const = 0;
    virtual unsigned decodedSize(unsigned inputSize) const = 0;

protected:
    // Zero-filled results of encodedSize(inputSize) / decodedSize(inputSize) bytes.
    std::vector<uint8_t> makeEncodeBuffer(unsigned inputSize) const;
    std::vector<uint8_t> makeDecodeBuffer(unsigned inputSize) const;
};

// 7-bit packing of the whole input (see SevenBitPacking.h). Never throws.
class SevenBitsCodec : public MessageCodec
{
public:
    std::vector<uint8_t> encode(const std::vector<uint8_t>& input) override;
    std::vector<uint8_t> decode(const std::vector<uint8_t>& input) override;
    unsigned encodedSize(unsigned inputSize) const override;
    unsigned decodedSize(unsigned inputSize) const override;
};

// The command frame envelope around an already packed payload.
// encode: header (with the payload's checksum) + input + F7.
// decode: strips the first 6 bytes and the last one and checks the checksum
// only; throws std::length_error for input shorter than 7 bytes (nothing is
// allocated) and std::runtime_error "checksum mismatched".
// encode writes the checksum into the codec's header: one exchange at a time.
class SysExCommandCodec : public MessageCodec
{
public:
    SysExCommandCodec(uint8_t sessionId, uint8_t messageClass, uint8_t command);

    std::vector<uint8_t> encode(const std::vector<uint8_t>& input) override;
    std::vector<uint8_t> decode(const std::vector<uint8_t>& input) override;
    unsigned encodedSize(unsigned inputSize) const override;
    // inputSize - 7; 0 for inputs shorter than a frame.
    unsigned decodedSize(unsigned inputSize) const override;

private:
    uint8_t header[6];
};

// Applies its codecs in order: encode first to last, decode last to first.
// An empty stack returns a copy of the input. Exceptions of the codecs pass.
class MessageStackCodec : public MessageCodec
{
public:
    std::vector<uint8_t> encode(const std::vector<uint8_t>& input) override;
    std::vector<uint8_t> decode(const std::vector<uint8_t>& input) override;
    unsigned encodedSize(unsigned inputSize) const override;
    unsigned decodedSize(unsigned inputSize) const override;

    // Appends codec at the end; the stack owns it.
    virtual void addCodec(std::unique_ptr<MessageCodec> codec);

protected:
    std::vector<std::unique_ptr<MessageCodec>> codecs;
};

// 7-bit packing followed by the frame envelope: encode turns a raw body into a
// complete command frame, decode turns a received frame back into the body.
// The list is fixed: addCodec throws std::logic_error.
class MavoSeriesStackCodec : public MessageStackCodec
{
public:
    MavoSeriesStackCodec(uint8_t sessionId, uint8_t messageClass, uint8_t command);

    void addCodec(std::unique_ptr<MessageCodec> codec) override;
};

} // namespace mv
