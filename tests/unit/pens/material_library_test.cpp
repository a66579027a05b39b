#include "pens/MaterialLibrary.h"

#include "TestDoubles.h"
#include "foundation/option.h"

#include <gtest/gtest.h>

using namespace grittor;

namespace {

class MaterialLibraryTest : public ::testing::Test {
protected:
    TPens &Pen(int material, int pen, int32_t blowspeed = 10)
    {
        TPens &p = FindOrAddPen(material, pen);
        p.SetBlowSpeed(blowspeed);
        return p;
    }
    std::vector<std::pair<int, int>> Table() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto &p : Options().PenTable)
            out.emplace_back(p->Material, p->pen);
        return out;
    }
    test::TempSettings settings;
};

using Pairs = std::vector<std::pair<int, int>>;

} // namespace

TEST_F(MaterialLibraryTest, NamesAreUniqueByExactComparison)
{
    EXPECT_EQ(AddMaterial("Granite"), 0);
    EXPECT_EQ(AddMaterial("Marble"), 1);
    EXPECT_EQ(AddMaterial("Granite"), -1);
    EXPECT_EQ(AddMaterial("granite"), 2); // letter case makes a different name
    EXPECT_EQ(AddMaterial("Granite "), 3);
    EXPECT_EQ(AddMaterial(""), -1);
    EXPECT_EQ(Options().Materials, (std::vector<std::string>{"Granite", "Marble", "granite", "Granite "}));

    EXPECT_FALSE(RenameMaterial(1, "Marble")); // its own name is present too
    EXPECT_FALSE(RenameMaterial(1, "Granite"));
    EXPECT_FALSE(RenameMaterial(1, ""));
    EXPECT_FALSE(RenameMaterial(4, "Slate"));
    EXPECT_FALSE(RenameMaterial(-1, "Slate"));
    EXPECT_TRUE(RenameMaterial(1, "MARBLE"));
    EXPECT_EQ(Options().Materials[1], "MARBLE");
}

TEST_F(MaterialLibraryTest, RenamedMaterialKeepsItsPens)
{
    AddMaterial("A");
    AddMaterial("B");
    Pen(1, 3, 17);
    ASSERT_TRUE(RenameMaterial(1, "Basalt"));
    ASSERT_NE(FindPen(1, 3), nullptr);
    EXPECT_EQ(FindPen(1, 3)->blowspeed, 17);
}

TEST_F(MaterialLibraryTest, DeletingAMaterialRemovesItsPensAndRenumbersTheLaterOnes)
{
    for (const char *n : {"A", "B", "C"})
        AddMaterial(n);
    // Interleaved so the walk meets consecutive records to remove.
    Pen(0, 1);
    Pen(1, 1);
    Pen(1, 2);
    Pen(2, 1, 21);
    Pen(1, 3);
    Pen(0, 2);
    Pen(2, 5, 22);
    EXPECT_EQ(CountPensOfMaterial(1), 3);

    SetSelectedMaterial(1);
    DeleteMaterial(1);
    EXPECT_EQ(Options().Materials, (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(Table(), (Pairs{{0, 1}, {1, 1}, {0, 2}, {1, 5}}));
    EXPECT_EQ(FindPen(1, 1)->blowspeed, 21);
    EXPECT_EQ(FindPen(1, 5)->blowspeed, 22);
    EXPECT_EQ(SelectedMaterial(), 1); // C moved into B's place and is selected
}

TEST_F(MaterialLibraryTest, SelectionFollowsTheDeletedMaterialsNeighbours)
{
    for (const char *n : {"A", "B", "C"})
        AddMaterial(n);
    SetSelectedMaterial(2);
    DeleteMaterial(0);
    EXPECT_EQ(SelectedMaterial(), 1); // still C
    DeleteMaterial(1);                // C itself, the last one: the first is selected
    EXPECT_EQ(SelectedMaterial(), 0);
    DeleteMaterial(0);
    EXPECT_EQ(SelectedMaterial(), -1);
    EXPECT_TRUE(Options().Materials.empty());
    DeleteMaterial(0); // nothing left to delete: no effect
    EXPECT_EQ(SelectedMaterial(), -1);
}

TEST_F(MaterialLibraryTest, FindOrAddPenUpdatesInsteadOfDuplicating)
{
    AddMaterial("A");
    TPens &first = Pen(0, 4, 5);
    TPens &again = Pen(0, 4, 6);
    EXPECT_EQ(&first, &again);
    EXPECT_EQ(Options().PenTable.size(), 1u);
    EXPECT_EQ(FindPen(0, 4)->blowspeed, 6);
    EXPECT_EQ(FindPen(1, 4), nullptr);
}

TEST_F(MaterialLibraryTest, CopySkipsMissingSourcesAndUpdatesExistingRecords)
{
    AddMaterial("From");
    AddMaterial("To");
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

    EXPECT_EQ(CopyPens(0, 1, {1, 2, 3}), 2); // no pen 2 in "From": skipped
    EXPECT_EQ(CountPensOfMaterial(1), 2);
    const TPens *c1 = FindPen(1, 1);
    EXPECT_EQ(c1, &d1);
    EXPECT_EQ(c1->Material, 1);
    EXPECT_EQ(c1->blowspeed, 20);
    EXPECT_EQ(c1->passes, 4);
    EXPECT_EQ(c1->Times, 4);
    EXPECT_EQ(c1->radius, 2032);
    EXPECT_EQ(c1->margin.x, 3.5L);
    EXPECT_EQ(c1->margin.y, -1.5L);
    EXPECT_EQ(c1->border, 1);
    EXPECT_EQ(FindPen(1, 2), nullptr);
    ASSERT_NE(FindPen(1, 3), nullptr);
    EXPECT_EQ(FindPen(1, 3)->blowspeed, 13);
    // The source is untouched.
    EXPECT_EQ(FindPen(0, 1)->Material, 0);
    EXPECT_EQ(Options().PenTable.size(), 4u);
}
