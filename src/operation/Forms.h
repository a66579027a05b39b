// The program's windows, created once at start in a fixed order and held for
// the whole run.
#pragma once

namespace grittor {

class TLibraryStore;
class TMainFrm;
class TAboutFrm;
class TMainMenuFrm;
class TCalibrateFrm;
class TJoystickFrm;
class TEngineeringFrm;
class TProgressFrm;
class TJobQueueFrm;
class TReadAndDisplayForm;
class TMemoryForm;
class TPenForm;
class TExceptionReportForm;
class TMessageForm;
class TSelectMaterialForm;
class TCopyForm;
class TCalToPrintForm;

struct TForms {
    TMainFrm *MainFrm = nullptr;
    TAboutFrm *About = nullptr;
    TMainMenuFrm *MainMenu = nullptr;
    TCalibrateFrm *Calibrate = nullptr;
    TJoystickFrm *Joystick = nullptr;
    TEngineeringFrm *Engineering = nullptr;
    TProgressFrm *Progress = nullptr;
    TJobQueueFrm *JobQueue = nullptr;
    TReadAndDisplayForm *ReadAndDisplay = nullptr;
    TMemoryForm *Memory = nullptr;
    TPenForm *Pen = nullptr;
    TExceptionReportForm *ExceptionReport = nullptr;
    TMessageForm *Message = nullptr;
    TSelectMaterialForm *SelectMaterial = nullptr;
    TCopyForm *Copy = nullptr;
    TCalToPrintForm *CalToPrint = nullptr;
};

// The windows of this run (all null before CreateForms).
TForms &Forms();

// Creates every window in the start-up order, the main window first, and
// installs the shared progress window.  Only the main window is shown by the
// caller.  The material windows edit the library of `materials`.
void CreateForms(TLibraryStore &materials);
// Destroys them in reverse order.
void DestroyForms();

} // namespace grittor
