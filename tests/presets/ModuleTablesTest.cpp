#include "presets/ModuleTables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <set>

using namespace mvhw;

namespace
{

// Read during static initialization of this test, before main runs.
const size_t moduleIdsAtStartup = getModuleIdToNumber().size();
const size_t ampNamesAtStartup = getAmpNumberToName().size();

// The module list in its order. Only the first row of an identifier is in
// moduleIdToNumber; moduleNumberToId has every row.
const struct
{
    int number;
    const char* id;
    bool first;
} moduleRows[] = {
    {0, "mavo.preamp", true},
    {1, "mavo.crunchpreamp", true},
    {2, "mavo.glassypreamp", true},
    {3, "mavo.metalpreamp", true},
    {4, "mavo.eq1", true},
    {5, "mavo.eq2", true},
    {6, "mavo.peaveyeq1", true},
    {7, "mavo.peaveyeq2", true},
    {8, "mavo.poweramp", true},
    {9, "mavo.crunchpoweramp", true},
    {10, "mavo.glassypoweramp", true},
    {11, "mavo.metalpoweramp", true},
    {12, "mavo.tonestack", true},
    {13, "mavo.transformer", true},
    {14, "mavo.cab", true},
    {15, "mavo.bdeq1", true},
    {16, "mavo.bdeq2", true},
    {17, "mavo.eq1", false},
    {18, "mavo.eq2", false},
    {19, "mavo.predistortion", true},
    {20, "mavo.postdistortion", true},
    {21, "mavo.filter1", true},
    {22, "mavo.power", true},
    {23, "mavo.CabAMCombine", true},
    {24, "mavo.IRLoader", true},
    {25, "mavo.noisegate", true},
    {26, "mavo.filter2", true},
    {27, "mavo.toneStage", true},
    {28, "mavo.standardDelay", true},
    {29, "mavo.slapbackDelay", true},
    {30, "mavo.tapeDelay", true},
    {32, "mavo.reverseDelay", true},
    {33, "mavo.pingpongDelay", true},
    {34, "mavo.chorusMod", true},
    {35, "mavo.vibratoMod", true},
    {36, "mavo.flangerMod", true},
    {37, "mavo.phaserMod", true},
    {38, "mavo.rotaryMod", true},
    {39, "mavo.toneMatching", true},
    {40, "mavo.tremoloMod", true},
    {41, "mavo.panMod", true},
    {42, "mavo.ringMod", true},
    {43, "mavo.autoswellMod", true},
    {44, "mavo.reverb", true},
    {45, "mavo.bluespreamp", true},
    {46, "mavo.basspreamp", true},
    {47, "mavo.bluespoweramp", true},
    {48, "mavo.basspoweramp", true},
    {49, "mavo.cab2", true},
    {50, "mavo.cab2celestion", true},
};

struct Row
{
    int number;
    const char* text;
};

// The amp-model display names and model keys, each number and text once.
const Row ampNameRows[] = {
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
};

const Row ampKeyRows[] = {
    {0, "acoustic"}, {1, "bass"},     {2, "blues"}, {3, "clean"}, {4, "crunch"}, {5, "drive"},
    {6, "fuzz"},     {7, "highgain"}, {8, "jazz"},  {9, "lead"},  {10, "metal"},
};

// The two tables of a list hold exactly its rows, in both directions.
template <size_t N>
void expectRows(const NumberToTextTable& byNumber, const TextToNumberTable& byText, const Row (&rows)[N])
{
    EXPECT_EQ(byNumber.size(), N);
    EXPECT_EQ(byText.size(), N);
    for (const Row& row : rows)
    {
        const auto text = byNumber.find(row.number);
        ASSERT_NE(text, byNumber.end()) << row.number;
        EXPECT_EQ(text->second, row.text) << row.number;
        const auto number = byText.find(row.text);
        ASSERT_NE(number, byText.end()) << row.text;
        EXPECT_EQ(number->second, row.number) << row.text;
    }
}

} // namespace

TEST(ModuleTables, SizesAndBuiltBeforeEntry)
{
    EXPECT_EQ(moduleIdToNumber.size(), 48u);
    EXPECT_EQ(moduleNumberToId.size(), 50u);
    EXPECT_EQ(ampNameToNumber.size(), 32u);
    EXPECT_EQ(ampNumberToName.size(), 32u);
    EXPECT_EQ(ampKeyToNumber.size(), 11u);
    EXPECT_EQ(ampNumberToKey.size(), 11u);
    EXPECT_EQ(moduleIdsAtStartup, 48u);
    EXPECT_EQ(ampNamesAtStartup, 32u);
}

TEST(ModuleTables, AccessorsReturnTheTables)
{
    EXPECT_EQ(&getModuleIdToNumber(), &moduleIdToNumber);
    EXPECT_EQ(&getModuleNumberToId(), &moduleNumberToId);
    EXPECT_EQ(&getAmpNameToNumber(), &ampNameToNumber);
    EXPECT_EQ(&getAmpNumberToName(), &ampNumberToName);
    EXPECT_EQ(&getAmpKeyToNumber(), &ampKeyToNumber);
    EXPECT_EQ(&getAmpNumberToKey(), &ampNumberToKey);
    EXPECT_EQ(&getModuleIdToNumber(), &getModuleIdToNumber());
}

TEST(ModuleTables, DuplicateIdentifiersKeepTheFirstNumber)
{
    EXPECT_EQ(moduleIdToNumber.at("mavo.eq1"), 4);
    EXPECT_EQ(moduleIdToNumber.at("mavo.eq2"), 5);
    EXPECT_EQ(moduleNumberToId.at(4), "mavo.eq1");
    EXPECT_EQ(moduleNumberToId.at(17), "mavo.eq1");
    EXPECT_EQ(moduleNumberToId.at(5), "mavo.eq2");
    EXPECT_EQ(moduleNumberToId.at(18), "mavo.eq2");
}

TEST(ModuleTables, ModuleNumbers)
{
    size_t firstRows = 0;
    for (const auto& row : moduleRows)
    {
        const auto id = moduleNumberToId.find(row.number);
        ASSERT_NE(id, moduleNumberToId.end()) << row.number;
        EXPECT_EQ(id->second, row.id) << row.number;
        if (!row.first)
            continue;
        ++firstRows;
        const auto number = moduleIdToNumber.find(row.id);
        ASSERT_NE(number, moduleIdToNumber.end()) << row.id;
        EXPECT_EQ(number->second, row.number) << row.id;
    }
    EXPECT_EQ(moduleNumberToId.size(), std::size(moduleRows));
    EXPECT_EQ(moduleIdToNumber.size(), firstRows);
    EXPECT_EQ(toneMatchingModuleNumber, moduleIdToNumber.at("mavo.toneMatching"));
    EXPECT_EQ(irLoaderModuleNumber, moduleIdToNumber.at("mavo.IRLoader"));

    // Every identifier maps back to itself; 31 is the one unused number.
    for (const auto& row : moduleIdToNumber)
        EXPECT_EQ(moduleNumberToId.at(row.second), row.first);
    for (int number = 0; number <= 50; ++number)
        EXPECT_EQ(moduleNumberToId.count(number), number == 31 ? 0u : 1u) << number;
    for (const auto& row : moduleIdToNumber)
        EXPECT_NE(row.second, 31);
}

TEST(ModuleTables, LookupsAreExactAndInsertNothing)
{
    for (const char* miss :
         {"mavo.irloader", "MAVO.IRLOADER", "mavo.IRLoader ", " mavo.IRLoader", "", "mavo."})
        EXPECT_EQ(moduleIdToNumber.find(miss), moduleIdToNumber.end()) << '"' << miss << '"';
    EXPECT_EQ(moduleNumberToId.find(31), moduleNumberToId.end());
    EXPECT_EQ(moduleNumberToId.find(51), moduleNumberToId.end());
    EXPECT_EQ(moduleNumberToId.find(-1), moduleNumberToId.end());
    EXPECT_EQ(moduleIdToNumber.size(), 48u);
    EXPECT_EQ(moduleNumberToId.size(), 50u);
}

TEST(ModuleTables, AmpModelRows)
{
    expectRows(ampNumberToName, ampNameToNumber, ampNameRows);
    expectRows(ampNumberToKey, ampKeyToNumber, ampKeyRows);

    EXPECT_EQ(ampNumberToName.at(0), "None");
    EXPECT_EQ(ampNameToNumber.at("None"), 0);
    for (int number = 0; number <= 31; ++number)
    {
        const std::string& name = ampNumberToName.at(number);
        EXPECT_FALSE(name.empty());
        for (char c : name)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == ' ' || c == '-') << name;
        EXPECT_EQ(ampNameToNumber.at(name), number);
    }
    EXPECT_EQ(ampNumberToName.count(32), 0u);

    // Model keys: single words whose numbers rise with their byte order.
    int expected = 0;
    for (const auto& row : ampKeyToNumber)
    {
        EXPECT_EQ(row.second, expected++) << row.first;
        for (char c : row.first)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << row.first;
        EXPECT_EQ(ampNumberToKey.at(row.second), row.first);
    }
    EXPECT_EQ(expected, 11);
}
