// Opening, showing, stepping through and printing the plot.
#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Dialogs.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"
#include "foundation/Progress.h"
#include "foundation/QtSeams.h"
#include "foundation/UiHooks.h"
#include "foundation/option.h"
#include "geometry/polygon.h"
#include "hpgl/QPainterCanvas.h"
#include "hpgl/hpgl.h"
#include "operation/PlotImageView.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>

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

// Drawing of a replay that must not add to the outline collection.
struct DetachedEvents {
    explicit DetachedEvents(THpglFile &f) : file(f)
    {
        file.OnMove = nullptr;
        file.OnLine = nullptr;
    }
    THpglFile &file;
};

// A canvas on the window picture for the length of one drawing.
struct PictureCanvas {
    PictureCanvas(THpglFile &f, PlotImageView &view) : file(f), canvas(&view.Picture())
    {
        canvas.OnRepaint = [&view] { view.repaint(); };
        file.Image = &canvas;
    }
    ~PictureCanvas()
    {
        canvas.End();
        file.Image = nullptr;
    }
    THpglFile &file;
    QPainterCanvas canvas;
};

} // namespace

void TMainFrm::DisplayHpglFileClick()
{
    LogEntry("DisplayHpglFileClick");
    if (RefusedWhileBusy())
        return;
    BusyScope busy(*this);
    OpenCancelled = false;
    GetAbortFlags().OperationCancelled = false;
    Toption &o = Options();
    std::string initial = o.HpglDirectory;
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
    BusyScope busy(*this);
    Toption &o = Options();
    try {
        o.HpglDirectory = fileName;
        LogOutput().Write("DisplayHpglFileMenuClick  file " + fileName + "\r\nsee file PolygonDebug.log", true, true);
        o.Save();
        ImageFitToWindowMenuClick();
        LoadAndDisplay();
        if (!OpenCancelled && !GetAbortFlags().StopLongWork()) {
            ProcessMessages();
            QDir().mkpath(ToQ(o.Directory));
            Polygon().DumpSegments(o.Directory + "HpglOutput before combine.xls", false);
        }
    } catch (const std::exception &e) {
        Report("DisplayHpglFileMenuClick", "Exception displaying file", &e, 0);
    } catch (...) {
        Report("DisplayHpglFileMenuClick", "Exception displaying file", nullptr, 0);
    }
    UpdatePlotCommands();
}

void TMainFrm::LoadAndDisplay()
{
    TPolygon &poly = Polygon();
    poly.ClearPenGroups();
    poly.PenGroups.ClearCompare();
    BorderGroupIndex = -1;
    DigitizedFlag = false;
    plot_.reset();
    plotFileName_.clear();
    polygonStep_ = 0;
    const std::string file = Options().HpglDirectory;
    plot_ = std::make_unique<THpglFile>(file, nullptr,
                                        [this](const std::string &message, bool) { AddTerminalLine(message, true); });
    plotFileName_ = file;
    poly.ScanLine = Options().ScanLine;
    poly.Debug = Item("Polygon Fill Debug")->isChecked();
    poly.StartCollection(plot_.get());
    const long double w = (plot_->MaxPoint.x - plot_->MinPoint.x) / 1016.0L;
    const long double h = (plot_->MaxPoint.y - plot_->MinPoint.y) / 1016.0L;
    setWindowTitle(ToQ("Grittor - " + FileNameOnly(file) + " size (" + FormatExtendedFixed(w, 2) + "," +
                       FormatExtendedFixed(h, 2) + ") inches, " + std::to_string(plot_->CommandCount()) +
                       " HPGL Commands"));
    RenderImage();
    BorderGroupIndex = poly.BorderGroupIndex();
}

void TMainFrm::RenderImage()
{
    if (!plot_)
        return;
    const int w = std::max(Image->width(), 1);
    const int h = std::max(Image->height(), 1);
    Image->SetPictureSize(w, h);
    PictureCanvas pc(*plot_, *Image);
    plot_->RenderImage(pc.canvas, w, h, Options().Radius);
}

void TMainFrm::RerenderForSize()
{
    if (!plot_ || busyDepth_ > 0 || !Image->isVisible() || Image->size() == Image->Picture().size())
        return;
    BusyScope busy(*this);
    GetAbortFlags().OperationCancelled = false;
    auto move = std::move(plot_->OnMove);
    auto line = std::move(plot_->OnLine);
    {
        DetachedEvents detached(*plot_);
        RenderImage();
    }
    plot_->OnMove = std::move(move);
    plot_->OnLine = std::move(line);
}

void TMainFrm::UpdatePlotCommands()
{
    const bool open = plot_ != nullptr;
    for (const char *c : {"Print", "Print Scale To Page Size", "Draw First Polygon", "Draw Next Polygon"})
        if (QAction *a = Item(c))
            a->setEnabled(open);
}

// ------------------------------------------------------- outline stepping ---

void TMainFrm::DrawFirstPolygon1Click()
{
    LogEntry("DrawFirstPolygonMenuClick");
    if (!plot_ || RefusedWhileBusy())
        return;
    polygonStep_ = 0;
    plot_->PolygonIndex = 0;
    const std::string description = DrawNextOutline();
    setWindowTitle(ToQ("Rudi Davuv - " + FileNameOnly(plotFileName_) + " Ploygon " + std::to_string(polygonStep_) +
                       " of " + std::to_string(Polygon().ObjectCount()) + description));
}

void TMainFrm::DrawNextPolygon1Click()
{
    LogEntry("DrawNextPolygonMenuClick");
    if (!plot_ || RefusedWhileBusy())
        return;
    polygonStep_ = std::min(polygonStep_ + 1, Polygon().ObjectCount());
    const std::string description = DrawNextOutline();
    setWindowTitle(ToQ("Rudi Davuv - " + FileNameOnly(plotFileName_) + " Ploygon " + std::to_string(polygonStep_) +
                       " of " + std::to_string(Polygon().ObjectCount()) + description));
}

std::string TMainFrm::DrawNextOutline()
{
    std::string description = " end of list";
    TPolygon &poly = Polygon();
    if (!plot_ || plot_->PolygonIndex >= poly.ObjectCount())
        return description;
    BusyScope busy(*this);
    DetachedEvents detached(*plot_);
    PictureCanvas pc(*plot_, *Image);
    Canvas &canvas = pc.canvas;
    const QImage &pic = Image->Picture();
    canvas.FillRect(0, 0, pic.width(), pic.height(), 0xFFFFFF);
    const THpglFile::PixelRect area = plot_->PlotArea(Options().Radius);
    canvas.FillRect(area.left, area.top, area.right, area.bottom, clAppWorkSpace);
    canvas.SetPenColor(clWindowText);
    Progress &progress = GetProgress();
    progress.Show("Render image");
    const TObjectList &outline = poly.Objects[static_cast<size_t>(plot_->PolygonIndex)];
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
            plot_->MoveTo(s.StartPoint, s.Pen);
        plot_->LineTo(s.EndPoint, s.Pen);
    }
    ++plot_->PolygonIndex;
    canvas.Repaint();
    progress.Hide();
    return description;
}

// --------------------------------------------------------------- printing ---

void TMainFrm::Print1Click() { PrintWithDialog(false); }

void TMainFrm::PrintScaleToPageSize1Click() { PrintWithDialog(true); }

void TMainFrm::PrintWithDialog(bool fit)
{
    if (!plot_ || RefusedWhileBusy())
        return;
    BusyScope busy(*this);
    GetAbortFlags().OperationCancelled = false;
    QPrinter printer(QPrinter::HighResolution);
    // Without an installed printer the dialog offers a PDF file.
    if (QPrinterInfo::availablePrinters().isEmpty())
        printer.setOutputFileName(ToQ(Options().Directory) + QFileInfo(ToQ(plotFileName_)).completeBaseName() + ".pdf");
    try {
        DetachedEvents detached(*plot_);
        plot_->Printing = true;
        if (PrintDialogRunner(printer, this))
            PrintImage(printer, fit);
    } catch (const std::exception &e) {
        Report("Print1Click", "Exception printing", &e, 0);
    }
    GetProgress().Hide();
    plot_->Printing = false;
}

void TMainFrm::PrintImage(QPrinter &printer, bool fit)
{
    THpglFile &p = *plot_;
    DetachedEvents detached(p);
    p.Printing = true;
    QPainterCanvas canvas(&printer);
    p.Printer = &canvas;
    p.Position = {0, 0};
    p.Relative = false;
    const long double d = printer.resolution();
    long double left = p.MinPoint.x, right = p.MaxPoint.x, bottom = p.MinPoint.y, top = p.MaxPoint.y;
    if (!fit) {
        p.Scale = {d / 1016.0L, -d / 1016.0L};
    } else {
        left -= 125;
        right += 125;
        bottom -= 125;
        top += 125;
        const long double sx = printer.width() / (right - left);
        const long double sy = -printer.height() / (top - bottom);
        p.Scale.x = std::min(std::fabs(sx), std::fabs(sy));
        p.Scale.y = -p.Scale.x;
    }
    p.Offset = {-left * p.Scale.x, -top * p.Scale.y};
    Progress &progress = GetProgress();
    progress.Show("Printing");
    const int count = p.CommandCount();
    for (int i = 0; i < count; ++i) {
        if (GetAbortFlags().StopLongWork())
            break;
        if (i % 400 == 0)
            progress.SetProgress(static_cast<double>(i) / count);
        p.Draw(i);
    }
    canvas.End();
    p.Printer = nullptr;
    progress.Hide();
    p.Printing = false;
}

// ------------------------------------------------- marker and arrow ---

void TMainFrm::DrawStartMarker()
{
    if (!plot_ || plot_->MarkerDrawn)
        return;
    plot_->MarkerDrawn = true;
    DetachedEvents detached(*plot_);
    PictureCanvas pc(*plot_, *Image);
    const TExtendedPoint at = plot_->Position;
    plot_->MoveTo({at.x, at.y + 20}, 0);
    plot_->LineTo(at, 0);
    pc.canvas.Repaint();
}

void TMainFrm::DrawPositionArrow(const TExtendedPoint &position, long double a, uint32_t color)
{
    if (!plot_)
        return;
    DetachedEvents detached(*plot_);
    PictureCanvas pc(*plot_, *Image);
    plot_->PenColors[11] = color;
    const long double L = Distance(plot_->MinPoint, plot_->MaxPoint) / 10;
    const long double d15 = 15.0L * 3.14159265358979323846264338327950288L / 180.0L;
    const TExtendedPoint ends[] = {
        {position.x + L * std::cos(a), position.y + L * std::sin(a)},
        {position.x + (L / 3) * std::cos(a + d15), position.y + (L / 3) * std::sin(a + d15)},
        {position.x + (L / 3) * std::cos(a - d15), position.y + (L / 3) * std::sin(a - d15)},
    };
    for (const TExtendedPoint &e : ends) {
        plot_->MoveTo(e, 11);
        plot_->LineTo(position, 11);
    }
    pc.canvas.Repaint();
}

} // namespace grittor
