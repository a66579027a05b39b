// The target picture decodes whole, and a damaged copy is refused rather
// than shown half grey.
#include "service/JpegDecoder.h"

#include "TestDoubles.h"

#include <QColor>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace grittor;

namespace {

std::string Picture()
{
    std::ifstream f(test::SourceDir() + "/data/caltarget.jpg", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

} // namespace

TEST(JpegDecoder, TheTargetPictureDecodesWhole)
{
    const std::string bytes = Picture();
    ASSERT_GT(bytes.size(), 20000u);
    std::string error;
    const QImage img = DecodeJpeg(bytes, error);
    ASSERT_FALSE(img.isNull()) << error;
    EXPECT_EQ(img.size(), QSize(472, 496));
    // White paper around the media, the dark frame of the media, and the
    // grey rail across the middle: the picture, not a grey fill.
    EXPECT_GT(qGray(img.pixel(5, 480)), 240);
    EXPECT_LT(qGray(img.pixel(70, 300)), 90);
    const int rail = qGray(img.pixel(100, 261));
    EXPECT_GT(rail, 180);
    EXPECT_LT(rail, 230);
    // The bottom rows decoded too.
    EXPECT_GT(qGray(img.pixel(460, 490)), 240);
}

TEST(JpegDecoder, ACutOrDamagedPictureIsRefusedWithAReason)
{
    const std::string bytes = Picture();
    ASSERT_FALSE(bytes.empty());
    std::string error;
    EXPECT_TRUE(DecodeJpeg(bytes.substr(0, bytes.size() / 2), error).isNull());
    EXPECT_NE(error.find("damaged"), std::string::npos) << error;

    std::string garbled = bytes;
    for (size_t i = 2000; i < 2200; ++i)
        garbled[i] = static_cast<char>(0xFF);
    error.clear();
    EXPECT_TRUE(DecodeJpeg(garbled, error).isNull());
    EXPECT_FALSE(error.empty());

    error.clear();
    EXPECT_TRUE(DecodeJpeg("not a picture at all", error).isNull());
    EXPECT_NE(error.find("not a readable JPEG picture"), std::string::npos) << error;
    error.clear();
    EXPECT_TRUE(DecodeJpeg("", error).isNull());
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_TRUE(DecodeJpegFile("/no/such/picture.jpg", error).isNull());
    EXPECT_NE(error.find("cannot read"), std::string::npos);
}
