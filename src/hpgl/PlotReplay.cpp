// The drawing of each instruction: moves and lines, arcs and circles,
// rectangles and encoded polylines, replayed from the document's numbers
// (already scaled to plot units) into the sinks.
#include "hpgl/PlotReplay.h"

#include "foundation/AbortFlags.h"
#include "foundation/Dialogs.h"
#include "foundation/Progress.h"
#include "hpgl/HpglNumbers.h"
#include "hpgl/HpglWalk.h"

#include <algorithm>
#include <cmath>

namespace grittor {

using namespace hpglimpl;

TPlotReplay::TPlotReplay(const THpglFile &plot, TPlotSink &sink, TPlotSink *also, THpglFile::ErrorEvent onError)
    : plot_(plot), sink_(sink), also_(also), onError_(std::move(onError))
{
    // A replay goes on from the pen state the reading ended in, as every
    // drawing of a plot always has (each one ends in that state again).
    st_.PenDown = plot.ScanEnd().PenDown;
}

void TPlotReplay::Reset()
{
    st_.Position = {0, 0};
    st_.Relative = false;
}

void TPlotReplay::Report(const char *message)
{
    const std::string text = plot_.MessageAtEnd(message);
    if (onError_)
        onError_(text, true);
    else
        GetDialogs().Message(text);
}

bool TPlotReplay::PlayAll(const char *caption, const std::function<void()> &everyBlock)
{
    Reset();
    MoveTo(st_.Position, 0);
    Progress *progress = caption ? &GetProgress() : nullptr;
    if (progress)
        progress->Show(caption);
    const bool complete = PlayRange(0, plot_.CommandCount(), progress, everyBlock);
    MoveTo(st_.Position, 0);
    if (progress)
        progress->Hide();
    return complete;
}

bool TPlotReplay::PlayRange(int from, int to, Progress *progress, const std::function<void()> &everyBlock)
{
    const AbortFlags &flags = GetAbortFlags();
    const int count = plot_.CommandCount();
    to = std::min(to, count);
    for (int i = std::max(from, 0); i < to; ++i) {
        if (flags.StopLongWork())
            return false;
        if (i % 400 == 0) {
            if (everyBlock)
                everyBlock();
            if (progress)
                progress->SetProgress(static_cast<double>(i) / count);
        }
        Draw(i);
    }
    return true;
}

void ReplayInto(const THpglFile &plot, TPlotSink &sink, THpglFile::ErrorEvent onError)
{
    TPlotReplay(plot, sink, nullptr, std::move(onError)).PlayAll();
}

int InstructionDrawing(const THpglFile &plot, const TExtendedPoint &point)
{
    struct Watch final : TPlotSink {
        TExtendedPoint at;
        bool hit = false;
        void Move(const TExtendedPoint &p, int) override { hit |= p.x == at.x && p.y == at.y; }
        void Line(const TExtendedPoint &p, int) override { hit |= p.x == at.x && p.y == at.y; }
    } watch;
    watch.at = point;
    TPlotReplay replay(plot, watch, nullptr, [](const std::string &, bool) {});
    replay.Reset();
    for (int i = 0; i < plot.CommandCount(); ++i) {
        replay.Draw(i);
        if (watch.hit)
            return i;
    }
    return -1;
}

void TPlotReplay::Draw(int i)
{
    if (i < 0 || i >= plot_.CommandCount())
        return;
    const THpglFile::Rec &r = plot_.recs_[static_cast<size_t>(i)];
    switch (r.kind) {
    case TCommandKind::Escape:
    case TCommandKind::Ignored:
    case TCommandKind::SP:
        return;
    case TCommandKind::PA:
    case TCommandKind::PR:
    case TCommandKind::PD:
    case TCommandKind::PU:
        DrawPlot(r.kind, i, plot_.PenOf(i, penCursor_));
        return;
    case TCommandKind::AA:
    case TCommandKind::AR: {
        if (plot_.NumberCountOf(i) < 3) {
            Report("Insuficent Number of Parameters to AA command");
            return;
        }
        const long double p1 = plot_.NumberOf(i, 0), p2 = plot_.NumberOf(i, 1);
        st_.ArcCenter = r.kind == TCommandKind::AA ? TExtendedPoint{p1, p2}
                                                   : TExtendedPoint{st_.Position.x + p1, st_.Position.y + p2};
        st_.ArcAngle = plot_.NumberOf(i, 2);
        DrawArc(plot_.PenOf(i, penCursor_));
        return;
    }
    case TCommandKind::CI: {
        if (plot_.NumberCountOf(i) < 1) {
            Report("Insuficent Number of Parameters to CI command");
            return;
        }
        const int pen = plot_.PenOf(i, penCursor_);
        const int savedPenDown = st_.PenDown;
        st_.PenDown = 1;
        st_.ArcCenter = st_.Position;
        st_.ArcAngle = 360;
        st_.Position = {st_.ArcCenter.x - plot_.NumberOf(i, 0), st_.ArcCenter.y};
        MoveTo(st_.Position, pen);
        DrawArc(pen);
        st_.Position = st_.ArcCenter;
        MoveTo(st_.Position, pen);
        st_.PenDown = savedPenDown;
        return;
    }
    case TCommandKind::EA:
    case TCommandKind::ER: {
        const bool saved = st_.Relative;
        st_.Relative = r.kind == TCommandKind::ER;
        DrawRectangle(i, plot_.PenOf(i, penCursor_));
        st_.Relative = saved;
        return;
    }
    case TCommandKind::PE:
        DrawPE(i);
        return;
    }
}

void TPlotReplay::DrawPlot(TCommandKind k, int i, int pen)
{
    switch (k) {
    case TCommandKind::PA:
        st_.Relative = false;
        break;
    case TCommandKind::PR:
        st_.Relative = true;
        break;
    case TCommandKind::PD:
        st_.PenDown = 1;
        break;
    default:
        st_.PenDown = 0;
        break;
    }
    const int n = plot_.NumberCountOf(i);
    const THpglFile::Rec &r = plot_.recs_[static_cast<size_t>(i)];
    const uint32_t *w = plot_.nums_.data() + r.numOff;
    const bool wide = r.flags & THpglFile::FlagWide;
    // Pairs of whole numbers (the low four bits of a word hold no decimal
    // places), absolute or from a whole-numbered position, are summed up
    // in integers and reach the sinks as such: exactly the Extended sums
    // (far below 2^63).
    int64_t px = 0, py = 0;
    bool whole = !wide && (!st_.Relative || (hpglimpl::IntegralPosition(st_.Position.x, px) &&
                                             hpglimpl::IntegralPosition(st_.Position.y, py)));
    // The sinks take the points as arguments: the position is written back
    // where the run leaves the integers.
    bool pending = false;
    for (int j = 0; j + 1 < n; j += 2) {
        if (whole && hpglnum::BothWhole(w[j], w[j + 1])) {
            const int64_t x = hpglnum::WholeOf(w[j]);
            const int64_t y = hpglnum::WholeOf(w[j + 1]);
            px = st_.Relative ? px + x : x;
            py = st_.Relative ? py + y : y;
            pending = true;
            if (st_.PenDown == 1)
                LineToWhole(px, py, pen);
            else
                MoveToWhole(px, py, pen);
            continue;
        }
        if (pending) {
            st_.Position = {static_cast<long double>(px), static_cast<long double>(py)};
            pending = false;
        }
        // From a fraction on, a relative run goes on in Extended values.
        whole = !wide && !st_.Relative;
        long double x, y;
        if (wide) {
            x = hpglnum::DecodeWide(w + 3 * j);
            y = hpglnum::DecodeWide(w + 3 * j + 3);
        } else {
            x = hpglnum::DecodeNarrow(w[j]);
            y = hpglnum::DecodeNarrow(w[j + 1]);
        }
        if (st_.Relative)
            st_.Position = {st_.Position.x + x, st_.Position.y + y};
        else
            st_.Position = {x, y};
        if (st_.PenDown == 1)
            LineTo(st_.Position, pen);
        else
            MoveTo(st_.Position, pen);
    }
    if (pending)
        st_.Position = {static_cast<long double>(px), static_cast<long double>(py)};
}

void TPlotReplay::DrawArc(int pen)
{
    const long double dx = st_.Position.x - st_.ArcCenter.x;
    const long double dy = st_.Position.y - st_.ArcCenter.y;
    if (std::fabs(dx) < 1e-5L && std::fabs(dy) < 1e-5L)
        return;
    st_.ArcAngle = st_.ArcAngle * kPi / 180;
    const long double r = std::sqrt(dx * dx + dy * dy);
    long double step = std::exp(-0.5L * std::log(r) + 1.056L);
    if (step < 1e-5L)
        step = kMinChordStep;
    if (step > kMaxChordStep)
        step = kMaxChordStep;
    const Sweep s = Chords(st_.ArcAngle, step);
    long double a = 0;
    for (long j = 0; j < s.n; ++j) {
        a += s.delta;
        long double sn, c;
        SinCos(a, sn, c);
        st_.Position.x = dx * c - dy * sn + st_.ArcCenter.x;
        st_.Position.y = dy * c + dx * sn + st_.ArcCenter.y;
        if (st_.PenDown == 1)
            LineTo(st_.Position, pen);
        else
            MoveTo(st_.Position, pen);
    }
}

void TPlotReplay::DrawRectangle(int i, int pen)
{
    if (plot_.NumberCountOf(i) < 2) {
        Report("insuficient number of parameters to ea or er command");
        return;
    }
    const TExtendedPoint a = st_.Position;
    TExtendedPoint b{plot_.NumberOf(i, 0), plot_.NumberOf(i, 1)};
    if (st_.Relative)
        b = {b.x + a.x, b.y + a.y};
    LineTo({a.x, b.y}, pen);
    LineTo({b.x, b.y}, pen);
    LineTo({b.x, a.y}, pen);
    LineTo({a.x, a.y}, pen);
}

void TPlotReplay::DrawPE(int i)
{
    const THpglFile::Rec &r = plot_.recs_[static_cast<size_t>(i)];
    // Every walk starts with the pen the instruction was read with, so a
    // replay draws the points before a pen selection as the first walk did.
    struct Point {
        TPlotReplay &replay;
        void operator()(const TExtendedPoint &p, int pen) const
        {
            if (replay.st_.PenDown == 1)
                replay.LineTo(p, pen);
            else
                replay.MoveTo(p, pen);
        }
        void operator()(int64_t x, int64_t y, int pen) const
        {
            if (replay.st_.PenDown == 1)
                replay.LineToWhole(x, y, pen);
            else
                replay.MoveToWhole(x, y, pen);
        }
    } const point{*this};
    const auto select = [](int) {};
    if (peDiagnostics_ && THpglFile::PeDiagnostics())
        WalkPE<true>(plot_.PeData(r), st_, plot_.PenOf(i, penCursor_), plot_.Multiplier(), "\t\t\tpegl draw entry\r\n", point,
                     select);
    else
        WalkPE<false>(plot_.PeData(r), st_, plot_.PenOf(i, penCursor_), plot_.Multiplier(), "", point, select);
}

} // namespace grittor
