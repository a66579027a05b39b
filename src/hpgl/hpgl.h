// The plot document: THpglFile reads a whole plot file into a compact list of
// instructions, runs each once against a plotter state to learn the extent,
// and keeps its messages.  Once read it never changes: drawing is a replay of
// the document into a sink (hpgl/PlotReplay.h), with a plotter state of the
// replay's own, so any number of replays may run one after another.
//
// Storage: the file text stays in memory and every instruction is one
// 16-byte record (kind, name, pen run, a range of the text or of the PE data,
// an offset into one shared arena of number words).  Numbers that are short
// decimals (|mantissa| < 2^27, at most 10 decimals) take one 32-bit word and
// decode to exactly the same long double; any other value of an instruction
// makes all its numbers take three words holding the full 80-bit value.
// THpglCommand is a light view of one record with the classic accessors.
#pragma once

#include "foundation/LargePages.h"
#include "foundation/utils.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace grittor {

class THpglFile;

// What an instruction does (its class).
enum class TCommandKind : uint8_t { Escape, Ignored, SP, PA, PR, PD, PU, AA, AR, CI, EA, ER, PE };
// How the reader reads what follows a name.
// Quoted: a comment or message, its text in double quotes.  Symbol: one
// character (SM).
enum class TReadKind : uint8_t { Normal, Encoded, LabelTerminator, Label, Skipped, Rejected, Quoted, Symbol };

struct TInstructionRow {
    char name[3];
    TCommandKind cls;
    TReadKind kind;
};
constexpr int InstructionTableSize = 133;
extern const TInstructionRow InstructionTable[InstructionTableSize];
// Row of a lower-case two-letter name, or -1.
int FindInstruction(char first, char second);

// A value taken toward zero into an int: NaN gives 0, values beyond the
// range the nearest bound (plot numbers may be anything a file says).
int ClampToInt(long double v);

// How the reading of a plot ended: at the end of its text, or early, with
// the rest of the plot missing.
enum class TReadStop : uint8_t {
    Complete,
    TooManyErrors, // more than 100 unrecognised instructions
    Cancelled,     // the main window closing, or the operator cancelling
};

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
    // 1-based byte position of the instruction in its file: the first
    // letter of its name (instructions with numbers, PE, labels), or the ESC
    // of an escape sequence; 0 for other instructions.
    int TextPos() const;
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

// The plotter state an instruction works on: the pen position, the move
// mode and the arc being drawn.  The reading keeps one while it scans the
// extent; every replay keeps its own.
struct TPlotterState {
    TExtendedPoint Position;
    bool Relative = false;
    int PenDown = 0;
    TExtendedPoint ArcCenter;
    long double ArcAngle = 0;
};

// The plotter state of the reading's scan before instruction `Index`: where
// a drawing of the plot may start a part of its own (see IndexedRender.h).
struct TScanCheckpoint {
    int Index = 0;
    TPlotterState State;
};

class THpglFile {
public:
    // A reader message (text with its position) and whether it is an error.
    using ErrorEvent = std::function<void(const std::string &message, bool flag)>;

    // Reads the whole file and prescans it, with plot coordinates scaled by
    // `multiplier` (the image multiplier setting, 0.01..100; anything else
    // reads as 1).  Each reader message goes to `onError` as it is found
    // (to a message box without one) and is kept in Messages().  Raises
    // THpglReadError when the file cannot be opened or read.
    THpglFile(const std::string &fileName, long double multiplier, ErrorEvent onError);
    // The same from text already in memory (tests, the fuzzer, benchmarks).
    struct FromText {
        std::string text;
        long double multiplier = 1.0L;
        // false: the scan keeps to the reading's thread whatever the size
        // (to compare with the scan behind it on a second one).
        bool scanBehind = true;
        // false: a number written with zeros after its point ("18149.0")
        // is kept as a fraction, which takes the Extended path through the
        // scan and the replays (to compare that path with the integer one).
        bool zeroFractionsWhole = true;
    };
    THpglFile(FromText source, ErrorEvent onError);
    ~THpglFile();
    THpglFile(const THpglFile &) = delete;
    THpglFile &operator=(const THpglFile &) = delete;

    // ---- what the reading found
    // The file's text as read.
    std::string_view Source() const { return {Text.data(), Text.size()}; }
    // The image multiplier the coordinates were scaled by.
    long double Multiplier() const { return multiplier_; }
    // The extent of every point the plot reaches, in plot units; the first
    // point sets both corners.  A plot that reaches no point has no extent
    // (no size): both corners are then (0, 0).
    bool HasExtent() const { return hasExtent_; }
    const TExtendedPoint &MinPoint() const { return minPoint_; }
    const TExtendedPoint &MaxPoint() const { return maxPoint_; }
    // Instructions that were not recognised.
    int ErrorCount() const { return errorCount_; }
    // Whether the whole text was read; when not, StopPos() is the 1-based
    // position where reading ended (the rest of the plot is missing).
    TReadStop ReadStop() const { return readStop_; }
    int StopPos() const { return stopPos_; }
    // The plotter state and the pen selected when the reading ended.
    const TPlotterState &ScanEnd() const { return scan_; }
    // The scan's state at about every sixteenth of the text, in order (none
    // for a short plot, or one read only in part), where possible before an
    // instruction that MovesAfresh.
    static constexpr int CheckpointCount = 16;
    static constexpr int MinCheckpointText = 64 * 1024;
    // From this size on the scan runs on a second thread behind the reading.
    static constexpr int ScanBehindText = 256 * 1024;
    // Files read in two halves at once (see Read), and the piece read
    // between two looks at the windows.
    static constexpr size_t ReadInHalvesFrom = size_t(8) << 20;
    static constexpr size_t ReadPiece = size_t(4) << 20;
    const std::vector<TScanCheckpoint> &Checkpoints() const { return checkpoints_; }
    int FinalPen() const { return CurrentPen; }
    // The reader's messages in the order found (the first MaxKeptMessages;
    // MessageCount() counts them all).
    static constexpr size_t MaxKeptMessages = 1000;
    const std::vector<std::string> &Messages() const { return messages_; }
    size_t MessageCount() const { return messageCount_; }
    // A message of the drawing of an instruction, placed as the reader
    // places its own (at the position where the reading ended).
    std::string MessageAtEnd(const std::string &message) const;

    // ---- instructions
    int CommandCount() const { return static_cast<int>(recs_.size()); }
    THpglCommand Command(int i) const { return THpglCommand(*this, i); }
    std::string GetText(int i) const { return Command(i).GetText(); }
    // Whether instruction i, run from `before`, goes to an absolute point
    // first (PA, or PU/PD in absolute mode, with numbers): what it draws
    // then depends on the position before it only through where the pen
    // stands on the canvas.
    bool MovesAfresh(int i, const TPlotterState &before) const;

    // While a writer is set, every PE character and flag goes to it, one
    // entry per walk (off by default: on a CAD plot it is hundreds of
    // thousands of lines per walk).  The window passes the debug log.
    using TPeLogWriter = void (*)(const std::string &entry);
    static void SetPeDiagnostics(TPeLogWriter write);
    static bool PeDiagnostics();

    // Bytes the instructions take (records, numbers, PE data; reserved but
    // untouched room not counted), for the benchmark and the memory tests.
    size_t InstructionBytes() const;

private:
    friend class THpglCommand;
    friend class TPlotReplay;
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
    static constexpr uint8_t FlagDefaultTerminator = 4; // "DT;"

    void Read(const std::string &fileName);
    void Init(ErrorEvent onError);
    void Prescan(bool scanBehind = true);
    bool ParseCommand();
    void ParseParameters(bool quotedFields = false);
    // The parameters read so far as values, from now on (their words
    // alone no longer do).
    void WidenParams();
    void ParseEscape();
    void ParseEncodedData(Rec &rec);
    bool ParsePclEscape(size_t e);
    void ParseQuoted(Rec &rec);
    bool SearchFrom(size_t from, char c, size_t &hit);
    void StopEarly(TReadStop why);
    char NextChar(const bool *set);
    void SkipSeparators(const bool *set);
    // Builds message + "@" + ReadPos + ":" + the text around ReadPos, keeps
    // it and hands it to OnError, or to a message box without one.
    void ReportError(const std::string &message);
    std::string MessageAt(const std::string &message, long long readPos) const;

    // number storage
    uint32_t NumberEnd(int i) const;
    int NumberCountOf(int i) const;
    // The numbers of a record whose words end at `numbersEnd`.
    static int CountOf(const Rec &r, uint32_t numbersEnd);
    long double NumberOf(int i, int k) const;
    void CommitNumbers(Rec &rec, const long double *v, int n);

    int PenOf(int i) const;
    // The same, with the caller's own place in the pen runs (replays on
    // several threads at once each keep theirs).
    int PenOf(int i, size_t &cursor) const;
    void AppendRecord(const Rec &rec, int pen);

    // the scan of the extent, run once per instruction while reading
    // The scan runs behind the reading: the reading scales an instruction's
    // numbers and reports too few of them (ScaleForScan), stores them, and
    // the scan then reads them back (ScanStored), on this thread or, for a
    // big plot, on a second one (see Prescan).  PE pen selections are the
    // reading's (PePenWalk), as later instructions take the pen.
    void ScaleForScan(TCommandKind k, long double *v, int n);
    void ScanStored(int i, uint32_t numbersEnd);
    void ScanArc();
    int PePenWalk(int i, int pen);
    void Extent(const TExtendedPoint &p);
    bool MovesAfresh(TCommandKind k, int numbers, const TPlotterState &before) const;
    struct ScanPipe;
    void ScanUpTo(int records, uint32_t numbersEnd, bool last);
    void FinishScan(ScanPipe &pipe);
    void RoomForNumbers(size_t words);
    // Reads `bytes` at `offset` of the file into `to` until they are read,
    // the file ends or `stop` is set; the bytes read, and errno in `error`
    // where reading failed.
    static size_t ReadRange(int fd, char *to, size_t bytes, size_t offset, const std::atomic<bool> &stop, int &error);
    int ScannedPenOf(int i);
    void PublishScan();
    void DrainScan();
    void FollowScan(ScanPipe &pipe) noexcept;
    std::string_view PeData(const Rec &r) const;

    // ---- reader state (names as the program has always used)
    LargeText Text;
    int ReadPos = 0; // 1-based index of the character last read in Text
    char PrevChar = 0;
    char CurChar = 0;
    int CurrentPen = 0;
    char LabelTerminator = 3;
    ErrorEvent OnError;
    TPlotterState scan_; // the plotter state of the scan
    TExtendedPoint minPoint_{};
    TExtendedPoint maxPoint_{};
    bool hasExtent_ = false;
    long double multiplier_ = 1.0L;
    int errorCount_ = 0;
    TReadStop readStop_ = TReadStop::Complete;
    int stopPos_ = 0;
    std::vector<std::string> messages_;
    size_t messageCount_ = 0;

    LargeVector<Rec> recs_;
    LargeVector<uint32_t> nums_;                      // number words of all instructions
    std::string peArena_;                               // PE data that held CR or LF
    std::vector<std::pair<uint32_t, int32_t>> penRuns_; // (first record, pen)
    mutable std::atomic<size_t> penCursor_{0};          // a hint: any value is safe
    std::vector<TScanCheckpoint> checkpoints_;
    // The scan's own: how far it got, its place in the pen runs, the
    // checkpoints due (record indices, set by the reading) and whether one
    // is waiting for an instruction that moves afresh.
    int scanned_ = 0;
    size_t scanPenCursor_ = 0;
    size_t scanPenRuns_ = 0; // pen runs known complete to the scan
    int dueAt_[CheckpointCount] = {};
    std::atomic<int> dueCount_{0};
    int dueDone_ = 0;
    bool checkpointDue_ = false;
    ScanPipe *pipe_ = nullptr;             // while the scan follows on a second thread
    std::vector<long double> paramValues_; // reused buffers of the reader
    std::vector<uint32_t> paramWords_;
    bool paramNarrow_ = true;
    // Resynchronisation after an unknown name: where the last failed pair
    // began (1-based), so one unrecognised instruction counts once.
    bool resyncing_ = false;
    int lastFailStart_ = 0;
    // A character known to be absent from the text from this index on:
    // searches for unterminated labels stay linear.
    char missChar_ = 0;
    size_t missFrom_ = SIZE_MAX;
    bool zeroFractionsWhole_ = true;
};

} // namespace grittor
