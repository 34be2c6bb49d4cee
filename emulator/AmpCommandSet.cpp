#include "emulator/AmpCommandSet.h"

#include "emulator/Amplifier.h"

#include <algorithm>

namespace emu
{

void AmpCommandSet::setStringListener(StringListener listener)
{
    std::lock_guard<std::mutex> lock(mutex);
    stringListener = std::move(listener);
}

void AmpCommandSet::setFaults(uint8_t command, const CommandReplyFaults& commandFaults)
{
    std::lock_guard<std::mutex> lock(mutex);
    faults[command] = commandFaults;
}

void AmpCommandSet::setBlockReadFaults(const BlockReadFaults& readFaults)
{
    std::lock_guard<std::mutex> lock(mutex);
    blockReadFaults = readFaults;
}

void AmpCommandSet::clearFaults()
{
    std::lock_guard<std::mutex> lock(mutex);
    faults.clear();
    blockReadFaults = BlockReadFaults();
}

void AmpCommandSet::setBlockReadChunkSize(int size)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.blockReadChunkSize = std::clamp(size, 1, 255);
}

bool AmpCommandSet::handle(const std::vector<uint8_t>& message, Amplifier& amp)
{
    if (message.empty())
        return false;
    if (message.front() != 0xF0)
    {
        std::lock_guard<std::mutex> lock(mutex);
        channelMessages.push_back(message);
        return true;
    }
    ParsedFrame request;
    if (!parseFrame(message, request))
        return false;
    const AmpAnswerHandler answerRequest = findAnswer(request.command, request.messageClass);
    if (!answerRequest)
        return false;

    AmpAnswer answer;
    CommandReplyFaults commandFaults;
    BlockReadFaults readFaults;
    StringListener listener;
    {
        std::lock_guard<std::mutex> lock(mutex);
        requests.push_back({request.sessionId, request.messageClass, request.command, request.payload});
        answer = answerRequest(request, state);
        if (const auto found = faults.find(request.command); found != faults.end())
            commandFaults = found->second;
        readFaults = blockReadFaults;
        listener = stringListener;
    }
    if (listener && answer.heardString)
        listener(request.command, *answer.heardString);
    for (std::vector<uint8_t>& frame :
         faultedFrames(request, std::move(answer.replies), commandFaults, readFaults))
    {
        if (commandFaults.delayMs > 0)
            amp.schedule(commandFaults.delayMs, [&amp, frame] { amp.reply(frame); });
        else
            amp.reply(std::move(frame));
    }
    return true;
}

std::vector<AmpRequest> AmpCommandSet::getRequests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return requests;
}

void AmpCommandSet::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    requests.clear();
    channelMessages.clear();
}

std::vector<std::vector<uint8_t>> AmpCommandSet::getChannelMessages() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return channelMessages;
}

float AmpCommandSet::getDspValue(const std::string& module, uint32_t parameter) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = state.dspValues.find({module, parameter});
    return found == state.dspValues.end() ? 0.0f : found->second;
}

void AmpCommandSet::setDspValue(const std::string& module, uint32_t parameter, float value)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.dspValues[{module, parameter}] = value;
}

bool AmpCommandSet::getDspSwitch(const std::string& module) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = state.dspSwitches.find(module);
    return found != state.dspSwitches.end() && found->second;
}

void AmpCommandSet::setDspSwitch(const std::string& module, bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.dspSwitches[module] = on;
}

std::string AmpCommandSet::getString(uint8_t command) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = state.strings.find(command);
    return found == state.strings.end() ? std::string() : found->second;
}

std::map<uint32_t, std::vector<uint8_t>> AmpCommandSet::getRecords(uint8_t command) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = state.records.find(command);
    return found == state.records.end() ? std::map<uint32_t, std::vector<uint8_t>>() : found->second;
}

void AmpCommandSet::setRecord(uint8_t command, uint32_t key, const std::vector<uint8_t>& bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.records[command][key] = bytes;
}

std::vector<std::pair<uint8_t, uint8_t>> AmpCommandSet::getPairs() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.pairs;
}

AmpCommandSet::Blob AmpCommandSet::getBlob() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.blob;
}

void AmpCommandSet::setQuery22Value(uint32_t query, uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.query22[query] = value;
}

void AmpCommandSet::setValue25(uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.value25 = value;
}

void AmpCommandSet::setValues32(uint32_t first, uint32_t second)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.values32[0] = first;
    state.values32[1] = second;
}

void AmpCommandSet::setValue33(uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.value33 = value;
}

void AmpCommandSet::setValues40(uint32_t first, uint32_t second, uint32_t third)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.values40[0] = first;
    state.values40[1] = second;
    state.values40[2] = third;
}

uint8_t AmpCommandSet::getByte50() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.byte50;
}

void AmpCommandSet::setByte50(uint8_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.byte50 = value;
}

void AmpCommandSet::setInt32Value(uint32_t key, uint32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.int32Values[key] = value;
}

std::vector<uint8_t> AmpCommandSet::getBlock(uint8_t addressA, uint8_t addressB) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = state.blocks.find({addressA, addressB});
    return found == state.blocks.end() ? std::vector<uint8_t>() : found->second;
}

void AmpCommandSet::setBlock(uint8_t addressA, uint8_t addressB, const std::vector<uint8_t>& block)
{
    std::lock_guard<std::mutex> lock(mutex);
    state.blocks[{addressA, addressB}] = block;
}

std::vector<uint8_t> AmpCommandSet::getChunkedBlock() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.chunkedBlock;
}

int AmpCommandSet::getChunkedSumFailures() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.chunkedSumFailures;
}

std::string AmpCommandSet::getIrLoaderText() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return state.irLoaderText;
}

} // namespace emu
