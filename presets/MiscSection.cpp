#include "presets/MiscSection.h"

#include "common/LittleEndianWord.h"
#include "presets/PresetReadCursor.h"

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>

#include <cstring>
#include <stdexcept>

namespace
{

using mvhw::PresetReadCursor;

// The member of an object, or null when it is missing or the value is null.
// jsoncpp refuses any other kind of value with Json::LogicError.
const Json::Value& member(const Json::Value& value, const char* key)
{
    static const Json::Value null;
    const Json::Value* found = value.find(key, key + std::strlen(key));
    return found != nullptr ? *found : null;
}

class PresetSectionConverter
{
public:
    virtual ~PresetSectionConverter() = default;
    // The section's bytes; empty when the preset holds nothing for it.
    virtual std::vector<uint8_t> toBinary(const Json::Value& preset) const = 0;
    // Reads the section at the cursor into the preset; false on failure.
    virtual bool fromBinary(PresetReadCursor& cursor, Json::Value& preset) const = 0;
};

namespace Uniform
{

class SignatureSectionConverter : public PresetSectionConverter
{
public:
    explicit SignatureSectionConverter(uint32_t id) : sectionId(id) {}

    const uint32_t sectionId;
};

// Writes its children's sections as records {id, length, bytes} behind a
// record count, padded to a multiple of 4 bytes as a whole.
class SignatureSectionConverterNode : public SignatureSectionConverter
{
public:
    using SignatureSectionConverter::SignatureSectionConverter;

    std::vector<uint8_t> toBinary(const Json::Value& preset) const override
    {
        std::vector<uint8_t> out(4, 0);
        uint32_t count = 0;
        for (const SignatureSectionConverter* child : children)
        {
            const std::vector<uint8_t> section = child->toBinary(preset);
            if (section.empty())
                continue;
            if (section.size() > UINT32_MAX)
                throw std::length_error("section too large for its record");
            ++count;
            appendLe32(out, child->sectionId);
            appendLe32(out, uint32_t(section.size()));
            out.insert(out.end(), section.begin(), section.end());
        }
        if (count == 0)
            return {};
        writeLe32(out.data(), count);
        out.resize((out.size() + 3) / 4 * 4, 0);
        return out;
    }

    // A child reads only its own record's bytes, so it can never run past the
    // record; a record that does not fit in the data is refused. No bytes at
    // all is what a node whose children wrote nothing leaves, and reads as an
    // empty container.
    bool fromBinary(PresetReadCursor& cursor, Json::Value& preset) const override
    {
        if (cursor.remaining() == 0)
            return true;
        uint32_t count = 0;
        if (!cursor.readWord(count))
            return false;
        for (uint32_t i = 0; i < count; ++i)
        {
            uint32_t id = 0;
            uint32_t length = 0;
            if (!cursor.readWord(id) || !cursor.readWord(length))
                return false;
            if (cursor.remaining() < length)
                return false;
            const SignatureSectionConverter* reader = childWithId(id);
            if (reader != nullptr)
            {
                const std::vector<uint8_t> record(cursor.position(), cursor.position() + length);
                PresetReadCursor recordCursor{0, &record};
                if (!reader->fromBinary(recordCursor, preset))
                    return false;
            }
            cursor.skip(length);
        }
        return true;
    }

protected:
    // Not owned.
    std::vector<SignatureSectionConverter*> children;

private:
    const SignatureSectionConverter* childWithId(uint32_t id) const
    {
        for (const SignatureSectionConverter* child : children)
        {
            if (child->sectionId == id)
                return child;
        }
        return nullptr;
    }
};

// The IR loader text: a byte count, then the bytes.
class PresetMiscSectionIrLoderConverter : public SignatureSectionConverter
{
public:
    static constexpr uint32_t id = 62347; // 0x0000F38B

    PresetMiscSectionIrLoderConverter() : SignatureSectionConverter(id) {}

    std::vector<uint8_t> toBinary(const Json::Value& preset) const override
    {
        const Json::Value& misc = member(member(preset, "sigPath"), mvhw::miscSectionName());
        if (misc.type() != Json::objectValue)
            return {};
        const Json::Value& irloader = member(misc, mvhw::irloaderSectionName());
        if (irloader.type() != Json::objectValue)
            return {};
        const Json::Value& value = member(irloader, "value");
        if (value.type() != Json::stringValue)
            return {};
        const std::string text = value.asString();
        if (text.size() > UINT32_MAX - 4)
            throw std::length_error("IR loader text too long");
        std::vector<uint8_t> out;
        out.reserve(4 + text.size());
        appendLe32(out, uint32_t(text.size()));
        out.insert(out.end(), text.begin(), text.end());
        return out;
    }

    bool fromBinary(PresetReadCursor& cursor, Json::Value& preset) const override
    {
        uint32_t count = 0;
        if (!cursor.readWord(count))
            return false;
        if (count == 0)
            return true;
        if (cursor.remaining() < count)
            return false;
        Json::Value irloader(Json::objectValue);
        irloader["value"] = std::string(reinterpret_cast<const char*>(cursor.position()), count);
        cursor.skip(count);
        preset["sigPath"][mvhw::miscSectionName()][mvhw::irloaderSectionName()].swap(irloader);
        return true;
    }
};

// The misc section: a node whose one child is the IR loader. It points into
// itself, so it is neither copied nor moved.
class PresetMiscSectionConverter : public SignatureSectionConverterNode
{
public:
    static constexpr uint32_t id = 258954; // 0x0003F38A

    PresetMiscSectionConverter() : SignatureSectionConverterNode(id) { children.push_back(&irLoader); }
    PresetMiscSectionConverter(const PresetMiscSectionConverter&) = delete;
    PresetMiscSectionConverter& operator=(const PresetMiscSectionConverter&) = delete;

private:
    PresetMiscSectionIrLoderConverter irLoader;
};

} // namespace Uniform
} // namespace

namespace mvhw
{

const char* miscSectionName()
{
    return "misc";
}

const char* irloaderSectionName()
{
    return "irloader";
}

std::string miscSectionToJson(const uint8_t* data, uint32_t offset, uint32_t length)
{
    if (data == nullptr && length != 0)
        return {};
    try
    {
        std::vector<uint8_t> bytes;
        if (length != 0)
            bytes.assign(data + offset, data + offset + length);
        PresetReadCursor cursor{0, &bytes};
        Json::Value preset;
        const Uniform::PresetMiscSectionConverter converter;
        if (!converter.fromBinary(cursor, preset))
            return {};
        Json::StyledWriter writer;
        return writer.write(preset);
    }
    catch (...)
    {
        return {};
    }
}

std::vector<uint8_t> jsonToMiscSection(const std::string& jsonText)
{
    try
    {
        Json::Reader reader;
        Json::Value preset;
        if (!reader.parse(jsonText, preset))
            return {};
        const Uniform::PresetMiscSectionConverter converter;
        return converter.toBinary(preset);
    }
    catch (...)
    {
        return {};
    }
}

} // namespace mvhw
