#include "commands/IrLoaderFileSession.h"

#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "common/LittleEndianWord.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

#include <json/value.h>
#include <json/writer.h>

#include <algorithm>

std::string IrLoaderFileSession::buildText() const
{
    Json::Value file(Json::objectValue);
    file["wavFileName"] = wavFileName;
    file["wavBitDepth"] = wavBitDepth;
    file["wavSampleRate"] = static_cast<double>(wavSampleRate);
    Json::StyledWriter writer;
    std::string text = writer.write(file);
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; }),
               text.end());
    return text;
}

bool IrLoaderFileSession::doRun(MVDevice* device, int sessionId)
{
    if (wavFileName.size() > maxFileNameLength || checkTarget(device, sessionId) != 0)
        return storeFailure(*this, SessionError::InvalidRequest);
    const std::string text = buildText();
    // A 20-byte name keeps the text far below the payload buffer.
    MessageExchange::Payload payload = {};
    const auto n = static_cast<uint32_t>(text.size());
    if (n + 4 > sizeof payload)
        return storeFailure(*this, SessionError::InvalidRequest);
    writeLe32(payload, n);
    std::copy(text.begin(), text.end(), payload + 4);
    ReplyFrame reply;
    return storeFailure(*this, MessageExchange(CommandId::IrLoaderFile, timeoutMs)
                                   .exchange(device, sessionId, MessageClass::Set, payload,
                                             static_cast<int>(n + 4), MessageClass::Ack, reply));
}
