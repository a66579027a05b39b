// The main window's service commands: the engineering window, the motor
// position plot on the chart, the chart's data file and the link's event
// stash.
#include "operation/MainForm.h"

#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/TSerial.h"
#include "link/TStash.h"
#include "operation/ChartView.h"
#include "operation/Forms.h"
#include "service/Engineering.h"
#include "service/MotorRecords.h"
#include "service/PlotDataFile.h"
#include "service/StashFile.h"

#include <QAction>
#include <QChart>
#include <QLineSeries>
#include <QTimer>

#include <cstdio>

namespace grittor {

void TMainFrm::TuningMenuClick()
{
    LogEntry("TuningMenuClick");
    if (TEngineeringFrm *e = Forms().Engineering) {
        e->show();
        e->raise();
        e->activateWindow();
    }
}

void TMainFrm::MotorPositionPlotMenuClick()
{
    LogEntry("MotorPositionPlotMenuClick");
    SetTerminalMode(false);
    chart->ClearLines();
    TerminalMenuClick();
    chart->chart()->setTitle("Requested motor position vs actual motor position");
    EnsureLink();
    GetAbortFlags().Cancelled = false; // a job cancelled earlier does not stop this request
    std::string reply;
    if (serial_) {
        // Records are binary: CR and LF inside them are data.
        struct BinaryScope {
            TSerial &link;
            ~BinaryScope() { link.SetBinaryReplies(false); }
        } binary{*serial_};
        serial_->SetBinaryReplies(true);
        serial_->query("ec" + std::to_string(32760) + ";", 20000, reply);
    }
    const TMotorRecordParser::Points points = TMotorRecordParser::PlotPoints(reply);
    auto toChart = [](const std::vector<TMotorPoint> &list) {
        QList<QPointF> out;
        out.reserve(static_cast<qsizetype>(list.size()));
        for (const TMotorPoint &p : list)
            out.append(QPointF(p.x, p.y));
        return out;
    };
    chart->SetLine(0, toChart(points.X));
    chart->SetLine(1, toChart(points.Y));
    chart->FitToData();
    ChartMenuClick();
}

void TMainFrm::WritePlotDatatoExcelMenuClick()
{
    LogEntry("WritePlotDatatoExcelMenuClick");
    std::array<TSeriesPoints, 4> series;
    for (size_t i = 0; i < series.size(); ++i)
        for (const QPointF &p : chart->Line(static_cast<int>(i))->points())
            series[i].emplace_back(p.x(), p.y());
    const auto chosen =
        GetDialogs().SaveFile("Write Plot Data", Options().Directory + "plotdata.xls", "Spreadsheet (*.xls)");
    if (!chosen)
        return;
    std::remove(chosen->c_str());
    const std::string text = TPlotDataFile::Text(series);
    std::FILE *f = std::fopen(chosen->c_str(), "wb");
    const bool written = f && std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if ((f && std::fclose(f) != 0) || !written)
        ShowMessage("Unable to write " + *chosen);
}

void TMainFrm::DoStashMenuClick()
{
    LogEntry("DoStashMenuClick");
    // The item is checkable: triggering it has already moved the tick.
    const bool on = Action(TCommandId::DoStash)->isChecked();
    SetDoStash(on);
    SetStatusText(on ? "Recording link events" : "Link events not recorded");
}

void TMainFrm::DumpStashMenuClick()
{
    LogEntry("DumpStashMenuClick");
    Timer->stop();
    struct Restart {
        QTimer *timer;
        ~Restart() { timer->start(); }
    } restart{Timer};
    if (!StashExists()) {
        SetStatusText("No link events recorded");
        return;
    }
    const auto chosen =
        GetDialogs().SaveFile("Dump Stash", Options().Directory + "stashdata.xls", "Spreadsheet (*.xls)");
    if (!chosen)
        return;
    Clock &clock = GetClock();
    if (TStashFile::Dump(*chosen, clock.NowNs(), clock.WallNow()) != TStashFile::Result::Written)
        ShowMessage("Unable to write " + *chosen);
}

} // namespace grittor
