#include "commands/SharedNestedMap.h"

static_assert(sizeof(std::map<uint32_t, uint32_t>::value_type) == 8, "8-byte entries");

SharedNestedMap& getSharedNestedMap()
{
    static SharedNestedMap map;
    return map;
}
