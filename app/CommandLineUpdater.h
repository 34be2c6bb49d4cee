#pragma once

#include "device/Bootloader.h"

#include <string>

class MVDevice;
class FirmwareUpdateSession;

namespace juce
{
class File;
}

// How long reopenDevice keeps the ports closed before it opens them again.
constexpr int defaultReopenWaitMs = 5000;

// The wait of reopenDevice, passed as its user pointer; a null user pointer
// means defaultReopenWaitMs.
struct ReopenWait
{
    int milliseconds = defaultReopenWaitMs;
};

// Flashes the firmware file into the amplifier found and prints the progress
// on standard output. True when the firmware was written. With more than one
// amplifier found nothing is flashed (refuseSeveralAmplifiers). reopenWaitMs
// is the wait of reopenDevice around the flash, replyTimeoutMs that of every
// bootloader reply.
// SIGINT and SIGTERM during the call stop it at the next safe point (after
// the block being written, ending a reopen wait early) with one line that
// says where it stopped, and false.
// path is the file's name as given, made absolute without rewriting it
// (commandLinePath): the file read is the one the system finds by that name.
// A failure after which the amplifier is left in its bootloader ends with a
// line saying so (updateOutcomeLines).
bool runCommandLineUpdate(const std::string& path, int reopenWaitMs = defaultReopenWaitMs,
                          int replyTimeoutMs = bootloader::replyTimeoutMs);
// The same with the file's full path name.
bool runCommandLineUpdate(const juce::File& file, int reopenWaitMs = defaultReopenWaitMs,
                          int replyTimeoutMs = bootloader::replyTimeoutMs);

// FirmwareUpdateSession::ProgressCallback: prints "Updating: <percent>%", and
// flushes the output when the percentage has changed since the last line.
void printUpdateProgress(MVDevice* device, FirmwareUpdateSession* session, int percent, void* user);

// FirmwareUpdateSession::DeviceCallback: closes the device, waits (5 s, or
// the ReopenWait that user points to) and opens it again. False for a null
// device or when the device does not open again. A stop requested of the
// session ends the wait early: false, the device left closed.
bool reopenDevice(MVDevice* device, FirmwareUpdateSession* session, void* user);
