#include "commands/RawGetCommands.h"

#include "commands/CommandSession.h"
#include "commands/MessageExchange.h"
#include "common/LittleEndianWord.h"
#include "device/CommandFrame.h"
#include "device/SessionError.h"

namespace
{

// Get of command with the request payload; read takes the decoded reply
// payload and its length and returns a code. The error field is written only
// on failure.
template <typename Read>
bool rawGet(MVDeviceSession& session, uint8_t command, MVDevice* device, int sessionId,
            const uint8_t* request, int requestLength, Read read)
{
    ReplyFrame reply;
    MessageExchange::Payload payload;
    unsigned length = 0;
    int code = MessageExchange(command, session.timeoutMs)
                   .exchange(device, sessionId, MessageClass::Get, request, requestLength, MessageClass::Data,
                             reply);
    if (code == 0)
        code = MessageExchange::decodePayload(reply, payload, length);
    if (code == 0)
        code = read(payload, length);
    return storeFailure(session, code);
}

} // namespace

bool Query22GetSession::doRun(MVDevice* device, int sessionId)
{
    uint8_t request[4];
    writeLe32(request, query);
    return rawGet(*this, CommandId::Query22, device, sessionId, request, 4,
                  [this](const uint8_t* payload, unsigned)
                  {
                      value = payload[0];
                      return 0;
                  });
}

bool Value25GetSession::doRun(MVDevice* device, int sessionId)
{
    return rawGet(*this, CommandId::Value25, device, sessionId, nullptr, 0,
                  [this](const uint8_t* payload, unsigned)
                  {
                      value = payload[0];
                      return 0;
                  });
}

bool Values32GetSession::doRun(MVDevice* device, int sessionId)
{
    return rawGet(*this, CommandId::Values32, device, sessionId, nullptr, 0,
                  [this](const uint8_t* payload, unsigned)
                  {
                      first = readLe32(payload);
                      second = readLe32(payload + 4);
                      return 0;
                  });
}

bool Value33GetSession::doRun(MVDevice* device, int sessionId)
{
    return rawGet(*this, CommandId::Value33, device, sessionId, nullptr, 0,
                  [this](const uint8_t* payload, unsigned)
                  {
                      value = readLe32(payload);
                      return 0;
                  });
}

bool Values40GetSession::doRun(MVDevice* device, int sessionId)
{
    return rawGet(*this, CommandId::Values40, device, sessionId, nullptr, 0,
                  [this](const uint8_t* payload, unsigned)
                  {
                      first = readLe32(payload);
                      second = readLe32(payload + 4);
                      third = readLe32(payload + 8);
                      return 0;
                  });
}

bool Byte50GetSession::doRun(MVDevice* device, int sessionId)
{
    return rawGet(*this, CommandId::Byte50, device, sessionId, nullptr, 0,
                  [this](const uint8_t* payload, unsigned length)
                  {
                      if (length != 1)
                          return int(SessionError::BadLength);
                      value = payload[0];
                      return 0;
                  });
}
