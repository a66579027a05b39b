// The bit-file viewer: one pixel per bit, black for 1, most significant bit
// on the left; the picture sized bytes-per-row x 8 by length / bytes-per-row.
#include "service/ReadAndDisplay.h"

#include "TestDoubles.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

bool Black(const QImage &img, int x, int y)
{
    return img.pixelColor(x, y) == QColor(Qt::black);
}

std::string Write(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.path() + "/bits.bi";
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path.toStdString();
}

} // namespace

TEST(BitPicture, EveryBitIsOnePixelMostSignificantFirst)
{
    const QByteArray bytes("\x80\x01\xff\x00\xaa", 5);
    const QImage img = TReadAndDisplayForm::BitPicture(bytes, 2);
    ASSERT_EQ(img.size(), QSize(16, 2)); // the fifth byte is no whole row
    EXPECT_TRUE(Black(img, 0, 0));
    for (int x = 1; x < 15; ++x)
        EXPECT_FALSE(Black(img, x, 0)) << x;
    EXPECT_TRUE(Black(img, 15, 0));
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(Black(img, x, 1), x < 8) << x;
    EXPECT_EQ(TReadAndDisplayForm::BitPicture(QByteArray(100, '\0'), 1, 40).height(), 40);
    EXPECT_TRUE(TReadAndDisplayForm::BitPicture(bytes, 0).isNull());
}

TEST(BitViewer, ReadsAFileWithTheBytesPerRowTyped)
{
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir, dir;
    LogOutput().SetDirectory(logDir.path().toStdString());
    TReadAndDisplayForm form;
    EXPECT_EQ(form.Bytes->text(), "25");
    QByteArray bytes(25 * 4 + 3, '\0');
    bytes[25] = '\x40'; // row 1, pixel 1
    const std::string path = Write(dir, bytes);
    dialogs.files.push_back(path);
    form.ReadFileButtonClick();
    ASSERT_EQ(dialogs.fileInitials.size(), 1u);
    EXPECT_EQ(dialogs.fileInitials[0], FromQ(QDir::tempPath()) + "/bit0.bi");
    EXPECT_EQ(form.Picture().size(), QSize(200, 4));
    EXPECT_TRUE(Black(form.Picture(), 1, 1));
    EXPECT_FALSE(Black(form.Picture(), 0, 1));
    EXPECT_EQ(form.Image->pixmap().size(), QSize(200, 4)); // shown at its size, not stretched
    EXPECT_EQ(form.Info->text(), "bits.bi: 103 bytes, 200 x 4 pixels, last 3 bytes not a whole row");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(BitViewer, ABytesPerRowThatCannotBeUsedOrAFileThatCannotBeReadIsSaid)
{
    test::ScriptedDialogs dialogs;
    QTemporaryDir logDir, dir;
    LogOutput().SetDirectory(logDir.path().toStdString());
    TReadAndDisplayForm form;
    const std::string path = Write(dir, QByteArray(10, '\x55'));
    for (const char *bad : {"0", "-3", "x", "4096"}) {
        form.Bytes->setText(bad);
        EXPECT_FALSE(form.LoadFile(path)) << bad;
    }
    EXPECT_EQ(dialogs.messages.size(), 4u);
    EXPECT_EQ(dialogs.messages[0], "Bytes per row must be a whole number from 1 to 4095");
    form.Bytes->setText("2");
    EXPECT_FALSE(form.LoadFile(dir.path().toStdString() + "/missing.bi"));
    EXPECT_EQ(dialogs.messages.back(), "Unable to read " + dir.path().toStdString() + "/missing.bi");
    EXPECT_TRUE(form.LoadFile(path));
    EXPECT_EQ(form.Picture().size(), QSize(16, 5));
}
