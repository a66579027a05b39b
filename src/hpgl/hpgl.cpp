// The reader half of THpglFile: loading the file, the character reader,
// instruction names, parameters, labels, escapes and PE data, and the
// compact instruction storage.  Instruction behaviour is in HpglCommands.cpp.
#include "hpgl/hpgl.h"
#include "hpgl/HpglNumbers.h"

#include "foundation/AbortFlags.h"
#include "foundation/Dialogs.h"
#include "foundation/Progress.h"
#include "foundation/SideThread.h"
#include "foundation/StringUtils.h"
#include "foundation/UiHooks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace grittor {

using namespace hpglnum;

static_assert(std::numeric_limits<long double>::digits == 64, "plot numbers are 80-bit extended values");

// ------------------------------------------------------------ the tables ---

namespace {
using K = TCommandKind;
using R = TReadKind;
constexpr TInstructionRow I(const char (&n)[3], K c = K::Ignored, R r = R::Normal)
{
    return {{n[0], n[1], 0}, c, r};
}
constexpr TInstructionRow Rej(const char (&n)[3])
{
    return I(n, K::Ignored, R::Rejected);
}
} // namespace

constexpr TInstructionRow InstructionTable[InstructionTableSize] = {
    I("aa", K::AA),
    I("ac"),
    I("ad"),
    I("af"),
    I("ah"),
    I("ap"),
    I("ar", K::AR),
    I("as"),
    I("bf"),
    I("bj"),
    I("bl", K::Ignored, R::Label),
    I("bp"),
    I("ca"),
    I("cc"),
    I("cf"),
    I("ci", K::CI),
    I("cm"),
    I("co", K::Ignored, R::Quoted),
    I("cp"),
    I("cr"),
    I("cs"),
    I("ct"),
    I("cv"),
    I("db"),
    I("dc"),
    I("df"),
    I("di"),
    I("dl"),
    I("dp"),
    I("dr"),
    I("ds"),
    I("dt", K::Ignored, R::LabelTerminator),
    I("dv"),
    I("ea", K::EA),
    I("ec"),
    I("ef"),
    I("ej"),
    I("ep"),
    I("er", K::ER),
    I("es"),
    I("ew"),
    I("fi"),
    I("fn"),
    I("fp"),
    I("fr"),
    I("fs"),
    I("ft"),
    I("gc"),
    I("gm"),
    I("gp"),
    I("ic"),
    I("id"),
    I("im"),
    I("in"),
    I("io"),
    I("ip"),
    I("ir"),
    I("iv"),
    I("iw"),
    I("ka"),
    I("kn"),
    I("ky"),
    I("la"),
    I("lb", K::Ignored, R::Label),
    I("lm"),
    I("lo"),
    I("lt"),
    I("mc"),
    I("mg", K::Ignored, R::Quoted),
    I("mt"),
    I("np"),
    I("nr"),
    Rej("oa"),
    Rej("oc"),
    Rej("od"),
    Rej("oe"),
    Rej("of"),
    Rej("oh"),
    Rej("oi"),
    Rej("ol"),
    Rej("oo"),
    Rej("op"),
    Rej("os"),
    Rej("ot"),
    Rej("ow"),
    I("pa", K::PA),
    I("pb"),
    I("pc"),
    I("pd", K::PD),
    I("pe", K::PE, R::Encoded),
    I("pg"),
    I("pm"),
    I("pr", K::PR),
    I("pp"),
    I("ps"),
    I("pt"),
    I("pw"),
    I("pu", K::PU),
    I("ql"),
    I("ra"),
    I("rf"),
    I("ro"),
    I("rp"),
    I("rr"),
    I("sa"),
    I("sb"),
    I("sc"),
    I("sd"),
    I("sg"),
    I("si"),
    I("sl"),
    I("sm", K::Ignored, R::Symbol),
    I("sp", K::SP),
    I("sr"),
    I("ss"),
    I("st"),
    I("sv"),
    I("td"),
    I("tl"),
    I("tr"),
    I("uc"),
    I("uf"),
    I("ul"),
    I("uv"),
    I("va"),
    I("vn"),
    I("vp"),
    I("vs"),
    I("wa", K::Ignored, R::Skipped),
    I("wg"),
    I("wu"),
    I("xt", K::Ignored, R::Skipped),
    I("yt", K::Ignored, R::Skipped),
};

namespace {

constexpr bool TableComplete()
{
    for (const auto &row : InstructionTable)
        if (row.name[0] < 'a' || row.name[0] > 'z' || row.name[1] < 'a' || row.name[1] > 'z')
            return false;
    return true;
}
static_assert(TableComplete(), "every row has a name");

constexpr bool NamesUnique()
{
    for (int i = 0; i < InstructionTableSize; ++i)
        for (int j = i + 1; j < InstructionTableSize; ++j)
            if (InstructionTable[i].name[0] == InstructionTable[j].name[0] &&
                InstructionTable[i].name[1] == InstructionTable[j].name[1])
                return false;
    return true;
}
static_assert(NamesUnique(), "a name has one row");
static_assert(InstructionTableSize <= 255, "a record keeps its row in one byte");

// The first matching row for each pair of letters: the same answer as a
// linear search of the table, without the search.
struct NameIndex {
    int16_t row[26][26];
    NameIndex()
    {
        std::memset(row, -1, sizeof row);
        for (int i = InstructionTableSize - 1; i >= 0; --i)
            row[InstructionTable[i].name[0] - 'a'][InstructionTable[i].name[1] - 'a'] = static_cast<int16_t>(i);
    }
};

struct CharSet {
    bool in[256] = {};
    explicit CharSet(std::string_view chars)
    {
        for (char c : chars)
            in[static_cast<unsigned char>(c)] = true;
    }
};

// A tab is a blank.  NUL, end-of-transmission, form feed and the DOS
// end-of-file mark between instructions are padding (spool files and line
// captures end with them), not instruction names.
const CharSet kFirstSet(std::string_view("; \t,:!@\r\n\x03\0\x04\x0c\x1a", 14));
const CharSet kStartSet(std::string_view("; \t,:!@\r\n\0\x04\x0c\x1a", 13));
const CharSet kSecondSet(" \t,:!@\r\n");
// Parameter characters by what they do to a field.
enum ParamClass : uint8_t { PcStop, PcDigit, PcSeparator, PcSkip, PcPoint, PcSign };
struct ParamClasses {
    uint8_t c[256] = {};
    ParamClasses()
    {
        for (int d = '0'; d <= '9'; ++d)
            c[d] = PcDigit;
        c[static_cast<unsigned char>(',')] = c[static_cast<unsigned char>(' ')] = c[static_cast<unsigned char>('\t')] =
            PcSeparator;
        c[static_cast<unsigned char>(':')] = c[static_cast<unsigned char>('\r')] = c[static_cast<unsigned char>('\n')] =
            PcSkip;
        c[static_cast<unsigned char>('.')] = PcPoint;
        c[static_cast<unsigned char>('+')] = c[static_cast<unsigned char>('-')] = PcSign;
    }
    uint8_t operator[](unsigned char ch) const { return c[ch]; }
};
const ParamClasses kParamClass;
const CharSet kEmptySet("");

inline char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::atomic<THpglFile::TPeLogWriter> g_peLogWriter{nullptr};

} // namespace

int FindInstruction(char first, char second)
{
    static const NameIndex index;
    if (first < 'a' || first > 'z' || second < 'a' || second > 'z')
        return -1;
    return index.row[first - 'a'][second - 'a'];
}

void THpglFile::SetPeDiagnostics(TPeLogWriter write)
{
    g_peLogWriter.store(write);
}
bool THpglFile::PeDiagnostics()
{
    return g_peLogWriter.load() != nullptr;
}

namespace hpglimpl {
void WritePeDiagnostics(const std::string &entry)
{
    if (const THpglFile::TPeLogWriter write = g_peLogWriter.load())
        write(entry);
}
} // namespace hpglimpl

// ------------------------------------------------------------- creation ---

namespace {
// The settings' own clamps of the image multiplier, NaN included.
long double UsableMultiplier(long double m)
{
    if (!(m >= 0.01L))
        return 1.0L;
    return std::min(m, 100.0L);
}
} // namespace

THpglFile::THpglFile(const std::string &fileName, long double multiplier, ErrorEvent onError)
{
    Init(std::move(onError));
    multiplier_ = UsableMultiplier(multiplier);
    Read(fileName);
    Prescan();
}

THpglFile::THpglFile(FromText source, ErrorEvent onError)
{
    Init(std::move(onError));
    multiplier_ = UsableMultiplier(source.multiplier);
    zeroFractionsWhole_ = source.zeroFractionsWhole;
    if (source.text.size() > static_cast<size_t>(INT_MAX - 16))
        throw THpglReadError("plot text too large");
    Text.assign(source.text.begin(), source.text.end());
    Prescan(source.scanBehind);
}

THpglFile::~THpglFile() = default;

void THpglFile::Init(ErrorEvent onError)
{
    OnError = std::move(onError);
}

namespace {

// Why a path that is not a regular file cannot be a plot.  Asked before the
// file is opened: opening a FIFO waits for a writer, and reading a device
// such as /dev/zero never ends.
const char *NotAPlotFile(mode_t mode)
{
    if (S_ISREG(mode))
        return nullptr;
    if (S_ISDIR(mode))
        return "it is a folder";
    if (S_ISFIFO(mode))
        return "it is a pipe, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a file";
    return "it is not a regular file";
}

} // namespace

void THpglFile::Read(const std::string &fileName)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        throw THpglReadError("cannot open " + fileName + ": " + std::strerror(errno));
    if (const char *why = NotAPlotFile(st.st_mode))
        throw THpglReadError("cannot read " + fileName + ": " + why);
    // Non-blocking and no controlling terminal, in case the path was
    // swapped for something else since it was looked at.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        throw THpglReadError("cannot open " + fileName + ": " + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0)
        throw THpglReadError("cannot read " + fileName + ": " + std::strerror(errno));
    if (const char *why = NotAPlotFile(st.st_mode))
        throw THpglReadError("cannot read " + fileName + ": " + why);
    constexpr size_t kMax = static_cast<size_t>(INT_MAX - 16); // ReadPos is an int
    if (static_cast<unsigned long long>(st.st_size) > kMax)
        throw THpglReadError("cannot read " + fileName + ": file too large");
    const size_t size = static_cast<size_t>(st.st_size);
    // Read straight into the text: a mapping would count the file twice
    // in the peak memory while it is copied.  The room is not written
    // before the file is read into it.
    Text.resize(size);
    // A big file is read in two halves at once, the second on a side
    // thread: most of the time of reading into fresh memory is the
    // system's clearing of each page on its first touch, which two cores
    // then share.
    const size_t half = size >= ReadInHalvesFrom && CoresForThisProcess() > 1 ? size / 2 : size;
    std::atomic<bool> stop{false};
    size_t sideGot = 0;
    int sideError = 0;
    std::unique_ptr<TSideWork> side;
    if (half < size)
        side = std::make_unique<TSideWork>([&] {
            sideGot = ReadRange(fd, Text.data() + half, size - half, half, stop, sideError);
        });
    // The first half in pieces, so that the windows keep moving while a big
    // file comes in from a slow disk or its memory is first touched;
    // closing or cancelling stops the reading, and the prescan stops with
    // it.
    TBreather breather;
    size_t got = 0;
    int error = 0;
    bool cancelled = false;
    while (got < half) {
        const size_t n = ReadRange(fd, Text.data() + got, std::min(ReadPiece, half - got), got, stop, error);
        got += n;
        if (error || n == 0)
            break; // the file shrank meanwhile, or cannot be read
        if (breather.Breathe() && GetAbortFlags().StopLongWork()) {
            cancelled = true;
            break;
        }
    }
    if (side) {
        if (cancelled || error || got < half)
            stop = true;
        side->Wait([&] {
            ProcessMessages();
            if (!stop && GetAbortFlags().StopLongWork()) {
                cancelled = true;
                stop = true;
            }
        });
    }
    if (!error && got == half && side)
        error = sideError;
    if (error)
        throw THpglReadError("cannot read " + fileName + ": " + std::strerror(error));
    if (cancelled) {
        readStop_ = TReadStop::Cancelled;
        stopPos_ = static_cast<int>(got) + 1;
    } else if (got == half && side && !stop) {
        got += sideGot; // short where the file shrank meanwhile
    }
    Text.resize(got);
}

size_t THpglFile::ReadRange(int fd, char *to, size_t bytes, size_t offset, const std::atomic<bool> &stop, int &error)
{
    size_t got = 0;
    while (got < bytes && !stop.load(std::memory_order_relaxed)) {
        const ssize_t n = ::pread(fd, to + got, std::min(ReadPiece, bytes - got), static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return got;
}

// ------------------------------------------------------ character reader ---

inline void THpglFile::SkipSeparators(const bool *set)
{
    const int n = static_cast<int>(Text.size());
    const char *t = Text.data();
    while (ReadPos <= n && set[static_cast<unsigned char>(t[ReadPos - 1])])
        ++ReadPos;
}

inline char THpglFile::NextChar(const bool *set)
{
    ++ReadPos;
    SkipSeparators(set);
    return ReadPos <= static_cast<int>(Text.size()) ? Text[static_cast<size_t>(ReadPos - 1)] : ' ';
}

void THpglFile::ReportError(const std::string &message)
{
    const std::string text = MessageAt(message, ReadPos);
    ++messageCount_;
    if (messages_.size() < MaxKeptMessages)
        messages_.push_back(text);
    if (OnError)
        OnError(text, true);
    else
        GetDialogs().Message(text);
}

std::string THpglFile::MessageAtEnd(const std::string &message) const
{
    return MessageAt(message, ReadPos);
}

std::string THpglFile::MessageAt(const std::string &message, long long readPos) const
{
    const long long len = static_cast<long long>(Text.size());
    auto piece = [&](long long from, long long to) { // 1-based, inclusive, clipped to the text
        from = std::max(from, 1LL);
        to = std::min(to, len);
        if (to < from)
            return std::string_view();
        return std::string_view(Text.data(), Text.size()).substr(static_cast<size_t>(from - 1), static_cast<size_t>(to - from + 1));
    };
    const long long p = readPos;
    return message + "@" + std::to_string(readPos) + ":" + MakePrintable(piece(p - 10, p - 2)) + "-->" +
           MakePrintable(piece(p, p + 9));
}

// --------------------------------------------------------------- prescan ---

// The scan following the reading on a second thread.  The reading publishes
// how many instructions, and number words, are complete (one 64-bit word, so
// the two always match); the scan takes them in order and says how far it
// got.  Before the reading grows a store past its room it waits until the
// scan has caught up (DrainScan), as growing moves what the scan reads.
struct THpglFile::ScanPipe {
    // Records << 32 | number words, and the top bit once the reading ended
    // (a change of the word the scan waits on).
    std::atomic<uint64_t> published{0};
    std::atomic<int> scanned{0};
    std::atomic<size_t> penRuns{0}; // complete pen runs, stored before each publication
    std::exception_ptr failure;
    std::thread follower;
    static constexpr uint64_t Ended = uint64_t(1) << 63;

    // A store the reading fills (records, number words).  Its first write
    // to each fresh page costs the system a clearing of the page, about a
    // quarter of the reading's time on a big plot; the scan, which waits
    // for the reading much of the time, makes the next stretch beyond what
    // is used ready while it waits.  The reading publishes where the store
    // lies now and how far the text is read, the scan keeps what it made
    // ready (contents are never touched, so a store that moved meanwhile
    // is only a stretch prepared in vain).
    struct RoomAhead {
        static constexpr size_t Ahead = size_t(4) << 20;
        static constexpr size_t Step = size_t(1) << 20;
        std::atomic<const char *> base{nullptr};
        std::atomic<size_t> bytes{0};
        const char *readyBase = nullptr; // the scan's own from here
        size_t ready = 0;

        void Publish(const void *p, size_t n)
        {
            base.store(static_cast<const char *>(p), std::memory_order_relaxed);
            bytes.store(n, std::memory_order_relaxed);
        }
        // `used` bytes are filled when `readPos` of `len` characters are
        // read: prepares up to Ahead further, and not much beyond what the
        // rest of the text should take at the same rate.
        void Prepare(size_t used, long long readPos, long long len)
        {
            const char *b = base.load(std::memory_order_relaxed);
            const size_t n = bytes.load(std::memory_order_relaxed);
            if (b != readyBase) {
                readyBase = b;
                ready = 0;
            }
            if (!b || used >= n || readPos <= 0)
                return;
            ready = std::max(ready, used);
            const long double rest = static_cast<long double>(used) * static_cast<long double>(len - readPos) / readPos;
            const size_t target =
                std::min({n, used + Ahead, used + static_cast<size_t>(std::min(rest, 1e15L)) + Step});
            if (target < ready + Step)
                return;
            PrepareForWriting(b + ready, target - ready);
            ready = target;
        }
    };
    RoomAhead records, numbers;
    std::atomic<long long> readPos{0};
    static uint64_t Pack(int records, size_t words)
    {
        return (static_cast<uint64_t>(static_cast<uint32_t>(records)) << 32) | static_cast<uint32_t>(words);
    }
};

void THpglFile::PublishScan()
{
    if (!pipe_)
        return;
    pipe_->penRuns.store(penRuns_.size(), std::memory_order_release);
    pipe_->records.Publish(recs_.data(), recs_.capacity() * sizeof(Rec));
    pipe_->numbers.Publish(nums_.data(), nums_.capacity() * sizeof(uint32_t));
    pipe_->readPos.store(ReadPos, std::memory_order_relaxed);
    pipe_->published.store(ScanPipe::Pack(CommandCount(), nums_.size()), std::memory_order_release);
    pipe_->published.notify_one();
}

void THpglFile::DrainScan()
{
    // Waits until the scan has taken everything published (and so reads
    // nothing until the next publication).  Nothing new is published here:
    // the reading may be half way through an instruction.
    if (!pipe_)
        return;
    const int all = static_cast<int>((pipe_->published.load(std::memory_order_relaxed) & ~ScanPipe::Ended) >> 32);
    for (int got = pipe_->scanned.load(std::memory_order_acquire); got < all;
         got = pipe_->scanned.load(std::memory_order_acquire))
        pipe_->scanned.wait(got, std::memory_order_acquire);
}

void THpglFile::FollowScan(ScanPipe &pipe) noexcept
{
    try {
        for (;;) {
            const uint64_t p = pipe.published.load(std::memory_order_acquire);
            const bool last = (p & ScanPipe::Ended) != 0;
            const int records = static_cast<int>((p & ~ScanPipe::Ended) >> 32);
            if (records > scanned_ || last) {
                scanPenRuns_ = pipe.penRuns.load(std::memory_order_acquire);
                ScanUpTo(records, static_cast<uint32_t>(p), last);
                pipe.scanned.store(scanned_, std::memory_order_release);
                pipe.scanned.notify_all();
                if (last)
                    return;
                continue;
            }
            // Caught up: time to spare for the reading's next pages.
            const long long readPos = pipe.readPos.load(std::memory_order_relaxed);
            const auto len = static_cast<long long>(Text.size());
            pipe.records.Prepare(static_cast<size_t>(records) * sizeof(Rec), readPos, len);
            pipe.numbers.Prepare(static_cast<size_t>(static_cast<uint32_t>(p)) * sizeof(uint32_t), readPos, len);
            if (pipe.published.load(std::memory_order_acquire) != p)
                continue;
            pipe.published.wait(p, std::memory_order_acquire);
        }
    } catch (...) {
        pipe.failure = std::current_exception();
        pipe.scanned.store(INT_MAX, std::memory_order_release); // nobody waits for it any more
        pipe.scanned.notify_all();
    }
}

void THpglFile::ScanUpTo(int records, uint32_t numbersEnd, bool last)
{
    const int due = dueCount_.load(std::memory_order_acquire);
    // The checkpoints due up to instruction `upTo`: where none came since
    // the last one was due, one goes there, whatever the instruction.
    const auto falling = [&](int upTo) {
        while (dueDone_ < due && dueAt_[dueDone_] <= upTo) {
            if (checkpointDue_)
                checkpoints_.push_back({upTo, scan_});
            checkpointDue_ = checkpoints_.size() + 1 < static_cast<size_t>(CheckpointCount);
            ++dueDone_;
        }
    };
    for (int i = scanned_; i < records; ++i) {
        falling(i);
        const uint32_t end = i + 1 < records ? recs_[static_cast<size_t>(i) + 1].numOff : numbersEnd;
        if (!checkpointDue_) {
            ScanStored(i, end);
            continue;
        }
        const TPlotterState before = scan_;
        ScanStored(i, end);
        const Rec &r = recs_[static_cast<size_t>(i)];
        if (MovesAfresh(r.kind, CountOf(r, end), before)) {
            checkpoints_.push_back({i, before});
            checkpointDue_ = false;
        }
    }
    scanned_ = std::max(scanned_, records);
    if (last)
        falling(records); // those left fall after the last instruction
}

void THpglFile::Prescan(bool scanBehind)
{
    ReadPos = 0;
    LabelTerminator = 3;
    maxPoint_ = {};
    minPoint_ = {};
    hasExtent_ = false;
    scan_ = TPlotterState{};
    recs_.clear();
    nums_.clear();
    peArena_.clear();
    penRuns_.clear();
    checkpoints_.clear();
    scanned_ = 0;
    scanPenCursor_ = 0;
    scanPenRuns_ = 0;
    dueCount_.store(0);
    dueDone_ = 0;
    checkpointDue_ = false;
    // Room for the usual density of a plot up front: growing a large vector
    // copies it, and untouched reserve costs no memory.
    // Every instruction takes at least two characters, so the records never
    // outgrow this (growing would copy them and hold both copies at once);
    // pages that are never written cost nothing.
    try {
        recs_.reserve(Text.size() / 2 + 16);
    } catch (const std::bad_alloc &) {
        recs_.reserve(Text.size() / 6 + 16);
    }
    nums_.reserve(Text.size() / 4 + 16);

    resyncing_ = false;
    lastFailStart_ = 0;
    missFrom_ = SIZE_MAX;
    CurChar = Lower(NextChar(kFirstSet.in));
    CurrentPen = 0;
    errorCount_ = 0;
    long counter = 0;
    Progress &progress = GetProgress();
    progress.Show("Prescan Hpgl File");
    const int len = static_cast<int>(Text.size());
    // A big plot is scanned on a second thread behind the reading (the PE
    // diagnostics keep to one thread: they log from the scan).
    ScanPipe pipe;
    if (scanBehind && len >= ScanBehindText && !PeDiagnostics()) {
        try {
            pipe.follower = StartSideThread([this, &pipe] { FollowScan(pipe); });
            pipe_ = &pipe;
        } catch (const std::system_error &) {
            // One thread does both.
        }
    }
    // Checkpoints: one is due at every sixteenth of the text (none on short
    // plots, where a drawing in parts would not pay for itself).  It goes
    // before the next instruction that moves to an absolute point, whose
    // drawing does not depend on the position before it, or where the next
    // one falls due if no such instruction came (ScanUpTo).
    const long long checkpointStep = len >= MinCheckpointText ? len / CheckpointCount : 0;
    long long nextCheckpoint = checkpointStep > 0 ? checkpointStep : LLONG_MAX;
    int sincePublished = 0;
    try {
        for (;;) {
            if (ReadPos > len)
                break;
            if (ReadPos >= nextCheckpoint) {
                const int due = dueCount_.load(std::memory_order_relaxed);
                if (due < CheckpointCount) {
                    dueAt_[due] = CommandCount();
                    dueCount_.store(due + 1, std::memory_order_release);
                }
                while (nextCheckpoint <= ReadPos)
                    nextCheckpoint += checkpointStep;
            }
            if (GetAbortFlags().StopLongWork()) {
                StopEarly(TReadStop::Cancelled);
                break;
            }
            if (++counter % 400 == 0)
                progress.SetProgress(len > 0 ? static_cast<double>(ReadPos) / len : 1.0);
            const bool ok = ParseCommand();
            if (!pipe_) {
                scanPenRuns_ = penRuns_.size();
                ScanUpTo(CommandCount(), static_cast<uint32_t>(nums_.size()), false);
            } else if (++sincePublished >= 256) {
                sincePublished = 0;
                PublishScan();
            }
            if (errorCount_ > 100) {
                StopEarly(TReadStop::TooManyErrors);
                GetDialogs().Message(
                    "More than 100 errors in hpgl file.  This file is probably not in the correct format");
                break;
            }
            if (!ok)
                continue; // the second letter of the rejected pair is the next first letter
            CurChar = Lower(NextChar(kStartSet.in));
        }
    } catch (...) {
        FinishScan(pipe);
        throw;
    }
    FinishScan(pipe);
    // Hidden on every stop, not only at the end of the text, so an error
    // stop or closing never leaves the progress window behind.
    progress.Hide();
    if (readStop_ != TReadStop::Complete)
        checkpoints_.clear();
    paramWords_.clear();
    paramWords_.shrink_to_fit();
    paramValues_.clear();
    paramValues_.shrink_to_fit();
}

void THpglFile::FinishScan(ScanPipe &pipe)
{
    if (!pipe_) {
        scanPenRuns_ = penRuns_.size();
        ScanUpTo(CommandCount(), static_cast<uint32_t>(nums_.size()), true);
        return;
    }
    pipe.penRuns.store(penRuns_.size(), std::memory_order_release);
    pipe.published.store(ScanPipe::Pack(CommandCount(), nums_.size()) | ScanPipe::Ended, std::memory_order_release);
    pipe.published.notify_one();
    pipe.follower.join();
    pipe_ = nullptr;
    if (pipe.failure)
        std::rethrow_exception(pipe.failure);
}

void THpglFile::StopEarly(TReadStop why)
{
    // A reading already cut short keeps the first reason and place.
    if (readStop_ != TReadStop::Complete)
        return;
    readStop_ = why;
    stopPos_ = std::min(std::max(ReadPos, 1), static_cast<int>(Text.size()) + 1);
}

bool THpglFile::ParseCommand()
{
    if (ReadPos >= 1 && ReadPos <= static_cast<int>(Text.size()) && Text[static_cast<size_t>(ReadPos - 1)] == 27) {
        resyncing_ = false;
        ParseEscape();
        return true;
    }
    const int pairStart = ReadPos;
    PrevChar = CurChar;
    CurChar = Lower(NextChar(kSecondSet.in));
    const int row = FindInstruction(PrevChar, CurChar);
    if (row < 0 || InstructionTable[row].kind == TReadKind::Rejected) {
        // The reader moves on one character at a time until a name fits.
        // The pairs it tries on the way belong to the same unrecognised
        // instruction, unless it has passed the end of one (a ";" or a line
        // end): one error, one message per instruction.
        const auto at = [&](int k) {
            return k >= 1 && k <= static_cast<int>(Text.size()) ? Text[static_cast<size_t>(k - 1)] : '\0';
        };
        const auto ends = [](char c) { return c == ';' || c == '\r' || c == '\n'; };
        bool fresh = !resyncing_;
        if (!fresh && !ends(at(pairStart)))
            for (int k = lastFailStart_; !fresh && k < pairStart; ++k)
                fresh = ends(at(k));
        resyncing_ = true;
        lastFailStart_ = pairStart;
        if (fresh) {
            ++errorCount_;
            ReportError("Invalid Hpgl Command");
        }
        return false;
    }
    resyncing_ = false;
    const TInstructionRow &r = InstructionTable[row];
    Rec rec{};
    rec.kind = r.cls;
    rec.name = static_cast<uint8_t>(row);
    const int pen = CurrentPen;
    switch (r.kind) {
    case TReadKind::Normal: {
        // IN and DF set the default label terminator again.
        static const int kIn = FindInstruction('i', 'n'), kDf = FindInstruction('d', 'f');
        if (row == kIn || row == kDf)
            LabelTerminator = 3;
        rec.pos = static_cast<uint32_t>(ReadPos);
        static const int kBp = FindInstruction('b', 'p');
        ParseParameters(row == kBp); // BP1,"name";
        rec.numOff = static_cast<uint32_t>(nums_.size());
        rec.len = static_cast<uint32_t>(std::min(ReadPos, static_cast<int>(Text.size()))) - rec.pos;
        const int count = static_cast<int>(paramNarrow_ ? paramWords_.size() : paramValues_.size());
        if (r.cls == TCommandKind::SP && count == 0)
            CurrentPen = 0;
        else if (r.cls == TCommandKind::SP)
            CurrentPen = ClampToInt(std::floor((paramNarrow_ ? DecodeNarrow(paramWords_[0]) : paramValues_[0]) + 0.5L));
        AppendRecord(rec, pen);
        if (paramNarrow_ && multiplier_ == 1.0L) {
            // Scaling by one changes nothing: the words of the parse hold,
            // and only their count is looked at.
            ScaleForScan(r.cls, nullptr, count);
            RoomForNumbers(paramWords_.size());
            nums_.insert(nums_.end(), paramWords_.begin(), paramWords_.end());
        } else {
            WidenParams();
            ScaleForScan(r.cls, paramValues_.data(), count);
            CommitNumbers(recs_.back(), paramValues_.data(), count);
        }
        return true;
    }
    case TReadKind::LabelTerminator: {
        const char c = NextChar(kEmptySet.in);
        const int n = static_cast<int>(Text.size());
        rec.numOff = static_cast<uint32_t>(nums_.size());
        if (c == ';' && ReadPos <= n) {
            // "DT;" restores the default terminator, ETX (";" cannot be one).
            LabelTerminator = 3;
            rec.extra = 3;
            rec.flags |= FlagDefaultTerminator;
            rec.pos = static_cast<uint32_t>(ReadPos - 1);
            rec.len = 0;
            AppendRecord(rec, pen);
            return true;
        }
        LabelTerminator = c;
        rec.extra = static_cast<uint8_t>(c);
        rec.pos = static_cast<uint32_t>(std::min(ReadPos, n));
        if (ReadPos <= n) {
            // The optional mode that follows the terminator ("DT*,1;": the
            // terminator is not printed) is a parameter, not a new name.
            ParseParameters();
            rec.len = static_cast<uint32_t>(std::min(ReadPos, n)) - rec.pos;
        }
        AppendRecord(rec, pen);
        return true;
    }
    case TReadKind::Label: {
        const size_t from = static_cast<size_t>(ReadPos); // 0-based index of ReadPos + 1
        size_t q = 0;
        rec.numOff = static_cast<uint32_t>(nums_.size());
        if (!SearchFrom(from, LabelTerminator, q)) {
            ReportError("unterminated label");
            rec.pos = static_cast<uint32_t>(std::min(from, Text.size()));
            rec.len = 0;
        } else {
            rec.pos = static_cast<uint32_t>(from);
            rec.len = static_cast<uint32_t>(q - from + 1);
            ReadPos = static_cast<int>(q + 1);
        }
        AppendRecord(rec, pen);
        return true;
    }
    case TReadKind::Symbol: {
        // SM takes the next character as its symbol; "SM;" has none.
        rec.numOff = static_cast<uint32_t>(nums_.size());
        rec.pos = static_cast<uint32_t>(std::min(ReadPos, static_cast<int>(Text.size())));
        const int n = static_cast<int>(Text.size());
        if (ReadPos < n) {
            const unsigned char c = static_cast<unsigned char>(Text[static_cast<size_t>(ReadPos)]);
            if (c > ' ' && c <= '~' && c != ';') {
                ++ReadPos;
                rec.len = 1;
            }
        }
        AppendRecord(rec, pen);
        return true;
    }
    case TReadKind::Quoted:
        ParseQuoted(rec);
        rec.numOff = static_cast<uint32_t>(nums_.size());
        AppendRecord(rec, pen);
        return true;
    case TReadKind::Skipped:
        return true;
    case TReadKind::Encoded: {
        const uint32_t secondLetter = static_cast<uint32_t>(ReadPos);
        ParseEncodedData(rec);
        RoomForNumbers(2);
        rec.numOff = static_cast<uint32_t>(nums_.size());
        nums_.push_back(static_cast<uint32_t>(pen)); // the pen of its last walk
        nums_.push_back(secondLetter);               // its place (its data may be a copy)
        AppendRecord(rec, pen);
        nums_[rec.numOff] = static_cast<uint32_t>(PePenWalk(CommandCount() - 1, pen));
        return true;
    }
    case TReadKind::Rejected:
        break;
    }
    return true;
}

void THpglFile::WidenParams()
{
    if (!paramNarrow_)
        return;
    paramNarrow_ = false;
    for (const uint32_t w : paramWords_)
        paramValues_.push_back(DecodeNarrow(w));
}

void THpglFile::ParseParameters(bool quotedFields)
{
    // One pass over the text: the reader's character rules (the first
    // character skips ":", CR, LF, blank and ",", later ones only ":", CR,
    // LF) and the field rules (split at commas and blanks, empty fields
    // vanish, each cut to 11 characters, then converted) applied as the
    // characters go by.  The values are those of ParseExtended: a field of
    // at most 11 characters of sign, digits and one point is a mantissa
    // below 10^11 over a power of ten, converted with one rounding.  Blanks
    // and commas are field separators anyway, so the first character needs
    // no rule of its own.
    // While every field is a one-word number, only the words are kept;
    // from the first that is not, the values of all of them (WidenParams).
    paramValues_.clear();
    paramWords_.clear();
    paramNarrow_ = true;
    const char *t = Text.data();
    const int n = static_cast<int>(Text.size());
    int rp = ReadPos + 1; // 1-based position of the character at hand
    std::vector<std::string> failed;
    for (;;) {
        // Between fields.
        while (rp <= n) {
            const uint8_t cls = kParamClass[static_cast<unsigned char>(t[rp - 1])];
            if (cls != PcSeparator && cls != PcSkip)
                break;
            ++rp;
        }
        if (rp > n)
            break; // the blank returned past the end ends nothing more
        if (quotedFields && t[rp - 1] == '"') {
            // A quoted text is one field, ";" and all; as a number it is 0.
            size_t q = 0;
            if (!SearchFrom(static_cast<size_t>(rp), '"', q)) {
                ReadPos = rp;
                ReportError("unterminated quoted text");
                --rp; // the quote is left for the next instruction
                break;
            }
            WidenParams();
            paramValues_.push_back(0);
            rp = static_cast<int>(q) + 2;
            if (rp > n)
                break;
            if (kParamClass[static_cast<unsigned char>(t[rp - 1])] == PcStop && t[rp - 1] != '"') {
                --rp;
                break;
            }
            continue;
        }
        if (kParamClass[static_cast<unsigned char>(t[rp - 1])] == PcStop) {
            --rp; // left for the next instruction
            break;
        }
        // One field: sign, digits and points, ":", CR and LF skipped.
        char field[TLinkedStringList::MaxText];
        int flen = 0, digits = 0, frac = 0;
        bool neg = false, dot = false, bad = false;
        uint64_t mant = 0;
        uint8_t cls = PcStop;
        for (; rp <= n; ++rp) {
            const char c = t[rp - 1];
            cls = kParamClass[static_cast<unsigned char>(c)];
            if (cls == PcDigit) {
                if (flen < TLinkedStringList::MaxText) {
                    field[flen++] = c;
                    mant = mant * 10 + static_cast<uint64_t>(c - '0');
                    ++digits;
                    frac += dot;
                }
            } else if (cls == PcSkip) {
                continue;
            } else if (cls == PcPoint) {
                if (flen < TLinkedStringList::MaxText) {
                    field[flen++] = c;
                    bad |= dot;
                    dot = true;
                }
            } else if (cls == PcSign) {
                if (flen < TLinkedStringList::MaxText) {
                    bad |= flen > 0;
                    neg = c == '-';
                    field[flen++] = c;
                }
            } else {
                break; // a separator, or the end of the parameters
            }
        }
        if (bad || digits == 0) {
            failed.emplace_back(field, static_cast<size_t>(flen));
            WidenParams();
            paramValues_.push_back(0);
        } else if (paramNarrow_ && mant < static_cast<uint64_t>(kNarrowLimit) && !(neg && mant == 0)) {
            // The usual number: one word, and no extended value worked out
            // (it would be the word's, DecodeNarrow).  Zeros at the end of
            // a fraction go: "18149.0" is the whole word 18149, which the
            // scan and the replays take on their integer paths, and
            // "2.50" is 25 / 10, the same correctly rounded quotient as
            // 250 / 100.
            while (zeroFractionsWhole_ && frac > 0 && mant % 10 == 0) {
                mant /= 10;
                --frac;
            }
            const int32_t mi = neg ? -static_cast<int32_t>(mant) : static_cast<int32_t>(mant);
            paramWords_.push_back((static_cast<uint32_t>(mi) << 4) | static_cast<uint32_t>(frac));
        } else {
            long double v = static_cast<long double>(mant);
            if (frac > 0)
                v /= kPow10[frac];
            if (neg)
                v = -v;
            WidenParams();
            paramValues_.push_back(v);
        }
        if (rp > n)
            break;
        if (cls == PcStop) {
            --rp;
            break;
        }
        ++rp; // over the separator
    }
    ReadPos = rp;
    for (const auto &f : failed)
        ReportError(ConversionMessage(f));
}

bool THpglFile::SearchFrom(size_t from, char c, size_t &hit)
{
    if (from >= Text.size())
        return false;
    // A search that found nothing proves the character absent up to the end:
    // a million unterminated labels cost one pass, not a million.
    if (c == missChar_ && from >= missFrom_)
        return false;
    const void *p = std::memchr(Text.data() + from, static_cast<unsigned char>(c), Text.size() - from);
    if (!p) {
        if (c != missChar_ || from < missFrom_) {
            missChar_ = c;
            missFrom_ = from;
        }
        return false;
    }
    hit = static_cast<size_t>(static_cast<const char *>(p) - Text.data());
    return true;
}

void THpglFile::ParseQuoted(Rec &rec)
{
    // CO "text" and MG "text": the text runs to the closing quote, ";" and
    // line ends included.
    const int n = static_cast<int>(Text.size());
    int p = ReadPos + 1; // 1-based: the first character after the name
    while (p <= n && Text[static_cast<size_t>(p - 1)] == ' ')
        ++p;
    rec.pos = static_cast<uint32_t>(std::min(ReadPos, n));
    rec.len = 0;
    if (p > n)
        return;
    if (Text[static_cast<size_t>(p - 1)] == '"') {
        size_t q = 0;
        bool closed = SearchFrom(static_cast<size_t>(p), '"', q);
        while (closed && q + 1 < Text.size() && Text[q + 1] == '"') // "" is a quote inside
            closed = SearchFrom(q + 2, '"', q);
        if (!closed) {
            ReadPos = p;
            ReportError("unterminated quoted text");
            return; // reading goes on after the opening quote
        }
        rec.pos = static_cast<uint32_t>(p - 1);
        rec.len = static_cast<uint32_t>(q - rec.pos + 1);
        ReadPos = static_cast<int>(q + 1);
        return;
    }
    // Text without quotes is no parameter of these, but it is what some
    // writers put there: it is taken up to ";" within its line, never past a
    // line end, an ESC or a byte outside the printable range, and said,
    // rather than read as instructions (where a "pr" in a word switches to
    // relative plotting).
    int q = p;
    while (q <= n) {
        const unsigned char c = static_cast<unsigned char>(Text[static_cast<size_t>(q - 1)]);
        if (c == ';' || c < ' ' || c > '~')
            break;
        ++q;
    }
    if (q == p)
        return; // nothing but ";" or the next instruction
    ReadPos = p;
    ReportError("text without quotes taken as a comment");
    rec.pos = static_cast<uint32_t>(p - 1);
    rec.len = static_cast<uint32_t>(q - p);
    ReadPos = q - 1; // on the last character taken
}

void THpglFile::ParseEncodedData(Rec &rec)
{
    // Everything up to ";" or the end of the text, CR and LF left out.
    const size_t from = static_cast<size_t>(ReadPos); // the character after the name
    size_t to = Text.size();
    if (from < Text.size()) {
        if (const void *semi = std::memchr(Text.data() + from, ';', Text.size() - from))
            to = static_cast<size_t>(static_cast<const char *>(semi) - Text.data());
    } else {
        to = from;
    }
    const std::string_view raw = to > from ? std::string_view(Text.data() + from, to - from) : std::string_view();
    // Two vector searches: find_first_of looked each character up in the
    // set with a call of its own (4 % of a 50 MB plot's whole render).
    const bool wrapped = !raw.empty() && (std::memchr(raw.data(), '\n', raw.size()) != nullptr ||
                                          std::memchr(raw.data(), '\r', raw.size()) != nullptr);
    if (!wrapped) {
        rec.pos = static_cast<uint32_t>(from);
        rec.len = static_cast<uint32_t>(raw.size());
    } else {
        if (peArena_.size() + raw.size() > std::numeric_limits<uint32_t>::max())
            throw THpglReadError("plot too large");
        if (pipe_ && peArena_.size() + raw.size() > peArena_.capacity())
            DrainScan(); // the scan behind may be reading PE data kept here
        rec.flags |= FlagPeArena;
        rec.pos = static_cast<uint32_t>(peArena_.size());
        for (char c : raw)
            if (c != '\r' && c != '\n')
                peArena_ += c;
        rec.len = static_cast<uint32_t>(peArena_.size() - rec.pos);
    }
    // On the ";" the reader steps back so the next instruction starts there;
    // at the end of the text it is past the end.
    ReadPos = to < Text.size() ? static_cast<int>(to) : static_cast<int>(Text.size()) + 1;
}

// ------------------------------------------------------ compact storage ---

void THpglFile::AppendRecord(const Rec &rec, int pen)
{
    if (recs_.size() >= static_cast<size_t>(INT_MAX))
        throw THpglReadError("plot has too many instructions");
    // The scan behind may be reading these: it catches up before either
    // store grows out of its room (the pen runs only when one is added:
    // waiting at every instruction while they were full kept the reading
    // in step with the scan).
    const bool newRun = penRuns_.empty() || penRuns_.back().second != pen;
    if (pipe_ && (recs_.size() == recs_.capacity() || (newRun && penRuns_.size() == penRuns_.capacity())))
        DrainScan();
    if (newRun)
        penRuns_.emplace_back(static_cast<uint32_t>(recs_.size()), pen);
    recs_.push_back(rec);
}

void THpglFile::RoomForNumbers(size_t words)
{
    if (pipe_ && nums_.size() + words > nums_.capacity())
        DrainScan();
}

void THpglFile::CommitNumbers(Rec &rec, const long double *v, int n)
{
    const size_t start = nums_.size();
    if (start + static_cast<size_t>(n) * 3 > std::numeric_limits<uint32_t>::max())
        throw THpglReadError("plot has too many numbers");
    rec.numOff = static_cast<uint32_t>(start);
    RoomForNumbers(static_cast<size_t>(n) * 3);
    for (int k = 0; k < n; ++k) {
        uint32_t w;
        if (!EncodeNarrow(v[k], w)) {
            nums_.resize(start);
            rec.flags |= FlagWide;
            nums_.resize(start + static_cast<size_t>(n) * 3);
            for (int j = 0; j < n; ++j)
                EncodeWide(v[j], nums_.data() + start + static_cast<size_t>(j) * 3);
            return;
        }
        nums_.push_back(w);
    }
}

uint32_t THpglFile::NumberEnd(int i) const
{
    return static_cast<size_t>(i) + 1 < recs_.size() ? recs_[static_cast<size_t>(i) + 1].numOff
                                                     : static_cast<uint32_t>(nums_.size());
}

int THpglFile::NumberCountOf(int i) const
{
    return CountOf(recs_[static_cast<size_t>(i)], NumberEnd(i));
}

int THpglFile::CountOf(const Rec &r, uint32_t numbersEnd)
{
    if (r.kind == TCommandKind::PE || r.kind == TCommandKind::Escape)
        return 0;
    const uint32_t words = numbersEnd - r.numOff;
    return static_cast<int>((r.flags & FlagWide) ? words / 3 : words);
}

long double THpglFile::NumberOf(int i, int k) const
{
    const Rec &r = recs_[static_cast<size_t>(i)];
    if (r.flags & FlagWide)
        return DecodeWide(nums_.data() + r.numOff + static_cast<size_t>(k) * 3);
    return DecodeNarrow(nums_[r.numOff + static_cast<size_t>(k)]);
}

int THpglFile::ScannedPenOf(int i)
{
    // Instructions are scanned in order: the place in the runs only moves
    // on, and never past the runs known complete.
    const uint32_t u = static_cast<uint32_t>(i);
    while (scanPenCursor_ + 1 < scanPenRuns_ && penRuns_[scanPenCursor_ + 1].first <= u)
        ++scanPenCursor_;
    if (scanPenRuns_ == 0 || penRuns_[scanPenCursor_].first > u)
        return 0;
    return penRuns_[scanPenCursor_].second;
}

bool THpglFile::MovesAfresh(int i, const TPlotterState &before) const
{
    if (i < 0 || i >= CommandCount())
        return false;
    return MovesAfresh(recs_[static_cast<size_t>(i)].kind, NumberCountOf(i), before);
}

bool THpglFile::MovesAfresh(TCommandKind k, int numbers, const TPlotterState &before) const
{
    return numbers >= 2 &&
           (k == TCommandKind::PA || ((k == TCommandKind::PU || k == TCommandKind::PD) && !before.Relative));
}

int THpglFile::PenOf(int i) const
{
    size_t cursor = penCursor_.load(std::memory_order_relaxed);
    const int pen = PenOf(i, cursor);
    penCursor_.store(cursor, std::memory_order_relaxed);
    return pen;
}

int THpglFile::PenOf(int i, size_t &cursor) const
{
    const uint32_t u = static_cast<uint32_t>(i);
    const size_t c = cursor;
    if (c < penRuns_.size() && penRuns_[c].first <= u && (c + 1 == penRuns_.size() || penRuns_[c + 1].first > u))
        return penRuns_[c].second;
    if (c + 1 < penRuns_.size() && penRuns_[c + 1].first <= u &&
        (c + 2 == penRuns_.size() || penRuns_[c + 2].first > u)) {
        cursor = c + 1;
        return penRuns_[c + 1].second;
    }
    auto it = std::upper_bound(penRuns_.begin(), penRuns_.end(), u,
                               [](uint32_t v, const std::pair<uint32_t, int32_t> &run) { return v < run.first; });
    if (it == penRuns_.begin())
        return 0;
    --it;
    cursor = static_cast<size_t>(it - penRuns_.begin());
    return it->second;
}

std::string_view THpglFile::PeData(const Rec &r) const
{
    // From the stores' data, not their sizes: the scan behind the reading
    // reads instructions while later ones are added.
    if (r.flags & FlagPeArena)
        return std::string_view(peArena_.data() + r.pos, r.len);
    return std::string_view(Text.data() + r.pos, r.len);
}

size_t THpglFile::InstructionBytes() const
{
    return recs_.size() * sizeof(Rec) + nums_.size() * sizeof(uint32_t) + peArena_.size() +
           penRuns_.size() * sizeof(penRuns_[0]);
}

// ------------------------------------------------------ instruction view ---

int THpglCommand::TextPos() const
{
    const auto &r = file_->recs_[static_cast<size_t>(index_)];
    if (r.kind == TCommandKind::Escape)
        return static_cast<int>(r.pos) - 2; // the text after ESC, "." and the letter
    const TReadKind kind = InstructionTable[r.name].kind;
    // Where the reader stood on the name's second letter (1-based).
    int second = 0;
    if (kind == TReadKind::Encoded)
        second = static_cast<int>(file_->nums_[r.numOff + 1]);
    else if (kind == TReadKind::Normal || kind == TReadKind::Label)
        second = static_cast<int>(r.pos);
    else
        return 0;
    // Back over what may stand between the two letters ("P A").
    int first = second - 1;
    while (first > 1 && kSecondSet.in[static_cast<unsigned char>(file_->Text[static_cast<size_t>(first - 1)])])
        --first;
    return first;
}

TCommandKind THpglCommand::Kind() const
{
    return file_->recs_[static_cast<size_t>(index_)].kind;
}

std::string THpglCommand::Name() const
{
    const auto &r = file_->recs_[static_cast<size_t>(index_)];
    if (r.kind == TCommandKind::Escape)
        return std::string(1, static_cast<char>(r.name));
    return std::string(InstructionTable[r.name].name, 2);
}

int THpglCommand::Pen() const
{
    const auto &r = file_->recs_[static_cast<size_t>(index_)];
    if (r.kind == TCommandKind::PE)
        return static_cast<int32_t>(file_->nums_[r.numOff]);
    return file_->PenOf(index_);
}

TLinkedStringList THpglCommand::Strings() const
{
    TLinkedStringList out;
    const auto &r = file_->recs_[static_cast<size_t>(index_)];
    const std::string_view text = file_->Source();
    switch (r.kind) {
    case TCommandKind::PE:
        return out;
    case TCommandKind::Escape: {
        if (r.len == 0)
            return out;
        const std::string_view body = text.substr(r.pos, r.len);
        size_t start = 0;
        for (;;) {
            const size_t semi = body.find(';', start);
            out.Add(body.substr(start, semi == std::string_view::npos ? std::string_view::npos : semi - start));
            if (semi == std::string_view::npos)
                break;
            start = semi + 1;
        }
        return out;
    }
    default:
        break;
    }
    const TReadKind kind = InstructionTable[r.name].kind;
    if (kind == TReadKind::LabelTerminator) {
        if (r.flags & THpglFile::FlagDefaultTerminator)
            return out; // "DT;"
        const char c = static_cast<char>(r.extra);
        out.Add(std::string_view(&c, 1));
        // then the mode, if one was given
    } else if (kind == TReadKind::Label || kind == TReadKind::Quoted || kind == TReadKind::Symbol) {
        if (r.len > 0)
            out.Add(text.substr(r.pos, r.len));
        return out;
    }
    // The parameter text as the reader collected it: the separators it
    // skipped (":", CR, LF) left out, then split at commas and blanks.
    std::string collected;
    for (char c : text.substr(r.pos, r.len))
        if (c != ':' && c != '\r' && c != '\n')
            collected += c == '\t' ? ' ' : c;
    size_t p = 0;
    while (p < collected.size()) {
        while (p < collected.size() && (collected[p] == ',' || collected[p] == ' '))
            ++p;
        if (p == collected.size())
            break;
        size_t q = p;
        while (q < collected.size() && collected[q] != ',' && collected[q] != ' ')
            ++q;
        out.Add(std::string_view(collected).substr(p, q - p));
        p = q;
    }
    return out;
}

bool THpglCommand::HasNumbers() const
{
    const auto &r = file_->recs_[static_cast<size_t>(index_)];
    if (r.kind == TCommandKind::PE || r.kind == TCommandKind::Escape)
        return false;
    const TReadKind kind = InstructionTable[r.name].kind;
    return kind == TReadKind::Normal;
}

int THpglCommand::NumberCount() const
{
    return HasNumbers() ? file_->NumberCountOf(index_) : 0;
}

long double THpglCommand::Number(int i) const
{
    if (i < 0 || i >= NumberCount())
        throw std::out_of_range("instruction has no number " + std::to_string(i));
    return file_->NumberOf(index_, i);
}

std::vector<long double> THpglCommand::Numbers() const
{
    std::vector<long double> out;
    const int n = NumberCount();
    out.reserve(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k)
        out.push_back(file_->NumberOf(index_, k));
    return out;
}

std::string THpglCommand::Data() const
{
    const auto &r = file_->recs_[static_cast<size_t>(index_)];
    if (r.kind != TCommandKind::PE)
        return {};
    return std::string(file_->PeData(r)) + ";";
}

std::string THpglCommand::GetText() const
{
    const TCommandKind k = Kind();
    std::string out;
    if (k == TCommandKind::Escape) {
        out = "\x1b.";
        out += UpperCase(Name());
        const TLinkedStringList s = Strings();
        for (int i = 0; i < s.Count(); ++i) {
            if (i > 0)
                out += ';';
            out += s.View(i);
        }
        out += ':';
        return out;
    }
    out = UpperCase(Name());
    if (k == TCommandKind::PE)
        return out + Data();
    if (k == TCommandKind::Ignored || k == TCommandKind::SP) {
        const TLinkedStringList s = Strings();
        for (int i = 0; i < s.Count(); ++i) {
            if (i > 0)
                out += ',';
            out += s.View(i);
        }
    } else {
        const int n = NumberCount();
        for (int i = 0; i < n; ++i) {
            if (i > 0)
                out += ',';
            out += FormatExtended(file_->NumberOf(index_, i));
        }
    }
    out += ';';
    return out;
}

} // namespace grittor
