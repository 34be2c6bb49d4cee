// The MessagePack writer: the inline encoders out of line, and the handler
// call they share.
#include "commands/MessagePack.h"
#include "commands/MessagePackWriterInline.h"

bool mpk_detail::reserveFromHandler(PackContext& context, uint64_t n)
{
    if (context.returnCode != MPK_RC_OK)
        return false;
    if (context.overflowHandler == nullptr || n > UINT32_MAX)
    {
        context.returnCode = MPK_RC_BUFFER_OVERFLOW;
        return false;
    }
    const int result = context.overflowHandler(context, static_cast<uint32_t>(n));
    if (result != 0)
    {
        context.returnCode = result;
        return false;
    }
    return true;
}

int initPackContext(PackContext& context, uint8_t* buffer, uint32_t length)
{
    context.start = buffer;
    context.current = buffer;
    context.end = buffer != nullptr ? buffer + length : nullptr;
    context.compatible = false;
    context.returnCode = MPK_RC_OK;
    context.errorNumber = 0;
    context.overflowHandler = nullptr;
    return MPK_RC_OK;
}

void packUnsigned(PackContext& context, uint64_t value)
{
    mpk_detail::writeUnsigned(context, value);
}

void packString(PackContext& context, const void* data, uint32_t length)
{
    mpk_detail::writeString(context, data, length);
}

void packArraySize(PackContext& context, uint32_t count)
{
    mpk_detail::writeArraySize(context, count);
}

void packFloat(PackContext& context, float value)
{
    mpk_detail::writeFloat(context, value);
}

void packBoolean(PackContext& context, bool value)
{
    mpk_detail::writeBoolean(context, value);
}
