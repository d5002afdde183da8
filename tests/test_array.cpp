#include <gtest/gtest.h>
#include "model/APArray.h"

struct Vec3 { double x, y, z; };

TEST(APArray, ElementAtGrowsAndZeroFills)
{
    APArray<int> a;
    a.ElementAt(5) = 7;
    EXPECT_EQ(a.GetCount(), 6u);
    EXPECT_EQ(a.GetCapacity(), 6u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], 0);
    EXPECT_EQ(a[5], 7);
    a.ElementAt(6) = 1; // doubles past the needed size
    EXPECT_EQ(a.GetCapacity(), 12u);
}

TEST(APArray, AppendDoublesCapacity)
{
    APArray<int> a;
    unsigned seen[5];
    for (int i = 0; i < 5; ++i) {
        a.Append(i);
        seen[i] = a.GetCapacity();
    }
    EXPECT_EQ(seen[0], 1u);
    EXPECT_EQ(seen[1], 2u);
    EXPECT_EQ(seen[2], 4u);
    EXPECT_EQ(seen[3], 4u);
    EXPECT_EQ(seen[4], 8u);
    a.Append(a[0]); // a value from inside the array survives the reallocation
    EXPECT_EQ(a[5], 0);
}

TEST(APArray, BoundsAreUnsigned)
{
    APArray<int> a;
    EXPECT_THROW(a.ElementAt(-1), std::out_of_range);
    EXPECT_THROW(a.ElementAt(0x7fffffffu), std::out_of_range);
    EXPECT_THROW(a.SetSize(0x80000000u), std::out_of_range);
    EXPECT_EQ(a.GetCount(), 0u);
    EXPECT_THROW(a.GetAt(0), std::out_of_range); // reads never grow
    EXPECT_EQ(a.GetCount(), 0u);
}

TEST(APArray, SetSizeReservesExactlyAndShrinksOnlyTheCount)
{
    APArray<Vec3> a;
    a.SetSize(3);
    EXPECT_EQ(a.GetCapacity(), 3u);
    EXPECT_EQ(a[2].z, 0.0);
    a.SetSize(1);
    EXPECT_EQ(a.GetCount(), 1u);
    EXPECT_EQ(a.GetCapacity(), 3u);
}

TEST(APArray, InsertRemoveAndFind)
{
    APArray<int> a;
    for (int v : {1, 2, 3}) a.Append(v);
    a.InsertAt(1, 9);
    a.InsertAt(-1, 5);  // ignored
    a.InsertAt(10, 4);  // appends
    ASSERT_EQ(a.Count(), 5);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[1], 9);
    EXPECT_EQ(a[2], 2);
    EXPECT_EQ(a[4], 4);

    int at = 0;
    EXPECT_TRUE(a.Find(2, &at));
    EXPECT_EQ(at, 2);
    EXPECT_FALSE(a.Find(2, &at, 5));
    EXPECT_EQ(at, -1);
    EXPECT_FALSE(a.Find(42, &at));

    EXPECT_TRUE(a.RemoveAt(1, 2));
    EXPECT_EQ(a.Count(), 3);
    EXPECT_EQ(a[1], 3);
    EXPECT_FALSE(a.RemoveAt(3, 1));
    EXPECT_FALSE(a.RemoveAt(-1, 1));
    EXPECT_TRUE(a.RemoveAt(1, 10)); // past the end cuts
    EXPECT_EQ(a.Count(), 1);
    EXPECT_EQ(a.GetCapacity(), 8u) << "capacity never shrinks";
}

TEST(APArray, AppendArrayAndPlainStructs)
{
    APArray<Vec3> a;
    Vec3 v[2] = {{1, 2, 3}, {4, 5, 6}};
    a.AppendArray(v, 0);
    EXPECT_EQ(a.GetCount(), 0u);
    a.AppendArray(v, 2);
    ASSERT_EQ(a.Count(), 2);
    EXPECT_EQ(a[1].y, 5.0);
    int at;
    EXPECT_TRUE(a.Find(Vec3{4, 5, 6}, &at));
    EXPECT_EQ(at, 1);
}
