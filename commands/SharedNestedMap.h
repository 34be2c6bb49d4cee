#pragma once

#include <cstdint>
#include <map>

// A process-wide ordered map from a 32-bit key to an ordered map of 8-byte
// entries (a 32-bit key and a 32-bit value). Created empty on the first call,
// destroyed at exit. No command reads or fills it; it is not synchronised.
using SharedNestedMap = std::map<uint32_t, std::map<uint32_t, uint32_t>>;

SharedNestedMap& getSharedNestedMap();
