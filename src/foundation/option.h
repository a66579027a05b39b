// The settings object: serial line, window geometry, folders, terminal
// switches, blast-pattern defaults and jog values.  One instance, created and
// loaded on first use.  (The material library is not a setting: the program's
// entry point loads it from its own file, see pens/LibraryStore.h.)
#pragma once

#include "foundation/ScreenPosition.h"
#include "foundation/utils.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace grittor {

struct TPenColor {
    const char *Name;  // padded with blanks to 7 characters
    uint32_t Value;    // 0x00BBGGRR
};
constexpr int PenColorCount = 18;
extern const TPenColor PenColorTable[PenColorCount];

// Line colours of the plot on screen by pen number (0x00BBGGRR, or
// NoPenColor: keep the canvas colour).
constexpr uint32_t NoPenColor = 0x80001000;
constexpr int PenColorSlots = 12;
using TPenColors = std::array<uint32_t, PenColorSlots>;

// Colour values outside the 24-bit range name system colours.
constexpr uint32_t clAppWorkSpace = 0x8000000C;
constexpr uint32_t clWindowText = 0x80000008;

struct TIntPoint {
    int32_t x = 0;
    int32_t y = 0;
};

class Toption {
public:
    Toption();
    ~Toption();
    Toption(const Toption &) = delete;
    Toption &operator=(const Toption &) = delete;

    // ---- persistent values (stored under their names in the settings store)
    int32_t Baud = 9600;
    int32_t DataBits = 8;
    int32_t FontSize = 10;
    bool LocalEcho = false;
    bool Log = false;
    uint8_t Parity = 0;   // 0 none, 1 odd, 2 even
    std::string Port = "com1";
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    std::string Directory;     // program folder, ends with "/"
    int32_t Height = 480;
    std::string HpglDirectory; // last plot file, or folder + mask
    int32_t Left = -1;
    int32_t OneMS = 0;
    int32_t Radius = 0;        // plotter units
    int32_t Top = 0;
    int32_t Width = 640;

    // ---- values kept for this run only
    long double CenterOffset = 0.4L;
    bool CharLog = false;
    long double Extra = 0;
    std::string FirmwareFile;
    int32_t JoystickSlewSpeed = 100;
    bool JogMode = false;
    int32_t JogDistance = 24;
    TIntPoint LaserOffset{3048, 3048};
    TExtendedPoint Margin;
    long double Multiplier = 1.0L;
    long double OnTime = 4.0L;
    int32_t Passes = 1;
    int32_t PassOffset = 25;
    uint8_t PenUpOff = 0;
    int32_t ScanLine = 1200;
    int32_t Times = 1;
    long double VertPer = 0.1875L;
    TRectXYWH JogPanelRect;

    // ---- setters with their clamps
    void SetCenterOffset(long double v);
    void SetExtra(long double v);
    void SetLaserOffset(int32_t x, int32_t y);
    // Call after SetRadius and SetScanLine: the bounds come from them.
    void SetMargin(const TExtendedPoint &v);
    void SetMultiplier(long double v);
    void SetOnTime(long double v);
    void SetPasses(int32_t v);
    void SetPassOffset(int32_t v);
    void SetScanLine(int32_t v);
    void SetTimes(int32_t v);
    void SetVertPer(long double v);
    void SetRadius(int32_t v);

    // Margin limits in inches.
    long double RadiusMarginLimit() const;   // (2 Radius - 1) / 1016
    long double ScanLineHalfLimit() const;   // ((ScanLine div 2) - 1) / 1016
    long double ScanLineLimit() const;       // (ScanLine - 1) / 1016

    // Sets every field to its initial value, then reads the store.
    void Load();
    // Writes the sixteen persistent values.
    void Save();

    // Busy wait of (ms + 1) x (OneMS + 1) empty calls.
    void Delay(int ms);
    // Measures OneMS when it is 0 (done on the first Delay or Save, so that
    // starting a headless tool costs no busy second).
    void CalibrateOneMS();

    // Folder of the per-user settings file (the material library and the
    // job queue live there too).
    std::string SettingsFolder() const;

    // Default folders for this user.
    static std::string DefaultDirectory();
    static std::string DefaultHpglDirectory();
    static std::string DefaultFirmwareFile();

private:
    void SetInitialValues();
};

// The one settings object, created and loaded on first use.
Toption &Options();
// Drops the settings object so the next Options() creates and loads a fresh
// one (tests, and tools that point the store elsewhere first).
void ResetOptions();

// When the settings file could not be read as written (cut short, not in
// the store's format, values of the wrong type), a message for the operator,
// once; "" afterwards and when there was none.  The file itself is copied to
// "<file>.bad" before the next Save.
std::string TakeSettingsLoadProblem();
// Why `value` cannot be a folder setting ("" when it can): it must be an
// absolute path of path characters naming a folder, or nothing yet.  With
// `fileOrMask` the last part may be a file or a mask ("Hpgl Directory").
std::string FolderSettingProblem(const std::string &value, bool fileOrMask);

// Plotter units and inches.
long double UnitsToInches(long double units);
std::string UnitsToInchText(long double units);
// Text read as a number (0 when it is not one) x 1016, halves away from zero.
int32_t InchTextToUnits(const std::string &text);

} // namespace grittor
