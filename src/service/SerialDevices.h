// "Serial Devices": the serial devices present, and which of com1..com8
// each is bound to in the settings group "Com Devices".  The operator
// binds a device to the selected com port; a by-id name is stored as it
// is, so the binding survives re-plugging the adapter.  A port bound to a
// device that is not there shows as missing.  OK stores the bindings.
#pragma once

#include "link/SerialDeviceList.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace grittor {

class TSerialDevicesFrm : public QDialog {
    Q_OBJECT
public:
    explicit TSerialDevicesFrm(TSerialDeviceList devices = TSerialDeviceList(), QWidget *parent = nullptr);

    // Reads the bindings, lists the devices and shows the dialog modally.
    int ShowModal();
    static std::function<int(TSerialDevicesFrm &)> ModalRunner;

    // Lists the devices present again and shows the bindings.
    void Refresh();
    // Binds the selected device to the selected com port.
    void BindButtonClick();
    // The selected com port goes back to its default device.
    void DefaultButtonClick();

    const TComBindings &Bindings() const { return bindings_; }
    const std::vector<TSerialDeviceEntry> &Devices() const { return devices_; }

    QTreeWidget *PortList = nullptr;   // com1..com8: port, device, state
    QTreeWidget *DeviceList = nullptr; // device, points to, bound to
    QLabel *HintLabel = nullptr;
    QPushButton *BindButton = nullptr;
    QPushButton *DefaultButton = nullptr;
    QPushButton *RefreshButton = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *CancelButton = nullptr;

protected:
    void accept() override;

private:
    void BuildControls();
    void ShowBindings();
    void UpdateButtons();

    TSerialDeviceList lister_;
    std::vector<TSerialDeviceEntry> devices_;
    TComBindings bindings_;
};

} // namespace grittor
