#include "commands/MessageCommands.h"

#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "commands/MessagePackMessages.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

namespace
{

void setText(FixedString& field, const std::string& text)
{
    setFixedString(field, text.c_str(), static_cast<uint32_t>(text.size()));
}

// Sends text in a CString body with Set command.
bool setString(MVDeviceSession& session, uint8_t command, const std::string& text, MVDevice* device,
               int sessionId)
{
    mvmsgpack::CString request;
    setText(request.value.text, text);
    return storeResult(session, MessageExchange(command, session.timeoutMs).set(device, sessionId, request));
}

bool setByte(MVDeviceSession& session, uint8_t command, uint8_t value, MVDevice* device, int sessionId)
{
    return storeResult(session,
                       MessageExchange(command, session.timeoutMs).setByte(device, sessionId, &value));
}

} // namespace

bool DspParamGetSession::doRun(MVDevice* device, int sessionId)
{
    mvmsgpack::CGetDspParam request;
    setText(request.value.id, moduleId);
    request.value.index = parameterIndex;
    mvmsgpack::CFloat reply;
    const int code = MessageExchange(CommandId::DspParam, timeoutMs).get(device, sessionId, request, reply);
    value = reply.value;
    return storeResult(*this, code);
}

bool ReplaceDspModuleSession::doRun(MVDevice* device, int sessionId)
{
    mvmsgpack::CReplaceDspModule request;
    setText(request.value.firstId, firstModuleId);
    setText(request.value.secondId, secondModuleId);
    return storeResult(
        *this, MessageExchange(CommandId::ReplaceDspModule, timeoutMs).set(device, sessionId, request));
}

bool String17SetSession::doRun(MVDevice* device, int sessionId)
{
    return setString(*this, CommandId::String17, text, device, sessionId);
}

bool DspOnOffSetSession::doRun(MVDevice* device, int sessionId)
{
    mvmsgpack::CSetDspOnOff request;
    setText(request.value.id, moduleId);
    request.value.on = on;
    return storeResult(*this,
                       MessageExchange(CommandId::DspOnOff, timeoutMs).set(device, sessionId, request));
}

bool DspOnOffGetSession::doRun(MVDevice* device, int sessionId)
{
    mvmsgpack::CString request;
    setText(request.value.text, moduleId);
    mvmsgpack::CBool reply;
    const int code = MessageExchange(CommandId::DspOnOff, timeoutMs).get(device, sessionId, request, reply);
    on = reply.value ? 1 : 0;
    return storeResult(*this, code);
}

bool String23SetSession::doRun(MVDevice* device, int sessionId)
{
    return setString(*this, CommandId::String23, text, device, sessionId);
}

bool SerialNumberSetSession::doRun(MVDevice* device, int sessionId)
{
    return setString(*this, CommandId::SerialNumber, serialNumber, device, sessionId);
}

bool Int32ArrayGetSession::doRun(MVDevice* device, int sessionId)
{
    entries.clear();
    mvmsgpack::CInt32Array request(keys);
    mvmsgpack::CInt32Array reply;
    const int code = MessageExchange(CommandId::Int32Array, timeoutMs).get(device, sessionId, request, reply);
    if (code != 0)
        return storeResult(*this, code);
    if (reply.value.size() != keys.size())
        return storeResult(*this, SessionError::BadLength);
    entries.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        entries.push_back(Int32ArrayEntry{keys[i], reply.value[i], {0, 0}});
    return storeResult(*this, SessionError::None);
}

bool Flag44SetSession::doRun(MVDevice* device, int sessionId)
{
    if (value > 1)
        return storeResult(*this, SessionError::InvalidRequest);
    return setByte(*this, CommandId::Flag44, value, device, sessionId);
}

bool SwitchPresetSession::doRun(MVDevice* device, int sessionId)
{
    if (second > 127)
        return storeResult(*this, SessionError::InvalidRequest);
    mvmsgpack::CSwitchPreset request;
    request.value.first = first;
    request.value.second = second;
    return storeResult(*this,
                       MessageExchange(CommandId::SwitchPreset, timeoutMs).set(device, sessionId, request));
}

bool Byte96SetSession::doRun(MVDevice* device, int sessionId)
{
    return setByte(*this, CommandId::Byte96, value, device, sessionId);
}

bool Byte97SetSession::doRun(MVDevice* device, int sessionId)
{
    return setByte(*this, CommandId::Byte97, value, device, sessionId);
}

bool Float98SetSession::doRun(MVDevice* device, int sessionId)
{
    mvmsgpack::CFloat request;
    request.value = value;
    return storeResult(*this, MessageExchange(CommandId::Float98, timeoutMs).set(device, sessionId, request));
}
