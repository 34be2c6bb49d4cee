#include "presets/ModuleTables.h"

#include <initializer_list>
#include <utility>

namespace mvhw
{
namespace
{

using Row = std::pair<int, const char*>;

// Forward table: the first row of a text wins, later duplicates are dropped.
TextToNumberTable buildForward(std::initializer_list<Row> rows)
{
    TextToNumberTable table;
    for (const Row& row : rows)
        table.emplace(row.second, row.first);
    return table;
}

// Reverse table: every row (numbers are unique within a list).
NumberToTextTable buildReverse(std::initializer_list<Row> rows)
{
    NumberToTextTable table;
    for (const Row& row : rows)
        table.emplace(row.first, row.second);
    return table;
}

// Each list hands a temporary array of its rows to a builder; the array goes
// away once the map exists.
template <typename Build> auto withModuleRows(Build build)
{
    return build({
        {0, "mavo.preamp"},
        {1, "mavo.crunchpreamp"},
        {2, "mavo.glassypreamp"},
        {3, "mavo.metalpreamp"},
        {4, "mavo.eq1"},
        {5, "mavo.eq2"},
        {6, "mavo.peaveyeq1"},
        {7, "mavo.peaveyeq2"},
        {8, "mavo.poweramp"},
        {9, "mavo.crunchpoweramp"},
        {10, "mavo.glassypoweramp"},
        {11, "mavo.metalpoweramp"},
        {12, "mavo.tonestack"},
        {13, "mavo.transformer"},
        {14, "mavo.cab"},
        {15, "mavo.bdeq1"},
        {16, "mavo.bdeq2"},
        {17, "mavo.eq1"},
        {18, "mavo.eq2"},
        {19, "mavo.predistortion"},
        {20, "mavo.postdistortion"},
        {21, "mavo.filter1"},
        {22, "mavo.power"},
        {23, "mavo.CabAMCombine"},
        {24, "mavo.IRLoader"},
        {25, "mavo.noisegate"},
        {26, "mavo.filter2"},
        {27, "mavo.toneStage"},
        {28, "mavo.standardDelay"},
        {29, "mavo.slapbackDelay"},
        {30, "mavo.tapeDelay"},
        {32, "mavo.reverseDelay"},
        {33, "mavo.pingpongDelay"},
        {34, "mavo.chorusMod"},
        {35, "mavo.vibratoMod"},
        {36, "mavo.flangerMod"},
        {37, "mavo.phaserMod"},
        {38, "mavo.rotaryMod"},
        {39, "mavo.toneMatching"},
        {40, "mavo.tremoloMod"},
        {41, "mavo.panMod"},
        {42, "mavo.ringMod"},
        {43, "mavo.autoswellMod"},
        {44, "mavo.reverb"},
        {45, "mavo.bluespreamp"},
        {46, "mavo.basspreamp"},
        {47, "mavo.bluespoweramp"},
        {48, "mavo.basspoweramp"},
        {49, "mavo.cab2"},
        {50, "mavo.cab2celestion"},
    });
}

template <typename Build> auto withAmpNameRows(Build build)
{
    return build({
        {0, "None"},
        {1, "Clean Bright"},
        {2, "Clean Warm"},
        {3, "Clean Jazz"},
        {4, "Clean Glass"},
        {5, "Edge of Breakup"},
        {6, "Blues Drive"},
        {7, "Blues Hot"},
        {8, "Crunch Mild"},
        {9, "Crunch Classic"},
        {10, "Crunch Hot"},
        {11, "Rock Drive"},
        {12, "Rock Lead"},
        {13, "Hi-Gain Lead"},
        {14, "Hi-Gain Rhythm"},
        {15, "Metal Tight"},
        {16, "Metal Heavy"},
        {17, "Metal Modern"},
        {18, "Fuzz Vintage"},
        {19, "Fuzz Octave"},
        {20, "Bass Clean"},
        {21, "Bass Drive"},
        {22, "Bass Fuzz"},
        {23, "Acoustic Body"},
        {24, "Tweed Small"},
        {25, "Tweed Large"},
        {26, "Chime Class-A"},
        {27, "Boutique Drive"},
        {28, "Studio Clean 2"},
        {29, "Lead 100"},
        {30, "Drive 50-W"},
        {31, "Lo-Fi Radio"},
    });
}

// Single words whose numbers rise with their byte order.
template <typename Build> auto withAmpKeyRows(Build build)
{
    return build({
        {0, "acoustic"},
        {1, "bass"},
        {2, "blues"},
        {3, "clean"},
        {4, "crunch"},
        {5, "drive"},
        {6, "fuzz"},
        {7, "highgain"},
        {8, "jazz"},
        {9, "lead"},
        {10, "metal"},
    });
}

} // namespace

// Built in table order; each from a temporary array of its rows.
__attribute__((init_priority(moduleTablesInitPriority))) const TextToNumberTable moduleIdToNumber =
    withModuleRows(buildForward);
__attribute__((init_priority(moduleTablesInitPriority))) const TextToNumberTable ampNameToNumber =
    withAmpNameRows(buildForward);
__attribute__((init_priority(moduleTablesInitPriority))) const TextToNumberTable ampKeyToNumber =
    withAmpKeyRows(buildForward);
__attribute__((init_priority(moduleTablesInitPriority))) const NumberToTextTable moduleNumberToId =
    withModuleRows(buildReverse);
__attribute__((init_priority(moduleTablesInitPriority))) const NumberToTextTable ampNumberToName =
    withAmpNameRows(buildReverse);
__attribute__((init_priority(moduleTablesInitPriority))) const NumberToTextTable ampNumberToKey =
    withAmpKeyRows(buildReverse);

const TextToNumberTable& getModuleIdToNumber()
{
    return moduleIdToNumber;
}

const TextToNumberTable& getAmpNameToNumber()
{
    return ampNameToNumber;
}

const TextToNumberTable& getAmpKeyToNumber()
{
    return ampKeyToNumber;
}

const NumberToTextTable& getModuleNumberToId()
{
    return moduleNumberToId;
}

const NumberToTextTable& getAmpNumberToName()
{
    return ampNumberToName;
}

const NumberToTextTable& getAmpNumberToKey()
{
    return ampNumberToKey;
}

} // namespace mvhw
