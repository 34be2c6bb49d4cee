#pragma once

// The preset vocabulary: DSP module identifiers, amp-model display names and
// model keys, each mapped to its number and back. The six tables are built
// during static initialization and never change afterwards, so any thread may
// read them without a lock.

#include <map>
#include <string>

namespace mvhw
{

using TextToNumberTable = std::map<std::string, int>;
using NumberToTextTable = std::map<int, std::string>;

// Module numbers that other preset code relies on.
constexpr int toneMatchingModuleNumber = 39;
constexpr int irLoaderModuleNumber = 24;

// The tables, built in this order before the program's entry and destroyed in
// the reverse order at exit. Code that runs during static initialization
// must use the accessors instead.
extern const TextToNumberTable& moduleIdToNumber;
extern const TextToNumberTable& ampNameToNumber;
extern const TextToNumberTable& ampKeyToNumber;
extern const NumberToTextTable& moduleNumberToId;
extern const NumberToTextTable& ampNumberToName;
extern const NumberToTextTable& ampNumberToKey;

// Each returns the same table on every call, built on first use.
const TextToNumberTable& getModuleIdToNumber();
const NumberToTextTable& getModuleNumberToId();
const TextToNumberTable& getAmpNameToNumber();
const NumberToTextTable& getAmpNumberToName();
const TextToNumberTable& getAmpKeyToNumber();
const NumberToTextTable& getAmpNumberToKey();

} // namespace mvhw
