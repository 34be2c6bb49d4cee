// The start-up order, watched from inside a program that compiles the
// updater's start-up objects. Probes ranked between the stages record what
// exists when they run, and main records the tables before anything calls
// an accessor. The tables allocate one node per row while they are built, so
// counting allocations between two probes shows when they are built without
// reading a table before it exists.
#include "app/StyleConstants.h"
#include "device/Discovery.h"
#include "presets/ModuleTables.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace
{

// Constant-initialized, so the earliest initializer can count on it.
std::atomic<std::size_t> allocations{0};

void* allocate(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

} // namespace

// Every unaligned form, so that all of them pair malloc with free.
void* operator new(std::size_t size)
{
    if (void* p = allocate(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

namespace
{

using TableSizes = std::array<std::size_t, 6>;

// Read directly, never through an accessor.
TableSizes tableSizes()
{
    return {mvhw::moduleIdToNumber.size(), mvhw::ampNameToNumber.size(), mvhw::ampKeyToNumber.size(),
            mvhw::moduleNumberToId.size(), mvhw::ampNumberToName.size(), mvhw::ampNumberToKey.size()};
}

constexpr TableSizes expectedSizes = {48, 32, 11, 50, 32, 11};
constexpr std::size_t tableNodes = 48 + 32 + 11 + 50 + 32 + 11; // one per entry

// After the discovery's state, before the tables.
struct BeforeTables
{
    std::size_t allocationsSoFar = allocations.load();
};
__attribute__((init_priority((discoveryStateInitPriority + mvhw::moduleTablesInitPriority) / 2)))
BeforeTables beforeTables;

// After the tables, before the style constants.
struct AfterTables
{
    std::size_t allocationsSoFar = allocations.load();
    TableSizes sizes = tableSizes();
};
__attribute__((init_priority((mvhw::moduleTablesInitPriority + styleConstantsInitPriority) / 2)))
AfterTables afterTables;

// After the style constants, before every static object without a rank.
struct AfterStyleConstants
{
    std::array<juce::uint32, 5> colours = {colourTitleGrey.getARGB(), colourToastGrey.getARGB(),
                                           colourButtonGrey.getARGB(), colourLineGrey.getARGB(),
                                           colourTextGrey.getARGB()};
};
__attribute__((init_priority(styleConstantsInitPriority + 1))) AfterStyleConstants afterStyleConstants;

TableSizes sizesAtEntry{};

} // namespace

TEST(StartupOrder, TablesAreBuiltAfterTheDiscoveryStateAndBeforeTheStyleConstants)
{
    EXPECT_GE(afterTables.allocationsSoFar - beforeTables.allocationsSoFar, tableNodes)
        << "the tables' nodes are allocated between the two probes";
    EXPECT_EQ(afterTables.sizes, expectedSizes);
}

TEST(StartupOrder, StyleConstantsAreBuiltBeforeTheObjectsWithoutARank)
{
    EXPECT_EQ(afterStyleConstants.colours,
              (std::array<juce::uint32, 5>{0xff737373u, 0xff404040u, 0xff282828u, 0x80424242u, 0xffc8c8c8u}));
}

TEST(StartupOrder, TablesAreFullAtEntryAndTheAccessorsReturnThem)
{
    EXPECT_EQ(sizesAtEntry, expectedSizes);
    EXPECT_EQ(&mvhw::getModuleIdToNumber(), &mvhw::moduleIdToNumber);
    EXPECT_EQ(&mvhw::getAmpNameToNumber(), &mvhw::ampNameToNumber);
    EXPECT_EQ(&mvhw::getAmpKeyToNumber(), &mvhw::ampKeyToNumber);
    EXPECT_EQ(&mvhw::getModuleNumberToId(), &mvhw::moduleNumberToId);
    EXPECT_EQ(&mvhw::getAmpNumberToName(), &mvhw::ampNumberToName);
    EXPECT_EQ(&mvhw::getAmpNumberToKey(), &mvhw::ampNumberToKey);
}

int main(int argc, char** argv)
{
    sizesAtEntry = tableSizes();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
