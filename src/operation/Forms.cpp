#include "operation/Forms.h"

#include "foundation/ExceptionReportForm.h"
#include "operation/JobQueue.h"
#include "operation/MainForm.h"
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
#include "service/joystick.h"

namespace grittor {

namespace {
TForms g_forms;
}

TForms &Forms() { return g_forms; }

void CreateForms(TLibraryStore &materials)
{
    TForms &f = g_forms;
    f.MainFrm = new TMainFrm(materials);
    QWidget *owner = f.MainFrm;
    f.About = new TAboutFrm(owner);
    f.MainMenu = new TMainMenuFrm(owner);
    f.Calibrate = new TCalibrateFrm(owner);
    f.Joystick = new TJoystickFrm(owner);
    f.Engineering = new TEngineeringFrm(owner);
    f.Progress = new TProgressFrm(owner);
    f.Progress->InstallAsShared();
    f.JobQueue = new TJobQueueFrm(owner);
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
