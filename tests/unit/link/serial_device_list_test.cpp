// The serial device lister on folders of fake device links, and the "Com
// Devices" bindings.
#include "link/SerialDeviceList.h"

#include "TestDoubles.h"
#include "link/SerialDevice.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace grittor;

namespace {

void Touch(const std::string &path)
{
    std::ofstream(path) << "";
}

class SerialDeviceListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev = root.path().toStdString() + "/dev";
        sys = root.path().toStdString() + "/sys";
        QDir().mkpath(QString::fromStdString(dev + "/serial/by-id"));
        for (const char *n : {"ttyS0", "ttyS1", "ttyS10", "ttyS2", "ttyUSB1", "ttyUSB0", "ttyACM0", "tty0", "ttySX",
                              "ttyUSB", "null"})
            Touch(dev + "/" + n);
        // The kernel says ttyS1 and ttyS10 have no port behind them.
        for (const char *n : {"ttyS0", "ttyS1", "ttyS10"}) {
            QDir().mkpath(QString::fromStdString(sys + "/class/tty/" + n));
            std::ofstream(sys + "/class/tty/" + n + "/type") << (std::string(n) == "ttyS0" ? "4\n" : "0\n");
        }
        ById("usb-FTDI_FT232R_A1B2-if00-port0", "../../ttyUSB1");
        ById("usb-Arduino_Uno_7543-if00", "../../ttyACM0");
    }
    void ById(const std::string &name, const std::string &target)
    {
        ASSERT_EQ(::symlink(target.c_str(), (dev + "/serial/by-id/" + name).c_str()), 0);
    }

    test::TempSettings settings;
    QTemporaryDir root;
    std::string dev, sys;
};

} // namespace

TEST_F(SerialDeviceListTest, ByIdNamesFirstThenEachKindInNumberOrder)
{
    const auto list = TSerialDeviceList(dev, sys).Devices();
    std::vector<std::string> paths, targets;
    for (const auto &d : list) {
        paths.push_back(d.Path.substr(dev.size()));
        targets.push_back(d.Target.empty() ? "" : d.Target.substr(dev.size()));
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/serial/by-id/usb-Arduino_Uno_7543-if00",
                                               "/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0", "/ttyS0", "/ttyS2",
                                               "/ttyUSB0", "/ttyUSB1", "/ttyACM0"}));
    EXPECT_EQ(targets, (std::vector<std::string>{"/ttyACM0", "/ttyUSB1", "", "", "", "", ""}));
    EXPECT_TRUE(list[0].ById);
    EXPECT_FALSE(list[2].ById);
    // Without a /dev at all: an empty list, no failure.
    EXPECT_TRUE(TSerialDeviceList(dev + "/none", sys).Devices().empty());
}

TEST_F(SerialDeviceListTest, AnUnpluggedAdaptersNameIsMissing)
{
    const std::string ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";
    EXPECT_TRUE(TSerialDeviceList::Present(ftdi));
    // Unplugged: the device goes and the link points nowhere (udev then
    // removes the link too).
    ASSERT_EQ(::unlink((dev + "/ttyUSB1").c_str()), 0);
    EXPECT_FALSE(TSerialDeviceList::Present(ftdi));
    EXPECT_FALSE(TSerialDeviceList::Present(dev + "/ttyUSB7"));
    EXPECT_FALSE(TSerialDeviceList::Present(""));
}

TEST_F(SerialDeviceListTest, BindingsAreStoredAsGivenAndOpeningUsesThem)
{
    TComBindings b = ReadComBindings();
    for (const auto &path : b)
        EXPECT_TRUE(path.empty());
    const std::string ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";
    b[1] = ftdi;
    b[4] = "/dev/ttyUSB0";
    WriteComBindings(b);
    QSettings s("Korvane Systems", "Grittor");
    EXPECT_EQ(s.value("Com Devices/com2").toString().toStdString(), ftdi) << "the stable name, not its target";
    EXPECT_FALSE(s.contains("Com Devices/com1"));
    EXPECT_EQ(ReadComBindings(), b);
    EXPECT_EQ(ResolvePortDevice("com2"), ftdi);
    EXPECT_EQ(ResolvePortDevice("com1"), DefaultComDevice(1));
    EXPECT_EQ(DefaultComDevice(1), "/dev/ttyS0");

    b[1].clear();
    WriteComBindings(b);
    EXPECT_FALSE(QSettings("Korvane Systems", "Grittor").contains("Com Devices/com2"));
    EXPECT_EQ(ResolvePortDevice("com2"), "/dev/ttyS1");
}
