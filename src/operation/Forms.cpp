#include "operation/Forms.h"

#include "foundation/ExceptionReportForm.h"
#include "operation/JobQueue.h"
#include "operation/MainForm.h"
#include "operation/QueueList.h"
#include "operation/message.h"
#include "operation/progress.h"
#include "pens/CopyForm.h"
#include "pens/LibraryStore.h"
#include "pens/PenForm.h"
#include "pens/SelectMaterialForm.h"
#include "service/AboutDlg.h"
#include "service/CalToPrint.h"
#include "service/Calibrate.h"
#include "service/Engineering.h"
#include "service/MainMenu.h"
#include "service/Memory.h"
#include "service/ReadAndDisplay.h"
#include "service/LinkHost.h"
#include "service/joystick.h"

#include <QPointer>

namespace grittor {

namespace {
TForms g_forms;

// The machine windows' view of the main window.
class TMainWindowHost final : public TLinkHost {
public:
    TSerial *Link() override { return g_forms.MainFrm ? g_forms.MainFrm->Serial() : nullptr; }
    TSerial *OpenLink() override
    {
        if (!g_forms.MainFrm)
            return nullptr;
        g_forms.MainFrm->EnsureLink();
        return g_forms.MainFrm->Serial();
    }
    void HideJogPanel() override
    {
        if (g_forms.Joystick)
            g_forms.Joystick->hide();
    }
};
TMainWindowHost g_host;
} // namespace

TForms &Forms() { return g_forms; }

void CreateForms(TLibraryStore &materials)
{
    TForms &f = g_forms;
    f.MainFrm = new TMainFrm(materials);
    QWidget *owner = f.MainFrm;
    f.About = new TAboutFrm(owner);
    f.MainMenu = new TMainMenuFrm(g_host, owner);
    f.Calibrate = new TCalibrateFrm(owner);
    f.Joystick = new TJoystickFrm(g_host, owner);
    // A slew still running is stopped on the link before it goes.
    f.MainFrm->AddLinkClosingHook([jog = QPointer<TJoystickFrm>(f.Joystick)](TSerial &link) {
        if (jog)
            jog->LinkClosing(link);
    });
    f.Engineering = new TEngineeringFrm(owner);
    f.Progress = new TProgressFrm(owner);
    f.Progress->InstallAsShared();
    f.JobQueue = new TJobQueueFrm(*f.MainFrm, QueueList(), materials.Library(), owner);
    f.ReadAndDisplay = new TReadAndDisplayForm(owner);
    f.Memory = new TMemoryForm(owner);
    f.Pen = new TPenForm(materials, owner);
    f.ExceptionReport = new TExceptionReportForm(owner);
    f.Message = new TMessageForm(owner);
    f.SelectMaterial = new TSelectMaterialForm(materials, owner);
    f.Copy = new TCopyForm(materials.Library(), owner);
    f.CalToPrint = new TCalToPrintForm(owner);
}

void DestroyForms()
{
    // The dialogs belong to the main window; deleting it deletes them.
    SetProgress(nullptr);
    SetSecondaryProgressFactory(nullptr);
    delete g_forms.MainFrm;
    g_forms = TForms{};
}

} // namespace grittor
