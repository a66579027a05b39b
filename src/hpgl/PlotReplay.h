// Drawing a plot is a replay of its document (THpglFile) into a sink.  The
// replay carries the plotter state (pen position, move mode, arc) of its own,
// so the document never changes while it is drawn, and each use of a plot has
// its replay and its sink:
//
//   the window picture, the printer page     TCanvasSink (hpgl/CanvasSink.h)
//   the outline collection                   TPolygon (geometry/polygon.h), on
//                                            a second thread beside a drawing
//                                            (geometry/OutlineCollector.h)
//   grittor-cli info's pen census            a small sink of its own
//
// A replay may feed two sinks at once.
#pragma once

#include "foundation/utils.h"
#include "hpgl/hpgl.h"

#include <string>

namespace grittor {

class Progress;

// Receives the points of a replay, in plot units: a pen-up move, or a line
// from the previous point drawn with `pen`.
class TPlotSink {
public:
    virtual ~TPlotSink() = default;
    virtual void Move(const TExtendedPoint &point, int pen) = 0;
    virtual void Line(const TExtendedPoint &point, int pen) = 0;
    // The same for a point of whole numbers (most PE points): a sink may
    // take them as they are instead of through Extended values in memory.
    virtual void MoveWhole(int64_t x, int64_t y, int pen)
    {
        Move({static_cast<long double>(x), static_cast<long double>(y)}, pen);
    }
    virtual void LineWhole(int64_t x, int64_t y, int pen)
    {
        Line({static_cast<long double>(x), static_cast<long double>(y)}, pen);
    }
};

class TPlotReplay {
public:
    // Messages of the drawing (an arc or rectangle with too few numbers) go
    // to `onError`, placed as the reader places its own; without one, to a
    // message box.
    TPlotReplay(const THpglFile &plot, TPlotSink &sink, TPlotSink *also = nullptr,
                THpglFile::ErrorEvent onError = nullptr);

    // Runs instruction i from the current plotter state.
    void Draw(int i);
    // From (0,0), absolute, with the pen up or down as the reading left it:
    // a move to the start point, every instruction in order, and a move to
    // where the last one ended (the
    // window's rendering, printing and the outline collection all draw the
    // plot this way).  Stops early when long work is to stop (closing, or
    // Cancel on the progress window) and then returns false.  With a
    // caption, shows the progress window; `everyBlock` (if given) runs
    // before every 400th instruction.
    bool PlayAll(const char *caption = nullptr, const std::function<void()> &everyBlock = nullptr);
    // Instructions from..to-1 from the current plotter state, moving
    // `progress` (if any) and running `everyBlock` as PlayAll does; false
    // when long work was to stop first.
    bool PlayRange(int from, int to, Progress *progress = nullptr,
                   const std::function<void()> &everyBlock = nullptr);

    // The two sinks at once.
    void MoveTo(const TExtendedPoint &point, int pen)
    {
        sink_.Move(point, pen);
        if (also_)
            also_->Move(point, pen);
    }
    void LineTo(const TExtendedPoint &point, int pen)
    {
        sink_.Line(point, pen);
        if (also_)
            also_->Line(point, pen);
    }
    void MoveToWhole(int64_t x, int64_t y, int pen)
    {
        sink_.MoveWhole(x, y, pen);
        if (also_)
            also_->MoveWhole(x, y, pen);
    }
    void LineToWhole(int64_t x, int64_t y, int pen)
    {
        sink_.LineWhole(x, y, pen);
        if (also_)
            also_->LineWhole(x, y, pen);
    }

    const TPlotterState &State() const { return st_; }
    // Goes on from another plotter state (a replay of part of a plot).
    void SetState(const TPlotterState &state) { st_ = state; }
    // Back to (0,0), absolute; the pen state stays.
    void Reset();
    // Whether PE walks write their diagnostics (while they are switched on
    // for the program); a second replay beside a drawing stays quiet.
    void SetPeDiagnostics(bool on) { peDiagnostics_ = on; }

private:
    void DrawPlot(TCommandKind k, int i, int pen);
    void DrawArc(int pen);
    void DrawRectangle(int i, int pen);
    void DrawPE(int i);
    void Report(const char *message);

    const THpglFile &plot_;
    TPlotSink &sink_;
    TPlotSink *also_;
    THpglFile::ErrorEvent onError_;
    TPlotterState st_;
    size_t penCursor_ = 0; // this replay's place in the plot's pen runs
    bool peDiagnostics_ = true;
};

// The first instruction whose drawing reaches `point` exactly (-1 for
// none): where a point of the outlines came from.
int InstructionDrawing(const THpglFile &plot, const TExtendedPoint &point);

// Replays a whole plot (as PlayAll does) into one sink, without progress.
void ReplayInto(const THpglFile &plot, TPlotSink &sink, THpglFile::ErrorEvent onError = nullptr);

} // namespace grittor
