// The engine heap and counted strings: every address below 2 GiB, live-block
// accounting, the shared empty string, and name ordering.
#include <gtest/gtest.h>

#include "heap.h"
#include "nxstring.h"

using namespace nx;

TEST(Heap, BlocksLieBelowTwoGigabytesAndAreCounted) {
    int64_t before = heapLiveBlocks();
    void *blocks[100];
    for (auto &b : blocks) {
        b = heapAlloc(1000);
        ASSERT_NE(b, nullptr);
        EXPECT_LT(reinterpret_cast<uintptr_t>(b), uintptr_t(1) << 31);
        EXPECT_EQ(static_cast<unsigned char *>(b)[999], 0);
    }
    EXPECT_EQ(heapLiveBlocks(), before + 100);
    for (auto &b : blocks) heapFree(b);
    EXPECT_EQ(heapLiveBlocks(), before);
}

TEST(Heap, ReallocKeepsContentAndZeroesTheTail) {
    auto *p = static_cast<unsigned char *>(heapAlloc(8));
    p[7] = 42;
    p = static_cast<unsigned char *>(heapRealloc(p, 4096));
    EXPECT_EQ(p[7], 42);
    EXPECT_EQ(p[4095], 0);
    heapFree(p);
}

TEST(Strings, CountedTextCarriesAnyByte) {
    NxStr s = strAlloc(std::string_view("a\0b", 3));
    EXPECT_EQ(strLen(s), 3u);
    EXPECT_EQ(s[1], 0);
    EXPECT_EQ(s[3], 0);
    strFree(s);
}

TEST(Strings, EmptyTextIsTheSharedHandleAndIsNeverFreed) {
    sharedEmpty();
    int64_t before = heapLiveBlocks();
    NxStr e = strAlloc("", 0);
    EXPECT_EQ(e, sharedEmpty());
    EXPECT_TRUE(isEmptyHandle(e));
    EXPECT_TRUE(isEmptyHandle(nullptr));
    strFree(e);
    strFree(nullptr);
    EXPECT_EQ(heapLiveBlocks(), before);
    EXPECT_EQ(cellStr(emptyStringCell()), sharedEmpty());
    EXPECT_EQ(strLen(nullptr), 0u);
}

TEST(Strings, NameOrderFoldsAsciiCaseOnly) {
    struct Case { const char *a, *b; bool cs; int sign; } cases[] = {
        {"abc", "ABC", false, 0}, {"abc", "ABC", true, 1}, {"ab", "abc", false, -1},
        {"_x", "a", false, -1},   {"Z", "a", false, 1},    {"\xe9", "\xc9", false, 1},
    };
    for (auto &c : cases) {
        int r = compareNames(c.a, c.b, c.cs);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}
