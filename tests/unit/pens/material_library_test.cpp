#include "pens/MaterialLibrary.h"


#include <gtest/gtest.h>

using namespace grittor;

namespace {

class MaterialLibraryTest : public ::testing::Test {
protected:
    TPens &Pen(int material, int pen, int32_t blowspeed = 10)
    {
        TPens &p = lib.FindOrAddPen(material, pen);
        p.SetBlowSpeed(blowspeed);
        return p;
    }
    std::vector<std::pair<int, int>> Table() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto &p : lib.PenTable())
            out.emplace_back(p->Material, p->pen);
        return out;
    }
    TMaterialLibrary lib;
};

using Pairs = std::vector<std::pair<int, int>>;

} // namespace

TEST_F(MaterialLibraryTest, NamesAreUniqueByExactComparison)
{
    EXPECT_EQ(lib.AddMaterial("Granite"), 0);
    EXPECT_EQ(lib.AddMaterial("Marble"), 1);
    EXPECT_EQ(lib.AddMaterial("Granite"), -1);
    EXPECT_EQ(lib.AddMaterial("granite"), 2); // letter case makes a different name
    EXPECT_EQ(lib.AddMaterial("Granite "), 3);
    EXPECT_EQ(lib.AddMaterial(""), -1);
    EXPECT_EQ(lib.MaterialNames(), (std::vector<std::string>{"Granite", "Marble", "granite", "Granite "}));

    EXPECT_FALSE(lib.RenameMaterial(1, "Marble")); // its own name is present too
    EXPECT_FALSE(lib.RenameMaterial(1, "Granite"));
    EXPECT_FALSE(lib.RenameMaterial(1, ""));
    EXPECT_FALSE(lib.RenameMaterial(4, "Slate"));
    EXPECT_FALSE(lib.RenameMaterial(-1, "Slate"));
    EXPECT_TRUE(lib.RenameMaterial(1, "MARBLE"));
    EXPECT_EQ(lib.MaterialNames()[1], "MARBLE");
}

TEST_F(MaterialLibraryTest, RenamedMaterialKeepsItsPens)
{
    lib.AddMaterial("A");
    lib.AddMaterial("B");
    Pen(1, 3, 17);
    ASSERT_TRUE(lib.RenameMaterial(1, "Basalt"));
    ASSERT_NE(lib.FindPen(1, 3), nullptr);
    EXPECT_EQ(lib.FindPen(1, 3)->blowspeed, 17);
}

TEST_F(MaterialLibraryTest, DeletingAMaterialRemovesItsPensAndRenumbersTheLaterOnes)
{
    for (const char *n : {"A", "B", "C"})
        lib.AddMaterial(n);
    // Interleaved so the walk meets consecutive records to remove.
    Pen(0, 1);
    Pen(1, 1);
    Pen(1, 2);
    Pen(2, 1, 21);
    Pen(1, 3);
    Pen(0, 2);
    Pen(2, 5, 22);
    EXPECT_EQ(lib.CountPensOfMaterial(1), 3);

    lib.SetSelected(1);
    lib.DeleteMaterial(1);
    EXPECT_EQ(lib.MaterialNames(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(Table(), (Pairs{{0, 1}, {1, 1}, {0, 2}, {1, 5}}));
    EXPECT_EQ(lib.FindPen(1, 1)->blowspeed, 21);
    EXPECT_EQ(lib.FindPen(1, 5)->blowspeed, 22);
    EXPECT_EQ(lib.Selected(), 1); // C moved into B's place and is selected
}

TEST_F(MaterialLibraryTest, SelectionFollowsTheDeletedMaterialsNeighbours)
{
    for (const char *n : {"A", "B", "C"})
        lib.AddMaterial(n);
    lib.SetSelected(2);
    lib.DeleteMaterial(0);
    EXPECT_EQ(lib.Selected(), 1); // still C
    lib.DeleteMaterial(1);                // C itself, the last one: the first is selected
    EXPECT_EQ(lib.Selected(), 0);
    lib.DeleteMaterial(0);
    EXPECT_EQ(lib.Selected(), -1);
    EXPECT_TRUE(lib.MaterialNames().empty());
    lib.DeleteMaterial(0); // nothing left to delete: no effect
    EXPECT_EQ(lib.Selected(), -1);
}

TEST_F(MaterialLibraryTest, FindOrAddPenUpdatesInsteadOfDuplicating)
{
    lib.AddMaterial("A");
    TPens &first = Pen(0, 4, 5);
    TPens &again = Pen(0, 4, 6);
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(lib.PenTable().size(), 1u);
    EXPECT_EQ(lib.FindPen(0, 4)->blowspeed, 6);
    EXPECT_EQ(lib.FindPen(1, 4), nullptr);
}

TEST_F(MaterialLibraryTest, CopySkipsMissingSourcesAndUpdatesExistingRecords)
{
    lib.AddMaterial("From");
    lib.AddMaterial("To");
    TPens &s1 = Pen(0, 1, 20);
    s1.SetPasses(4);
    s1.SetTimes(4);
    s1.SetRadius(2032);
    s1.SetVertPer(2);
    s1.SetMargin({3.5L, -1.5L});
    s1.border = 1;
    s1.fill = 1;
    Pen(0, 3, 13);

    // The destination's own pen 1 has fewer passes and a smaller radius: the
    // copy must raise passes and radius before it sets Times and the margin.
    TPens &d1 = Pen(1, 1, 2);
    d1.SetPasses(1);
    d1.SetTimes(1);
    d1.SetRadius(381);
    d1.SetMargin({0, 0});

    EXPECT_EQ(lib.CopyPens(0, 1, {1, 2, 3}), 2); // no pen 2 in "From": skipped
    EXPECT_EQ(lib.CountPensOfMaterial(1), 2);
    const TPens *c1 = lib.FindPen(1, 1);
    EXPECT_EQ(c1, &d1);
    EXPECT_EQ(c1->Material, 1);
    EXPECT_EQ(c1->blowspeed, 20);
    EXPECT_EQ(c1->passes, 4);
    EXPECT_EQ(c1->Times, 4);
    EXPECT_EQ(c1->radius, 2032);
    EXPECT_EQ(c1->margin.x, 3.5L);
    EXPECT_EQ(c1->margin.y, -1.5L);
    EXPECT_EQ(c1->border, 1);
    EXPECT_EQ(lib.FindPen(1, 2), nullptr);
    ASSERT_NE(lib.FindPen(1, 3), nullptr);
    EXPECT_EQ(lib.FindPen(1, 3)->blowspeed, 13);
    // The source is untouched.
    EXPECT_EQ(lib.FindPen(0, 1)->Material, 0);
    EXPECT_EQ(lib.PenTable().size(), 4u);
}

TEST_F(MaterialLibraryTest, AMaterialAsAValueIsACopyWithItsPlotPensBordersAndColours)
{
    lib.AddMaterial("Glass");
    lib.AddMaterial("Stone");
    TPens &border = Pen(1, 7);
    border.border = 1;
    Pen(1, 2).SetColor(5);
    Pen(1, 10).SetColor(17);
    Pen(0, 3).border = 1; // another material's border pen

    TMaterialPens stone = lib.Pens(1);
    EXPECT_EQ(stone.Index, 1);
    EXPECT_EQ(stone.Name, "Stone");
    ASSERT_EQ(stone.Pens.size(), 3u);
    // Plot pens above 9 use the record of their last digit: 17 is pen 7's.
    ASSERT_NE(stone.ForPlotPen(17), nullptr);
    EXPECT_EQ(stone.ForPlotPen(17)->pen, 7);
    EXPECT_EQ(stone.ForPlotPen(10), nullptr); // pen 0 has no record; record 10 is never a plot pen's
    EXPECT_EQ(stone.ForPlotPen(-1), nullptr);
    const auto flags = stone.BorderFlags();
    EXPECT_TRUE(flags[7]);
    EXPECT_FALSE(flags[3]);
    const TPenColors colors = stone.PenColors();
    EXPECT_EQ(colors[2], PenColorTable[5].Value);
    EXPECT_EQ(colors[10], PenColorTable[17].Value);
    EXPECT_EQ(colors[3], NoPenColor);

    // A copy: editing the library afterwards does not change it.
    lib.FindPen(1, 2)->SetBlowSpeed(25);
    lib.DeleteMaterial(0);
    EXPECT_NE(stone.Find(2)->blowspeed, 25);
    EXPECT_EQ(stone.Name, "Stone");
    EXPECT_TRUE(lib.Pens(-1).Pens.empty());
    EXPECT_TRUE(lib.Pens(5).Name.empty());
}
