#include "service/SerialDevices.h"

#include "foundation/QtSeams.h"
#include "link/SerialDevice.h"
#include "pens/Guarded.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace grittor {

namespace {

std::string PortName(int index)
{
    return "com" + std::to_string(index + 1);
}

QTreeWidget *MakeList(QWidget *parent, const char *name, const QStringList &headers)
{
    auto *t = new QTreeWidget(parent);
    t->setObjectName(name);
    t->setRootIsDecorated(false);
    t->setUniformRowHeights(true);
    t->setAllColumnsShowFocus(true);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setHeaderLabels(headers);
    // Long by-id names give way in their middle, where they differ least;
    // the short columns keep their whole text.
    t->setTextElideMode(Qt::ElideMiddle);
    t->header()->setStretchLastSection(false);
    t->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return t;
}

} // namespace

std::function<int(TSerialDevicesFrm &)> TSerialDevicesFrm::ModalRunner = [](TSerialDevicesFrm &f) {
    return f.exec();
};

TSerialDevicesFrm::TSerialDevicesFrm(TSerialDeviceList devices, QWidget *parent)
    : QDialog(parent), lister_(std::move(devices))
{
    setObjectName("SerialDevicesFrm");
    setWindowTitle("Serial Devices");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    BuildControls();
}

void TSerialDevicesFrm::BuildControls()
{
    PortList = MakeList(this, "PortList", {"Port", "Device", "State"});
    DeviceList = MakeList(this, "DeviceList", {"Device", "Points to", "Bound to"});
    PortList->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    DeviceList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    auto *portLabel = new QLabel("&Com ports", this);
    portLabel->setBuddy(PortList);
    auto *deviceLabel = new QLabel("&Devices present", this);
    deviceLabel->setBuddy(DeviceList);
    HintLabel = new QLabel("Bind a USB adapter by its name under /dev/serial/by-id: that name stays the same "
                           "when the adapter is plugged in again or the computer restarts.",
                           this);
    HintLabel->setWordWrap(true);
    HintLabel->setForegroundRole(QPalette::PlaceholderText);

    BindButton = new QPushButton("&Bind to Port", this);
    BindButton->setObjectName("BindButton");
    BindButton->setToolTip("Bind the selected device to the selected com port");
    DefaultButton = new QPushButton("&Use Default", this);
    DefaultButton->setObjectName("DefaultButton");
    DefaultButton->setToolTip("The selected com port uses its standard device again (com1 is /dev/ttyS0)");
    RefreshButton = new QPushButton("&Refresh", this);
    RefreshButton->setObjectName("RefreshButton");
    RefreshButton->setToolTip("List the devices again (after plugging an adapter in or out)");
    OKButton = new QPushButton("OK", this);
    OKButton->setObjectName("OKButton");
    CancelButton = new QPushButton("Cancel", this);
    CancelButton->setObjectName("CancelButton");
    for (QPushButton *b : {BindButton, DefaultButton, RefreshButton, CancelButton})
        b->setAutoDefault(false);
    OKButton->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BindButton);
    buttons->addWidget(DefaultButton);
    buttons->addWidget(RefreshButton);
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);

    auto *outer = new QVBoxLayout(this);
    outer->addWidget(portLabel);
    outer->addWidget(PortList, 1);
    outer->addWidget(deviceLabel);
    outer->addWidget(DeviceList, 1);
    outer->addWidget(HintLabel);
    outer->addLayout(buttons);

    QWidget *order[] = {PortList, DeviceList, BindButton, DefaultButton, RefreshButton, OKButton, CancelButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(BindButton, &QPushButton::clicked, this,
            Guarded("TSerialDevicesFrm.BindButtonClick", [this] { BindButtonClick(); }));
    connect(DefaultButton, &QPushButton::clicked, this,
            Guarded("TSerialDevicesFrm.DefaultButtonClick", [this] { DefaultButtonClick(); }));
    connect(RefreshButton, &QPushButton::clicked, this, Guarded("TSerialDevicesFrm.Refresh", [this] { Refresh(); }));
    connect(DeviceList, &QTreeWidget::itemDoubleClicked, this,
            Guarded("TSerialDevicesFrm.BindButtonClick", [this] { BindButtonClick(); }));
    connect(PortList, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(DeviceList, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    resize(820, 480);
}

int TSerialDevicesFrm::ShowModal()
{
    bindings_ = ReadComBindings();
    Refresh();
    PortList->setFocus();
    return ModalRunner(*this);
}

void TSerialDevicesFrm::Refresh()
{
    devices_ = lister_.Devices();
    ShowBindings();
}

void TSerialDevicesFrm::ShowBindings()
{
    const int portRow = std::max(0, PortList->indexOfTopLevelItem(PortList->currentItem()));
    const int deviceRow = DeviceList->indexOfTopLevelItem(DeviceList->currentItem());

    PortList->clear();
    for (int i = 0; i < ComPortCount; ++i) {
        const std::string &bound = bindings_[static_cast<size_t>(i)];
        const std::string device = bound.empty() ? DefaultComDevice(i + 1) : bound;
        const bool present = TSerialDeviceList::Present(device);
        // Only a device the operator chose is missing; a standard one that
        // this computer lacks is simply not there.
        std::string state = present ? "present" : bound.empty() ? "not present" : "missing";
        if (bound.empty())
            state += ", default";
        const std::string runOnly = PortOverride(PortName(i));
        if (!runOnly.empty())
            state += "; this run uses " + runOnly;
        auto *item = new QTreeWidgetItem(PortList, {ToQ(PortName(i)), ToQ(device), ToQ(state)});
        item->setToolTip(1, ToQ(device));
        item->setToolTip(2, ToQ(state));
        if (!present && !bound.empty())
            item->setForeground(2, QColor(170, 40, 20));
        if (bound.empty())
            item->setForeground(1, palette().color(QPalette::PlaceholderText));
    }

    DeviceList->clear();
    for (const TSerialDeviceEntry &d : devices_) {
        std::string boundTo;
        auto add = [&boundTo](const std::string &text) { boundTo += (boundTo.empty() ? "" : ", ") + text; };
        for (int i = 0; i < ComPortCount; ++i) {
            const std::string &bound = bindings_[static_cast<size_t>(i)];
            const std::string uses = bound.empty() ? DefaultComDevice(i + 1) : bound;
            if (uses == d.Path) {
                add(PortName(i) + (bound.empty() ? " (default)" : ""));
                continue;
            }
            // The same adapter under its other name.
            if (d.ById && !d.Target.empty() && uses == d.Target)
                add(PortName(i) + " (as " + uses + ")");
            for (const TSerialDeviceEntry &other : devices_)
                if (!d.ById && other.ById && other.Path == uses && other.Target == d.Path)
                    add(PortName(i) + " (by its by-id name)");
        }
        auto *item = new QTreeWidgetItem(DeviceList, {ToQ(d.Path), ToQ(d.Target), ToQ(boundTo)});
        item->setToolTip(0, ToQ(d.Path));
    }
    if (DeviceList->topLevelItemCount() == 0)
        new QTreeWidgetItem(DeviceList, {"(no serial device found)", "", ""});

    PortList->setCurrentItem(PortList->topLevelItem(portRow));
    if (deviceRow >= 0 && deviceRow < DeviceList->topLevelItemCount())
        DeviceList->setCurrentItem(DeviceList->topLevelItem(deviceRow));
    UpdateButtons();
}

void TSerialDevicesFrm::UpdateButtons()
{
    const int port = PortList->indexOfTopLevelItem(PortList->currentItem());
    const int device = DeviceList->indexOfTopLevelItem(DeviceList->currentItem());
    BindButton->setEnabled(port >= 0 && device >= 0 && device < static_cast<int>(devices_.size()));
    DefaultButton->setEnabled(port >= 0 && !bindings_[static_cast<size_t>(port)].empty());
}

void TSerialDevicesFrm::BindButtonClick()
{
    const int port = PortList->indexOfTopLevelItem(PortList->currentItem());
    const int device = DeviceList->indexOfTopLevelItem(DeviceList->currentItem());
    if (port < 0 || device < 0 || device >= static_cast<int>(devices_.size()))
        return;
    bindings_[static_cast<size_t>(port)] = devices_[static_cast<size_t>(device)].Path;
    ShowBindings();
}

void TSerialDevicesFrm::DefaultButtonClick()
{
    const int port = PortList->indexOfTopLevelItem(PortList->currentItem());
    if (port < 0)
        return;
    bindings_[static_cast<size_t>(port)].clear();
    ShowBindings();
}

void TSerialDevicesFrm::accept()
{
    WriteComBindings(bindings_);
    QDialog::accept();
}

} // namespace grittor
