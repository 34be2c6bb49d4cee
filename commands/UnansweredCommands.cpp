#include "commands/UnansweredCommands.h"

#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "commands/MessagePackMessages.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

#include <cstring>

bool DspParamSetSession::doRun(MVDevice* device, int sessionId)
{
    if (checkTarget(device, sessionId) != 0)
        return storeFailure(*this, SessionError::InvalidRequest);
    mvmsgpack::CSetDspParam request;
    setFixedString(request.value.id, moduleId.c_str(), static_cast<uint32_t>(moduleId.size()));
    request.value.index = parameterIndex;
    request.value.value = value;
    MessageExchange::Payload payload = {};
    uint8_t* body = nullptr;
    unsigned length = 0;
    if (!request.pack(payload, sizeof payload, &body, &length))
        return storeFailure(*this, SessionError::InvalidRequest);
    return storeFailure(*this,
                        MessageExchange(CommandId::DspParam, timeoutMs)
                            .send(device, sessionId, MessageClass::Set, body, static_cast<int>(length)));
}

bool Value25SetSession::doRun(MVDevice* device, int sessionId)
{
    return storeFailure(*this, MessageExchange(CommandId::Value25, timeoutMs)
                                   .send(device, sessionId, MessageClass::Set, nullptr, 0));
}
