// Opening, showing, stepping through and printing the plot.
#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/DataFiles.h"
#include "foundation/Dialogs.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"
#include "foundation/Progress.h"
#include "foundation/QtSeams.h"
#include "foundation/SideThread.h"
#include "foundation/UiHooks.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "geometry/OutlineCollector.h"
#include "hpgl/CanvasSink.h"
#include "hpgl/QPainterCanvas.h"
#include "hpgl/hpgl.h"
#include "operation/CommandGate.h"
#include "operation/PlotImageView.h"
#include "pens/LibraryStore.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>
#include <filesystem>

namespace grittor {

std::function<bool(QPrinter &printer, QWidget *parent)> TMainFrm::PrintDialogRunner = [](QPrinter &printer,
                                                                                         QWidget *parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, 1);
    dialog.setFromTo(1, 1);
    return dialog.exec() == QDialog::Accepted;
};

namespace {

std::string FileNameOnly(const std::string &path) { return QFileInfo(ToQ(path)).fileName().toStdString(); }

// A canvas on the window picture for the length of one drawing.  The
// drawing asks for a repaint every 400 instructions; the window shows the
// picture at most every 40 ms of them (each showing copies the whole
// picture: on a big plot that was half the time of the drawing), not before
// the drawing has run 40 ms (a small plot is shown once, finished), and
// always once the drawing is done.
struct PictureCanvas {
    explicit PictureCanvas(PlotImageView &view)
        : canvas(&view.Picture()), view_(view), lastShown_(GetClock().NowMs())
    {
        canvas.OnRepaint = [this] {
            const int64_t now = GetClock().NowMs();
            if (now - lastShown_ < 40 && now >= lastShown_) {
                pending_ = true;
                return;
            }
            lastShown_ = now;
            pending_ = false;
            view_.repaint();
        };
    }
    ~PictureCanvas()
    {
        canvas.End();
        if (pending_)
            view_.repaint();
    }
    QPainterCanvas canvas;

private:
    PlotImageView &view_;
    int64_t lastShown_; // the first showing comes 40 ms into the drawing
    bool pending_ = false;
};

} // namespace

std::string PlotTitle(const std::string &name, const THpglFile &plot)
{
    std::string title = "Grittor - " + name;
    if (plot.HasExtent()) {
        const long double w = (plot.MaxPoint().x - plot.MinPoint().x) / 1016.0L;
        const long double h = (plot.MaxPoint().y - plot.MinPoint().y) / 1016.0L;
        title += " size (" + FormatExtendedFixed(w, 2) + "," + FormatExtendedFixed(h, 2) + ") inches, ";
    } else {
        title += " no drawing, "; // no point reached: no size
    }
    return title + std::to_string(plot.CommandCount()) + " HPGL Commands" + ReadStopNotice(plot);
}

std::string ReadStopNotice(const THpglFile &plot)
{
    // A plot read only in part must not pass for the whole one while it
    // is on the screen (the message box that said so is gone by then).
    if (plot.ReadStop() == TReadStop::Complete)
        return {};
    return " - reading stopped at byte " + std::to_string(plot.StopPos()) + " of " +
           std::to_string(plot.Source().size()) +
           (plot.ReadStop() == TReadStop::TooManyErrors ? " (more than 100 errors)" : " (cancelled)") +
           ", the rest is missing";
}

void TMainFrm::DisplayHpglFileClick()
{
    LogEntry("DisplayHpglFileClick");
    OpenCancelled = false;
    GetAbortFlags().OperationCancelled = false;
    Toption &o = Options();
    std::string initial = o.HpglDirectory;
    // Until a plot has been opened, the demo plots are the place to start.
    if (initial == Toption::DefaultHpglDirectory()) {
        const std::string demo = FindDataFile("samples/stencil-stone.plt");
        if (!demo.empty())
            initial = demo.substr(0, demo.rfind('/') + 1);
    }
    if (initial.empty() || initial.back() == '/')
        initial += "*.*";
    const auto chosen = GetDialogs().OpenFile("Open HPGL File", initial,
                                              "HPGL plots (*.plt *.hpgl *.hpg *.hgl *.prn *.pen);;All files (*)");
    if (!chosen)
        return;
    OpenPlotFile(*chosen);
}

void TMainFrm::OpenPlotFile(const std::string &fileName)
{
    Toption &o = Options();
    try {
        // Remembered for the next open dialog, as a whole path: a name
        // given relative to where the program was started (on its command
        // line) means nothing in the next run, whose store would replace it.
        std::error_code ec;
        const std::filesystem::path whole = std::filesystem::absolute(fileName, ec);
        o.HpglDirectory = ec ? fileName : whole.lexically_normal().string();
        LogOutput().Write("DisplayHpglFileMenuClick  file " + fileName + "\r\nsee file PolygonDebug.log", true, true);
        o.Save();
        ImageFitToWindowMenuClick();
        LoadAndDisplay(fileName);
        if (!OpenCancelled && !GetAbortFlags().StopLongWork()) {
            ProcessMessages();
            QDir().mkpath(ToQ(o.Directory));
            StartSegmentDump(o.Directory + "HpglOutput before combine.xls");
        }
    } catch (const std::exception &e) {
        Report("DisplayHpglFileMenuClick", "Exception displaying file", &e, 0);
    } catch (...) {
        Report("DisplayHpglFileMenuClick", "Exception displaying file", nullptr, 0);
    }
    UpdatePlotCommands();
}

void TMainFrm::StartSegmentDump(const std::string &fileName)
{
    WaitSegmentDump();
    // A debugging aid: written beside the window once the picture is shown,
    // so that a big plot is on the screen as soon as it is drawn.  The
    // thread keeps the outlines alive whatever the window opens meanwhile.
    segmentDump_ = std::thread([this, outlines = job_->SharedOutlines(), fileName] {
        try {
            outlines->DumpSegments(fileName, false);
        } catch (const std::exception &e) {
            const std::string what = e.what();
            QMetaObject::invokeMethod(
                this, [what] { LogEntry("Segment dump not written: " + what); }, Qt::QueuedConnection);
        }
    });
}

void TMainFrm::WaitSegmentDump()
{
    if (segmentDump_.joinable())
        segmentDump_.join();
}

void TMainFrm::LoadAndDisplay(std::string file)
{
    BorderGroupIndex = -1;
    DigitizedFlag = false;
    job_.reset();
    plot_.reset();
    plotFileName_.clear();
    polygonStep_ = 0;
    outlineIndex_ = 0;
    markerDrawn_ = false;
    const Toption &o = Options();
    // The plot is shown in the colours of the material selected now, and
    // its border pen is the one of that material.
    const TMaterialPens material = materials_.Library().SelectedPens();
    penColors_ = material.PenColors();
    auto plot = std::make_unique<THpglFile>(file, o.Multiplier, [this](const std::string &message, bool) {
        AddTerminalLine(message, true);
    });
    plot_ = std::move(plot);
    plotFileName_ = file;
    setWindowTitle(ToQ(PlotTitle(FileNameOnly(file), *plot_)));
    // The outlines are collected on a second thread by a replay of their
    // own while this one draws the picture: handing every point of the
    // drawing across to the collection cost the drawing more than a walk
    // of its own costs the second core.  Its messages are those of the
    // drawing, which reports them.
    auto outlines = std::make_unique<TPolygon>(material.BorderFlags(), Action(TCommandId::PolygonFillDebug)->isChecked(),
                                               TPolygon::MiddleOf(*plot_));
    {
        TOutlineCollector collector(*plot_, *outlines);
        // The collection has a core of its own.  Where there is no third,
        // the picture's second part waits on the collection's core until
        // the collection has ended and then takes half of what the first
        // part has not begun: three threads at once on two cores made the
        // collection the last to end, alone on one core.
        TSecondCoreShare share;
        if (collector.OnSideThread() && CoresForThisProcess() < 3)
            share.ready = [&collector] { collector.AwaitEnd(); };
        RenderImage(nullptr, share);
        // The window stays alive while the last outlines come in; closing
        // it stops the collection as it stops the drawing.
        collector.Finish([] { ProcessMessages(); });
    }
    job_ = std::make_unique<TBlastJob>(std::move(outlines));
    BorderGroupIndex = job_->BorderGroupIndex();
}

void TMainFrm::RenderImage(TPlotSink *also, const TSecondCoreShare &share)
{
    if (!plot_)
        return;
    const int w = std::max(Image->width(), 1);
    const int h = std::max(Image->height(), 1);
    Image->SetPictureSize(w, h);
    PictureCanvas pc(*Image);
    const TRenderResult r = RenderPlot(*plot_, pc.canvas, w, h, Options().Radius, penColors_, also,
                                       [this](const std::string &message, bool) { AddTerminalLine(message, true); },
                                       true, share);
    viewport_ = r.Viewport;
    renderEnd_ = r.End;
}

void TMainFrm::RerenderForSize()
{
    if (!plot_ || gate_.Busy() || !Image->isVisible() || Image->size() == Image->Picture().size())
        return;
    TCommandGate::Scope busy(gate_, TCommandId::RenderForSize);
    GetAbortFlags().OperationCancelled = false;
    RenderImage(nullptr);
}

void TMainFrm::UpdatePlotCommands()
{
    const bool open = plot_ != nullptr;
    for (TCommandId id : {TCommandId::Print, TCommandId::PrintScaleToPageSize, TCommandId::DrawFirstPolygon,
                          TCommandId::DrawNextPolygon, TCommandId::DigitizeOrigin, TCommandId::DigitizeOriginSkewScale,
                          TCommandId::DigitizeLocation, TCommandId::SendJob, TCommandId::SendBorder,
                          TCommandId::QueueOpenedPlot})
        SetCommandAvailable(id, open);
}

// ------------------------------------------------------- outline stepping ---

void TMainFrm::DrawFirstPolygon1Click()
{
    LogEntry("DrawFirstPolygonMenuClick");
    if (!plot_)
        return;
    polygonStep_ = 0;
    outlineIndex_ = 0;
    const std::string description = DrawNextOutline();
    setWindowTitle(ToQ("Rudi Davuv - " + FileNameOnly(plotFileName_) + " Ploygon " + std::to_string(polygonStep_) +
                       " of " + std::to_string(job_->Outlines().ObjectCount()) + description +
                       ReadStopNotice(*plot_)));
}

void TMainFrm::DrawNextPolygon1Click()
{
    LogEntry("DrawNextPolygonMenuClick");
    if (!plot_)
        return;
    polygonStep_ = std::min(polygonStep_ + 1, job_->Outlines().ObjectCount());
    const std::string description = DrawNextOutline();
    setWindowTitle(ToQ("Rudi Davuv - " + FileNameOnly(plotFileName_) + " Ploygon " + std::to_string(polygonStep_) +
                       " of " + std::to_string(job_->Outlines().ObjectCount()) + description +
                       ReadStopNotice(*plot_)));
}

std::string TMainFrm::DrawNextOutline()
{
    std::string description = " end of list";
    if (!plot_ || outlineIndex_ >= job_->Outlines().ObjectCount())
        return description;
    PictureCanvas pc(*Image);
    Canvas &canvas = pc.canvas;
    const QImage &pic = Image->Picture();
    canvas.FillRect(0, 0, pic.width(), pic.height(), 0xFFFFFF);
    const TViewport::PixelRect area = viewport_.PlotArea(*plot_, Options().Radius);
    canvas.FillRect(area.left, area.top, area.right, area.bottom, clAppWorkSpace);
    canvas.SetPenColor(clWindowText);
    TCanvasSink sink(canvas, viewport_, penColors_);
    Progress &progress = GetProgress();
    progress.Show("Render image");
    const TObjectList &outline = job_->Outlines().Outlines()[static_cast<size_t>(outlineIndex_)];
    const int n = outline.Count();
    description = " contains " + std::to_string(n) + " segments";
    for (int j = 0; j < n; ++j) {
        if (GetAbortFlags().StopLongWork())
            break;
        if (j % 400 == 0 && j > 0) {
            canvas.Repaint();
            progress.SetProgress(static_cast<double>(j) / n);
        }
        const TSegment s = outline.Segment(j);
        const auto end = "), End (" + FormatExtended(s.EndPoint.x) + ", " + FormatExtended(s.EndPoint.y) + ")";
        if (j == 0)
            description += ", Start (" + FormatExtended(s.StartPoint.x) + ", " + FormatExtended(s.StartPoint.y);
        if (outline.NotClosed && j == n - 2)
            description += end;
        if (!outline.NotClosed && j == n - 1)
            description += end;
        if (outline.NotClosed && j == n - 1)
            canvas.SetPenColor(0x0000FF);
        if (j == 0)
            sink.Move(s.StartPoint, s.Pen);
        sink.Line(s.EndPoint, s.Pen);
    }
    ++outlineIndex_;
    canvas.Repaint();
    progress.Hide();
    return description;
}

// --------------------------------------------------------------- printing ---

void TMainFrm::Print1Click() { PrintWithDialog(false); }

void TMainFrm::PrintScaleToPageSize1Click() { PrintWithDialog(true); }

void TMainFrm::PrintWithDialog(bool fit)
{
    if (!plot_)
        return;
    GetAbortFlags().OperationCancelled = false;
    QPrinter printer(QPrinter::HighResolution);
    // Without an installed printer the dialog offers a PDF file.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFileName(ToQ(Options().Directory) + QFileInfo(ToQ(plotFileName_)).completeBaseName() + ".pdf");
    try {
        if (PrintDialogRunner(printer, this))
            PrintImage(printer, fit);
    } catch (const std::exception &e) {
        Report("Print1Click", "Exception printing", &e, 0);
    }
    GetProgress().Hide();
}

TViewport TMainFrm::PrintImage(QPrinter &printer, bool fit)
{
    const TViewport viewport =
        TViewport::Print(*plot_, printer.resolution(), printer.width(), printer.height(), fit);
    QPainterCanvas canvas(&printer);
    TCanvasSink sink(canvas, viewport, PrintPenColors, PrintPenColors[0]);
    TPlotReplay replay(*plot_, sink, nullptr,
                       [this](const std::string &message, bool) { AddTerminalLine(message, true); });
    replay.PlayAll("Printing");
    canvas.End();
    return viewport;
}

// ------------------------------------------------- marker and arrow ---

void TMainFrm::DrawStartMarker()
{
    if (!plot_ || markerDrawn_)
        return;
    markerDrawn_ = true;
    PictureCanvas pc(*Image);
    TCanvasSink sink(pc.canvas, viewport_, penColors_);
    const TExtendedPoint at = renderEnd_;
    sink.Move({at.x, at.y + 20}, 0);
    sink.Line(at, 0);
    pc.canvas.Repaint();
}

void TMainFrm::DrawPositionArrow(const TExtendedPoint &position, long double a, uint32_t color)
{
    if (!plot_)
        return;
    PictureCanvas pc(*Image);
    TPenColors colors = penColors_;
    colors[11] = color;
    TCanvasSink sink(pc.canvas, viewport_, colors);
    const long double L = Distance(plot_->MinPoint(), plot_->MaxPoint()) / 10;
    const long double d15 = 15.0L * 3.14159265358979323846264338327950288L / 180.0L;
    const TExtendedPoint ends[] = {
        {position.x + L * std::cos(a), position.y + L * std::sin(a)},
        {position.x + (L / 3) * std::cos(a + d15), position.y + (L / 3) * std::sin(a + d15)},
        {position.x + (L / 3) * std::cos(a - d15), position.y + (L / 3) * std::sin(a - d15)},
    };
    for (const TExtendedPoint &e : ends) {
        sink.Move(e, 11);
        sink.Line(position, 11);
    }
    pc.canvas.Repaint();
}

} // namespace grittor
