#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Cuts complete messages out of a received byte stream, however it is split
// into pieces. Messages: B0 and the two bytes after it, C0 and the byte after
// it, whatever their values, and SysEx from an F0 through the next F7, where
// every F0 met before that F7 restarts the message. Other bytes are skipped.
// Inside a SysEx message every byte is 7-bit: a system real-time byte
// (F8-FF) found there is no part of it and is dropped, and any other status
// byte (80-EF, F1-F6) means the message was cut short: its bytes are dropped
// unseen and the status byte is scanned as the start of what follows.
//
// The bytes after the last complete message are kept for the next piece.
// When more than bufferLimit bytes are kept, those before the last F0 are
// dropped, and all but the last two when that is still too many. Each byte is
// scanned once, however the stream is split.
//
// One thread feeds a cutter.
class StreamCutter
{
public:
    static constexpr std::size_t bufferLimit = 64 * 1024;

    // Appends the bytes and calls onMessage(const uint8_t* message, int length)
    // for every message they complete, in order; the message's bytes last for
    // that call only. Nothing for null data or a length of 0 or less.
    template <typename OnMessage> void feed(const uint8_t* data, int length, OnMessage&& onMessage)
    {
        feedTo(data, length, MessageSink(onMessage));
    }

    // Bytes kept that no complete message has taken yet.
    std::size_t bufferedSize() const { return buffer.size(); }

private:
    // The callable that feed was given, taken by reference for that call.
    class MessageSink
    {
    public:
        template <typename F>
        explicit MessageSink(F& f)
            : target(const_cast<void*>(static_cast<const void*>(&f))),
              call([](void* t, const uint8_t* m, int n) { (*static_cast<F*>(t))(m, n); })
        {
        }
        void operator()(const uint8_t* message, int length) const { call(target, message, length); }

    private:
        void* target;
        void (*call)(void*, const uint8_t*, int);
    };

    // What the bytes scanned so far have begun: nothing, a SysEx message, a
    // controller (B0) or a program change (C0).
    enum class Pending
    {
        None,
        Sysex,
        Controller,
        ProgramChange
    };

    void feedTo(const uint8_t* data, int length, MessageSink onMessage);
    // Scans the buffer from scanPosition to its end, hands out every message
    // completed, then drops the bytes those messages took.
    void cut(MessageSink onMessage);
    // Moves from i to the next byte that begins a message and begins one
    // there; the index after it, or size when none does.
    std::size_t beginMessage(const uint8_t* bytes, std::size_t i, std::size_t size);
    // The index of the last byte of the message begun, scanning on from i;
    // size while that byte has not come.
    std::size_t findMessageEnd(const uint8_t* bytes, std::size_t i, std::size_t size);
    // Drops the bytes no message can use, once too many are kept.
    void trim();
    // Drops the first count bytes; the scan state moves with the bytes kept.
    void dropFront(std::size_t count);

    std::vector<uint8_t> buffer;
    // Where the next scan starts, and the message begun at messageStart, if
    // any.
    std::size_t scanPosition = 0;
    std::size_t messageStart = 0;
    Pending pending = Pending::None;
};
