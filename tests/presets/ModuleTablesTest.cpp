#include "presets/ModuleTables.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

using namespace mvhw;

namespace
{

// Read during static initialization of this test, before main runs.
const size_t moduleIdsAtStartup = getModuleIdToNumber().size();
const size_t ampNamesAtStartup = getAmpNumberToName().size();

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
    const struct
    {
        int number;
        const char* id;
    } cases[] = {{0, "mavo.preamp"},        {3, "mavo.metalpreamp"},   {8, "mavo.poweramp"},
                 {24, "mavo.IRLoader"},     {30, "mavo.tapeDelay"},    {32, "mavo.reverseDelay"},
                 {39, "mavo.toneMatching"}, {45, "mavo.bluespreamp"},  {48, "mavo.basspoweramp"},
                 {49, "mavo.cab2"},         {50, "mavo.cab2celestion"}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(moduleIdToNumber.at(c.id), c.number) << c.id;
        EXPECT_EQ(moduleNumberToId.at(c.number), c.id) << c.number;
    }
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
