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

// The tables are namespace-scope objects, built in this order during static
// initialization at this init_priority rank, so before every static object
// without a rank, whose initializers may therefore read them; destroyed in
// the reverse order at exit.
constexpr int moduleTablesInitPriority = 300;

extern const TextToNumberTable moduleIdToNumber;
extern const TextToNumberTable ampNameToNumber;
extern const TextToNumberTable ampKeyToNumber;
extern const NumberToTextTable moduleNumberToId;
extern const NumberToTextTable ampNumberToName;
extern const NumberToTextTable ampNumberToKey;

// Each returns its table, the same object on every call.
const TextToNumberTable& getModuleIdToNumber();
const NumberToTextTable& getModuleNumberToId();
const TextToNumberTable& getAmpNameToNumber();
const NumberToTextTable& getAmpNumberToName();
const TextToNumberTable& getAmpKeyToNumber();
const NumberToTextTable& getAmpNumberToKey();

} // namespace mvhw
