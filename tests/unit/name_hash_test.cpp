#include "core/name_hash.h"

#include <gtest/gtest.h>

using namespace rk;

// Expected values worked out from the rule by hand: the seed "KQZRTW5173",
// a[j] = (a[j] + c[i] + c[i/2] + j + i) mod 199, digit j = a[j] mod 16.
TEST(NameHash, FixedTexts)
{
    // Empty text: the seed's codes mod 16: K=75->B Q=81->1 Z=90->A R=82->2 ...
    EXPECT_EQ(nameHash(L""), L"B1A2-475173");
    // "a" (97): a[0] = (75 + 97 + 97 + 0 + 0) mod 199 = 70 -> 6; a[1] = (81 + 195) mod 199 = 77 -> D.
    EXPECT_EQ(nameHash(L"a"), L"6D70-3763A7");
    EXPECT_EQ(nameHash(L"ABC"), L"A3FA-F565ED");
    EXPECT_EQ(nameHash(L"9999999999"), L"2257-308EE4");
    EXPECT_EQ(nameHash(L"http://127.0.0.1:18480/demo/renewkit.xml9999999999"), L"E614-8DDBCA");
}

TEST(NameHash, LongTextsStayElevenCharacters)
{
    std::wstring text(100000, L'\x4E2D');
    std::wstring h = nameHash(text);
    ASSERT_EQ(h.size(), 11u);
    EXPECT_EQ(h[4], L'-');
}
