// Pictures of the machine settings panel (filled from grittor-sim), the jog
// panel and the Serial Devices dialog (on a folder of fake device links),
// for reviewing how they look.  Built on request only:
//
//   scripts/build panel_screens && QT_QPA_PLATFORM=offscreen build/panel_screens OUTDIR
#include "ScreenSupport.h"
#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/MainMenu.h"
#include "service/SerialDevices.h"
#include "service/joystick.h"

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace grittor;
using screens::Save;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: panel_screens OUTDIR\n");
        return 2;
    }
    QTemporaryDir config; // the user's settings stay untouched
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    InstallQtSeams();
    screens::PrintingDialogs dialogs;
    SetDialogs(&dialogs);
    const QString out = QString::fromLocal8Bit(argv[1]);

    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TSimulatorProcess sim;
    TMainFrm *main = screens::StartOnSimulator(sim, store);
    if (!main)
        return 1;

    TMainMenuFrm::ModalRunner = [&](TMainMenuFrm &f) {
        f.show();
        Save(&f, out + "/settings-panel.png");
        return int(QDialog::Rejected);
    };
    main->MainMenuMenuClick();

    main->JoyStickMenuClick();
    TJoystickFrm *jog = Forms().Joystick;
    jog->TimerTimer();
    Save(jog, out + "/jog-panel.png");
    jog->hide();

    // A computer with two USB adapters, one of them bound by its stable name,
    // and com3 bound to one unplugged since.
    const std::string dev = config.path().toStdString() + "/dev";
    QDir().mkpath(QString::fromStdString(dev + "/serial/by-id"));
    for (const char *n : {"ttyS0", "ttyS1", "ttyUSB0", "ttyACM0"})
        std::ofstream(dev + "/" + n) << "";
    const std::string ftdi = dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    const std::string acm = dev + "/serial/by-id/usb-Arduino_Uno_75830-if00";
    if (::symlink("../../ttyUSB0", ftdi.c_str()) != 0 || ::symlink("../../ttyACM0", acm.c_str()) != 0)
        std::fprintf(stderr, "cannot make the device links\n");
    {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Com Devices/com2", QString::fromStdString(ftdi));
        s.setValue("Com Devices/com3", QString::fromStdString(dev + "/serial/by-id/usb-Prolific_PL2303-if00-port0"));
    }
    TSerialDevicesFrm::ModalRunner = [&](TSerialDevicesFrm &f) {
        f.show();
        f.PortList->setCurrentItem(f.PortList->topLevelItem(3));
        f.DeviceList->setCurrentItem(f.DeviceList->topLevelItem(1));
        Save(&f, out + "/serial-devices.png");
        return int(QDialog::Rejected);
    };
    {
        TSerialDevicesFrm devices(TSerialDeviceList(dev, config.path().toStdString() + "/sys"), main);
        devices.ShowModal();
    }

    DestroyForms();
    sim.Stop();
    return 0;
}
