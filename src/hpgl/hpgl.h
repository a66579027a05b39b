// The HPGL reader and the plotter: THpglFile reads a whole plot file into a
// compact list of instructions, runs each once against a plotter state to
// learn the extent, and later replays them through MoveTo/LineTo onto the
// window image, the printer or the outline builder.
//
// Storage: the file text stays in memory and every instruction is one
// 16-byte record (kind, name, pen run, a range of the text or of the PE data,
// an offset into one shared arena of number words).  Numbers that are short
// decimals (|mantissa| < 2^27, at most 10 decimals) take one 32-bit word and
// decode to exactly the same long double; any other value of an instruction
// makes all its numbers take three words holding the full 80-bit value.
// THpglCommand is a light view of one record with the classic accessors.
#pragma once

#include "foundation/utils.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace grittor {

class Canvas;
class THpglFile;

// Keep the canvas colour (a PenColors entry without a colour of its own).
constexpr uint32_t NoPenColor = 0x80001000;
constexpr int PenColorSlots = 12;
// Line colours on paper by pen number (0x00BBGGRR).
extern const uint32_t PrintPenColors[PenColorSlots];

// What an instruction does (its class).
enum class TCommandKind : uint8_t { Escape, Ignored, SP, PA, PR, PD, PU, AA, AR, CI, EA, ER, PE };
// How the reader reads what follows a name.
enum class TReadKind : uint8_t { Normal, Encoded, LabelTerminator, Label, Skipped, Rejected };

struct TInstructionRow {
    char name[3];
    TCommandKind cls;
    TReadKind kind;
};
constexpr int InstructionTableSize = 103;
extern const TInstructionRow InstructionTable[InstructionTableSize];
// Row of a lower-case two-letter name, or -1.
int FindInstruction(char first, char second);

// A value taken toward zero into an int: NaN gives 0, values beyond the
// range the nearest bound (plot numbers may be anything a file says).
int ClampToInt(long double v);

// Raised by the THpglFile constructor when the file cannot be read.
class THpglReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One instruction, as a view into its file.  Valid while the file lives.
class THpglCommand {
public:
    THpglCommand(const THpglFile &file, int index) : file_(&file), index_(index) {}

    int Index() const { return index_; }
    TCommandKind Kind() const;
    // Two lower-case letters; for an escape sequence its command letter.
    std::string Name() const;
    // CurrentPen when the instruction was read (for PE: the pen its last
    // walk selected, if any).
    int Pen() const;
    // The raw parameter texts, each cut to 11 characters (label text with
    // its terminator, escape pieces, the DT terminator).
    TLinkedStringList Strings() const;
    // False for instructions whose parameters are not numbers (escape, PE,
    // label, label terminator).
    bool HasNumbers() const;
    int NumberCount() const;
    // Plot units after the scan for coordinate instructions.
    long double Number(int i) const;
    std::vector<long double> Numbers() const;
    // PE only: the encoded data, CR and LF removed, ending in ";".
    std::string Data() const;
    // Number form, string form or escape form; a PE gives "PE" + Data.
    std::string GetText() const;

private:
    const THpglFile *file_;
    int index_;
};

class THpglFile {
public:
    using ErrorEvent = std::function<void(const std::string &message, bool flag)>;
    using PointEvent = std::function<void(const TExtendedPoint &point, int pen)>;

    // Reads the whole file and prescans it.  Pen colours come from the
    // selected material; the image multiplier from the settings.  Raises
    // THpglReadError when the file cannot be opened or read.
    THpglFile(const std::string &fileName, Canvas *image, ErrorEvent onError);
    // The same from text already in memory (tests, the fuzzer, benchmarks).
    struct FromText {
        std::string text;
        long double multiplier = 1.0L;
    };
    THpglFile(FromText source, Canvas *image, ErrorEvent onError);
    ~THpglFile();
    THpglFile(const THpglFile &) = delete;
    THpglFile &operator=(const THpglFile &) = delete;

    // ---- plotter state and reader state (names as the program has always used)
    long double ArcAngle = 0;
    TExtendedPoint ArcCenter;
    char PrevChar = 0;
    char CurChar = 0;
    int CurrentPen = 0;
    uint32_t PenColors[PenColorSlots];
    TExtendedPoint Position;
    Canvas *Image = nullptr;   // the window image
    Canvas *Printer = nullptr; // the printer page, used while Printing
    char LabelTerminator = 3;
    TExtendedPoint MinPoint{1e7L, 1e7L};
    TExtendedPoint MaxPoint{-1e7L, -1e7L};
    bool Relative = false;
    TExtendedPoint Offset;
    ErrorEvent OnError;
    PointEvent OnMove;
    PointEvent OnLine;
    int PolygonIndex = 0;
    int ErrorCount = 0;
    int PenDown = 0;
    int ReadPos = 0; // 1-based index of the character last read in Text
    TExtendedPoint Scale;
    std::string Text;
    bool Printing = false;
    bool MarkerDrawn = false;
    // The image multiplier in force when the file was read; coordinates
    // are scaled by it once at scan, PE data at every walk.
    long double Multiplier = 1.0L;

    // ---- instructions
    int CommandCount() const { return static_cast<int>(recs_.size()); }
    THpglCommand Command(int i) const { return THpglCommand(*this, i); }
    // Runs instruction i against the plotter state through MoveTo/LineTo.
    void Draw(int i);
    // Draws every instruction in order (no progress, no stop): a replay
    // for callers that set up Position and Relative themselves.
    void DrawAll();
    std::string GetText(int i) const { return Command(i).GetText(); }

    // ---- drawing primitives: the only drawing path of plot geometry
    void MoveTo(const TExtendedPoint &point, int pen);
    void LineTo(const TExtendedPoint &point, int pen);
    // Device pixel of a plot point: trunc(v * Scale + Offset), clamped to
    // the int range (NaN gives 0) so absurd coordinates cannot overflow.
    int DeviceX(long double x) const;
    int DeviceY(long double y) const;

    // Fits the plot into a canvas of width x height pixels with margins of
    // 2 x radius left and right and 125 top and bottom, one scale for both
    // axes, fills white and the workspace-coloured plot area, and draws
    // every instruction with progress "Render image".  Stops early when the
    // main window is closing.  Image becomes `canvas`.
    void RenderImage(Canvas &canvas, int width, int height, int32_t radius);
    // The plot area of the last fit, in pixels (left, top, right, bottom).
    struct PixelRect {
        int left = 0, top = 0, right = 0, bottom = 0;
    };
    PixelRect PlotArea(int32_t radius) const;

    // Builds message + "@" + ReadPos + ":" + the text around ReadPos and
    // hands it to OnError, or to a message box without one.
    void ReportError(const std::string &message);

    // Writes every PE character and flag to the debug log while set (off by
    // default: on a CAD plot it is hundreds of thousands of lines per walk).
    static void SetPeDiagnostics(bool on);
    static bool PeDiagnostics();

    // Bytes the instructions take (records, numbers, PE data; reserved but
    // untouched room not counted), for the benchmark and the memory tests.
    size_t InstructionBytes() const;

private:
    friend class THpglCommand;
    struct Rec {
        uint32_t pos; // parameter text in Text (PE: data, see flags)
        uint32_t len;
        uint32_t numOff; // first word in nums_
        TCommandKind kind;
        uint8_t name;  // instruction table row; escape: the command letter
        uint8_t flags; // FlagWide, FlagPeArena
        uint8_t extra; // DT: the terminator read
    };
    static_assert(sizeof(Rec) == 16, "instruction records stay compact");
    static constexpr uint8_t FlagWide = 1;
    static constexpr uint8_t FlagPeArena = 2;

    void Read(const std::string &fileName);
    void Init(Canvas *image, ErrorEvent onError);
    void LoadPenColors();
    void Prescan();
    bool ParseCommand();
    void ParseParameters();
    void ParseEscape();
    void ParseEncodedData(Rec &rec);
    char NextChar(const bool *set);
    void SkipSeparators(const bool *set);

    // number storage
    uint32_t NumberEnd(int i) const;
    int NumberCountOf(int i) const;
    long double NumberOf(int i, int k) const;
    void CommitNumbers(Rec &rec, const long double *v, int n);

    int PenOf(int i) const;
    void AppendRecord(const Rec &rec, int pen);

    // instruction behaviour
    void ScanNew(int i, long double *v, int n);
    void ScanPlot(TCommandKind k, long double *v, int n);
    void DrawPlot(TCommandKind k, int i, int pen);
    void ScanArc();
    void DrawArc(int pen);
    void DrawRectangle(int i, int pen);
    void WalkPE(int i, bool draw);
    template <bool Log> void WalkPEImpl(int i, bool draw);
    std::string_view PeData(const Rec &r) const;

    std::vector<Rec> recs_;
    std::vector<uint32_t> nums_;                        // number words of all instructions
    std::string peArena_;                               // PE data that held CR or LF
    std::vector<std::pair<uint32_t, int32_t>> penRuns_; // (first record, pen)
    mutable size_t penCursor_ = 0;
    std::vector<long double> paramValues_; // reused buffers of the reader
    std::vector<uint32_t> paramWords_;
    bool paramNarrow_ = true;
};

} // namespace grittor
