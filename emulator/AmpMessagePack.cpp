#include "emulator/AmpMessagePack.h"

#include <cstring>

namespace emu
{

bool MpReader::take(std::size_t n, const uint8_t*& at)
{
    if (data.size() - pos < n)
        return false;
    at = data.data() + pos;
    pos += n;
    return true;
}

uint64_t MpReader::bigEndian(const uint8_t* at, std::size_t n) const
{
    uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i)
        value = value << 8 | at[i];
    return value;
}

bool MpReader::next(MpItem& item)
{
    const uint8_t* at = nullptr;
    if (!take(1, at))
        return false;
    const uint8_t type = *at;
    item = MpItem();
    std::size_t size = 0;
    if (type <= 0x7F)
    {
        item.kind = MpItem::Kind::Unsigned;
        item.number = type;
        return true;
    }
    if (type >= 0xCC && type <= 0xCF)
    {
        size = std::size_t(1) << (type - 0xCC);
        if (!take(size, at))
            return false;
        item.kind = MpItem::Kind::Unsigned;
        item.number = bigEndian(at, size);
        return true;
    }
    if ((type & 0xE0) == 0xA0 || type == 0xD9 || type == 0xDA)
    {
        std::size_t length = type & 0x1F;
        if (type == 0xD9 || type == 0xDA)
        {
            const std::size_t lengthBytes = type == 0xD9 ? 1 : 2;
            if (!take(lengthBytes, at))
                return false;
            length = std::size_t(bigEndian(at, lengthBytes));
        }
        if (!take(length, at))
            return false;
        item.kind = MpItem::Kind::Str;
        item.text.assign(reinterpret_cast<const char*>(at), length);
        return true;
    }
    if (type == 0xCA)
    {
        if (!take(4, at))
            return false;
        const uint32_t bits = uint32_t(bigEndian(at, 4));
        item.kind = MpItem::Kind::Float;
        std::memcpy(&item.real, &bits, 4);
        return true;
    }
    if (type == 0xC2 || type == 0xC3)
    {
        item.kind = MpItem::Kind::Boolean;
        item.flag = type == 0xC3;
        return true;
    }
    if ((type & 0xF0) == 0x90 || type == 0xDC || type == 0xDD)
    {
        item.kind = MpItem::Kind::Array;
        if ((type & 0xF0) == 0x90)
            item.number = type & 0x0F;
        else
        {
            size = type == 0xDC ? 2 : 4;
            if (!take(size, at))
                return false;
            item.number = bigEndian(at, size);
        }
        return true;
    }
    return false;
}

bool MpReader::nextUnsigned(uint64_t& value)
{
    MpItem item;
    if (!next(item) || item.kind != MpItem::Kind::Unsigned)
        return false;
    value = item.number;
    return true;
}

bool MpReader::nextString(std::string& text)
{
    uint64_t length = 0;
    MpItem item;
    if (!nextUnsigned(length) || !next(item) || item.kind != MpItem::Kind::Str || item.text.size() != length)
        return false;
    text = item.text.substr(0, item.text.find('\0'));
    return true;
}

void mpWriteUnsigned(std::vector<uint8_t>& out, uint64_t value)
{
    std::size_t size = 0;
    if (value <= 0x7F)
    {
        out.push_back(uint8_t(value));
        return;
    }
    if (value <= 0xFF)
    {
        out.push_back(0xCC);
        size = 1;
    }
    else if (value <= 0xFFFF)
    {
        out.push_back(0xCD);
        size = 2;
    }
    else if (value <= 0xFFFFFFFFu)
    {
        out.push_back(0xCE);
        size = 4;
    }
    else
    {
        out.push_back(0xCF);
        size = 8;
    }
    for (std::size_t i = size; i-- > 0;)
        out.push_back(uint8_t(value >> (8 * i)));
}

void mpWriteFloat(std::vector<uint8_t>& out, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, 4);
    out.push_back(0xCA);
    for (int i = 3; i >= 0; --i)
        out.push_back(uint8_t(bits >> (8 * i)));
}

void mpWriteBoolean(std::vector<uint8_t>& out, bool value)
{
    out.push_back(value ? 0xC3 : 0xC2);
}

void mpWriteArrayHeader(std::vector<uint8_t>& out, uint32_t count)
{
    if (count <= 15)
        out.push_back(uint8_t(0x90 | count));
    else if (count <= 0xFFFF)
    {
        out.push_back(0xDC);
        out.push_back(uint8_t(count >> 8));
        out.push_back(uint8_t(count));
    }
    else
    {
        out.push_back(0xDD);
        for (int i = 3; i >= 0; --i)
            out.push_back(uint8_t(count >> (8 * i)));
    }
}

} // namespace emu
