// The lookup of the data files: the installed folder first, then the
// checkout named by the build tree's marker; names cannot leave the folders.
#include "foundation/DataFiles.h"

#include "TestDoubles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace grittor;
namespace fs = std::filesystem;

namespace {

class DataFilesTest : public ::testing::Test {
protected:
    std::string Make(const std::string &relative, const std::string &text = "x")
    {
        const fs::path p = fs::path(root.path().toStdString()) / relative;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << text;
        return p.string();
    }
    std::string Dir(const std::string &relative) { return (fs::path(root.path().toStdString()) / relative).string(); }

    QTemporaryDir root;
};

} // namespace

TEST_F(DataFilesTest, TheInstalledFolderComesBeforeTheCheckout)
{
    const auto dirs = DataDirectories("/opt/g/bin", "/src/grittor", "../share/grittor");
    ASSERT_EQ(dirs.size(), 3u);
    EXPECT_EQ(dirs[0], "/opt/g/share/grittor");
    EXPECT_EQ(dirs[1], "/src/grittor/data");
    EXPECT_EQ(dirs[2], "/src/grittor");
    EXPECT_EQ(DataDirectories("/usr/bin", "", "../share/grittor"), std::vector<std::string>{"/usr/share/grittor"});
    EXPECT_TRUE(DataDirectories("", "", "../share/grittor").empty());
}

TEST_F(DataFilesTest, TheFirstFolderHoldingTheFileWins)
{
    const std::string installed = Make("usr/share/grittor/caltarget.jpg");
    Make("src/data/caltarget.jpg");
    const std::string sample = Make("src/samples/stencil-stone.plt");
    const std::vector<std::string> dirs = {Dir("usr/share/grittor"), Dir("src/data"), Dir("src")};
    EXPECT_EQ(FindDataFileIn("caltarget.jpg", dirs), installed);
    EXPECT_EQ(FindDataFileIn("samples/stencil-stone.plt", dirs), sample);
    EXPECT_EQ(FindDataFileIn("samples/none.plt", dirs), "");
    fs::create_directories(Dir("usr/share/grittor/samples"));
    EXPECT_EQ(FindDataFileIn("samples", dirs), "") << "a folder is no data file";
}

TEST_F(DataFilesTest, NamesThatLeaveTheFoldersFindNothing)
{
    Make("secret.txt");
    const std::string inside = Make("share/grittor/x");
    const std::vector<std::string> dirs = {Dir("share/grittor")};
    EXPECT_EQ(FindDataFileIn("../../secret.txt", dirs), "");
    EXPECT_EQ(FindDataFileIn("samples/../../../secret.txt", dirs), "");
    EXPECT_EQ(FindDataFileIn(inside, dirs), "") << "absolute names are not data file names";
    EXPECT_EQ(FindDataFileIn("", dirs), "");
}

TEST_F(DataFilesTest, TheMarkerIsReadBesideTheProgramOrOneFolderUp)
{
    Make("build/grittor-source-dir", "/work/checkout\n");
    fs::create_directories(Dir("build/tests"));
    EXPECT_EQ(ReadSourceMarker(Dir("build")), "/work/checkout");
    EXPECT_EQ(ReadSourceMarker(Dir("build/tests")), "/work/checkout");
    EXPECT_EQ(ReadSourceMarker(Dir("elsewhere")), "");
    EXPECT_EQ(ReadSourceMarker(""), "");
}

TEST(DataFiles, ThisBuildTreeFindsTheDemoPlotAndThePictureInTheCheckout)
{
    std::string found = FindDataFile("samples/stencil-stone.plt");
    ASSERT_FALSE(found.empty()) << "the build writes " << SourceMarkerName << " beside the programs";
    EXPECT_TRUE(fs::equivalent(found, fs::path(test::SourceDir()) / "samples/stencil-stone.plt"));
    found = FindDataFile("caltarget.jpg");
    ASSERT_FALSE(found.empty());
    EXPECT_TRUE(fs::equivalent(found, fs::path(test::SourceDir()) / "data/caltarget.jpg"));
}
