// The Serial Devices dialog on a folder of fake device links: what it lists,
// how a port shows a device that is not there, binding and OK / Cancel.
#include "service/SerialDevices.h"

#include "TestDoubles.h"

#include <QDir>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

using namespace grittor;

namespace {

class SerialDevicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dev = root.path().toStdString() + "/dev";
        QDir().mkpath(QString::fromStdString(dev + "/serial/by-id"));
        for (const char *n : {"ttyS0", "ttyUSB0"})
            std::ofstream(dev + "/" + n) << "";
        ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0";
        ASSERT_EQ(::symlink("../../ttyUSB0", ftdi.c_str()), 0);
        gone = dev + "/serial/by-id/usb-Prolific_PL2303-if00-port0";
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Com Devices/com3", QString::fromStdString(gone)); // unplugged since
        s.setValue("Com Devices/com4", QString::fromStdString(dev + "/ttyS0"));
    }
    void TearDown() override { TSerialDevicesFrm::ModalRunner = [](TSerialDevicesFrm &f) { return f.exec(); }; }

    static std::string Cell(QTreeWidget *t, int row, int column)
    {
        return t->topLevelItem(row)->text(column).toStdString();
    }

    test::TempSettings settings;
    QTemporaryDir root;
    std::string dev, ftdi, gone;
};

} // namespace

TEST_F(SerialDevicesTest, ListsTheDevicesAndShowsAPortWhoseDeviceIsGoneAsMissing)
{
    TSerialDevicesFrm f(TSerialDeviceList(dev, root.path().toStdString() + "/sys"));
    TSerialDevicesFrm::ModalRunner = [&](TSerialDevicesFrm &d) {
        QTreeWidget *ports = d.PortList;
        EXPECT_EQ(ports->topLevelItemCount(), 8);
        EXPECT_EQ(Cell(ports, 0, 0), "com1");
        EXPECT_EQ(Cell(ports, 0, 1), "/dev/ttyS0");
        EXPECT_NE(Cell(ports, 0, 2).find("default"), std::string::npos);
        EXPECT_EQ(Cell(ports, 2, 1), gone);
        EXPECT_EQ(Cell(ports, 2, 2), "missing");
        EXPECT_EQ(Cell(ports, 3, 2), "present");

        QTreeWidget *devices = d.DeviceList;
        EXPECT_EQ(devices->topLevelItemCount(), 3);
        if (devices->topLevelItemCount() != 3)
            return int(QDialog::Rejected);
        EXPECT_EQ(Cell(devices, 0, 0), ftdi);
        EXPECT_EQ(Cell(devices, 0, 1), dev + "/ttyUSB0") << "the device the stable name points to";
        EXPECT_EQ(Cell(devices, 1, 0), dev + "/ttyS0");
        EXPECT_EQ(Cell(devices, 1, 2), "com4");
        EXPECT_EQ(Cell(devices, 2, 0), dev + "/ttyUSB0");
        return int(QDialog::Rejected);
    };
    EXPECT_EQ(f.ShowModal(), QDialog::Rejected);
}

TEST_F(SerialDevicesTest, BindingAStableNameStoresItAsItIsOnOkOnly)
{
    TSerialDevicesFrm f(TSerialDeviceList(dev, root.path().toStdString() + "/sys"));
    TSerialDevicesFrm::ModalRunner = [&](TSerialDevicesFrm &d) {
        d.show();
        d.PortList->setCurrentItem(d.PortList->topLevelItem(1)); // com2
        EXPECT_FALSE(d.DefaultButton->isEnabled()) << "com2 is not bound";
        d.DeviceList->setCurrentItem(d.DeviceList->topLevelItem(0));
        QTest::mouseClick(d.BindButton, Qt::LeftButton);
        EXPECT_EQ(Cell(d.PortList, 1, 1), ftdi);
        EXPECT_EQ(Cell(d.PortList, 1, 2), "present");
        EXPECT_EQ(Cell(d.DeviceList, 0, 2), "com2");
        EXPECT_EQ(Cell(d.DeviceList, 2, 2), "com2 (by its by-id name)");
        // com3's adapter is gone: back to its default.
        d.PortList->setCurrentItem(d.PortList->topLevelItem(2));
        QTest::mouseClick(d.DefaultButton, Qt::LeftButton);
        EXPECT_EQ(Cell(d.PortList, 2, 1), "/dev/ttyS2");
        EXPECT_TRUE(QSettings("Korvane Systems", "Grittor").contains("Com Devices/com3")) << "nothing stored yet";
        QTest::keyClick(&d, Qt::Key_Return); // OK is the default button
        return d.result();
    };
    EXPECT_EQ(f.ShowModal(), QDialog::Accepted);
    QSettings s("Korvane Systems", "Grittor");
    EXPECT_EQ(s.value("Com Devices/com2").toString().toStdString(), ftdi);
    EXPECT_FALSE(s.contains("Com Devices/com3"));
    EXPECT_EQ(s.value("Com Devices/com4").toString().toStdString(), dev + "/ttyS0");

    // Cancel keeps what is stored.
    TSerialDevicesFrm again(TSerialDeviceList(dev, root.path().toStdString() + "/sys"));
    TSerialDevicesFrm::ModalRunner = [&](TSerialDevicesFrm &d) {
        d.PortList->setCurrentItem(d.PortList->topLevelItem(1));
        d.DefaultButtonClick();
        return int(QDialog::Rejected);
    };
    again.ShowModal();
    EXPECT_EQ(QSettings("Korvane Systems", "Grittor").value("Com Devices/com2").toString().toStdString(), ftdi);
}
