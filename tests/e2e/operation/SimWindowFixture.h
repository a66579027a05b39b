// A main window with a plot open, talking to grittor-sim over a real pty:
// the fixture of the end-to-end tests of blasting, the load-key sequence
// and the job queue.
#pragma once

#include "operation/MainForm.h"

#include "../link/CliRunner.h"
#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/Clock.h"
#include "foundation/ExceptionReportForm.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/JobRun.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/CalToPrint.h"
#include "service/Calibrate.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <regex>

namespace grittor::test {

inline constexpr long double kPi = 3.141592653589793238462643383279502884L;

// An L-shaped outline (no symmetry to hide a wrong turn) and a small
// square, with a border rectangle around both in pen 7.
inline const char *const Plot = "IN;SP1;PU1000,500;PD9000,500,9000,2500,3000,2500,3000,6500,1000,6500,1000,500;"
                         "SP2;PU5000,4000;PD6000,4000,6000,5000,5000,5000,5000,4000;"
                         "SP7;PU500,0;PD9500,0,9500,7000,500,7000,500,0;PU;";

inline std::string WritePlot(const QTemporaryDir &dir)
{
    const std::string path = dir.path().toStdString() + "/plot.plt";
    std::ofstream(path) << Plot;
    return path;
}

// A plot whose job takes a while on a paced line: a large circle (about
// 120 chords) in pen 1, and the border.
inline std::string WriteBigPlot(const QTemporaryDir &dir)
{
    const std::string path = dir.path().toStdString() + "/big.plt";
    std::ofstream(path) << "IN;SP1;PU5000,3500;CI3000;SP7;PU500,0;PD9500,0,9500,7000,500,7000,500,0;PU;";
    return path;
}

// Every point the recorded bytes move to with papu/papd, in order.
inline std::vector<TExtendedPoint> Points(const std::string &bytes)
{
    std::vector<TExtendedPoint> out;
    static const std::regex move(R"(pap[ud] ?(-?\d+),(-?\d+))");
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), move); it != std::sregex_iterator(); ++it)
        out.push_back({std::stold((*it)[1]), std::stold((*it)[2])});
    return out;
}

// Where a drawing point lands when the plot lies turned by `deg`, scaled by
// `s`, with the drawing's reference on machine point `at`.
inline TExtendedPoint Placed(const TExtendedPoint &p, const TExtendedPoint &ref, const TExtendedPoint &at, long double deg,
                      long double s = 1)
{
    const long double a = deg * kPi / 180, dx = p.x - ref.x, dy = p.y - ref.y;
    return {at.x + s * (dx * std::cos(a) - dy * std::sin(a)), at.y + s * (dx * std::sin(a) + dy * std::cos(a))};
}

// The outlines' vertices as the collection keeps them (pens 1 and 2), in
// path order.  The drawing's reference is the lowest-left vertex of all the
// groups, the border's included: every pen is placed by the same point.
inline const std::vector<TExtendedPoint> Vertices = {{1000, 500}, {9000, 500}, {9000, 2500}, {3000, 2500}, {3000, 6500},
                                              {1000, 6500}, {1000, 500}, {5000, 4000}, {6000, 4000}, {6000, 5000},
                                              {5000, 5000}, {5000, 4000}};
inline const TExtendedPoint DrawingRef{500, 0};

inline void ExpectLanded(const std::vector<TExtendedPoint> &got, const std::vector<TExtendedPoint> &want, long double within)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(got[i].x), static_cast<double>(want[i].x), static_cast<double>(within))
            << "point " << i;
        EXPECT_NEAR(static_cast<double>(got[i].y), static_cast<double>(want[i].y), static_cast<double>(within))
            << "point " << i;
    }
}

class BlastTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetAbortFlags().Closing = false;
        GetAbortFlags().Cancelled = false;
        GetAbortFlags().OperationCancelled = false;
        LogOutput().SetDirectory(dir.path().toStdString());
        // The window pumps its events while it sends and waits, as it does
        // in the program.
        SetUiHooks(&qtHooks);
        TExceptionReportForm::ModalRunner = [](TExceptionReportForm &) {};
        AddMaterial("Stone", 25);
        lib.SetSelected(0);
    }
    // A material with pens 1, 2 and 7, pen 7 the border, one pass each at
    // `speed`; its index.
    int AddMaterial(const std::string &name, int speed)
    {
        const int m = lib.AddMaterial(name);
        for (int pen : {1, 2, 7}) {
            TPens &p = lib.FindOrAddPen(m, pen);
            p.SetBlowSpeed(speed);
            p.SetRadius(400);
            p.SetPasses(1);
            p.SetTimes(1);
            p.fill = 1;
            p.border = pen == 7;
        }
        return m;
    }
    void TearDown() override
    {
        frm.reset();
        sim.Stop();
        ClearPortOverrides();
        SetUiHooks(nullptr);
        GetAbortFlags().Closing = false;
        GetAbortFlags().Cancelled = false;
    }
    void StartSim(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"--record", Path("record.bin"), "--time-scale", "0.001", "--eol", "crlf"};
        if (std::find(extra.begin(), extra.end(), "--baud") == extra.end())
            args.insert(args.end(), {"--baud", "0"});
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(sim.Start(args, error)) << error;
        SetPortOverride("com1", sim.DevicePath());
        Options().Port = "com1";
    }
    void OpenWindowWithPlot(bool big = false) { OpenWindowWith(big ? WriteBigPlot(dir) : WritePlot(dir)); }
    void OpenWindowWith(const std::string &plot)
    {
        frm = std::make_unique<TMainFrm>(store);
        frm->show();
        QApplication::processEvents();
        frm->OpenPlotFile(plot);
        ASSERT_NE(frm->Job(), nullptr);
        if (!frm->Serial())
            frm->OpenMenuClick();
        ASSERT_TRUE(frm->Serial() && frm->Serial()->OpenedOk());
        frm->Serial()->set_timeout(2000);
    }
    // A control command, done once the simulator has answered "stats".
    void Control(const std::string &line)
    {
        ASSERT_TRUE(sim.Command(line));
        Stats();
    }
    std::string Stats()
    {
        sim.Command("stats");
        std::string reply;
        while (sim.ReadLine(reply, 3000))
            if (reply.rfind("stats ", 0) == 0)
                return reply;
        return {};
    }
    std::string Path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }
    std::string Recorded() const { return ReadFile(Path("record.bin")); }
    // The bytes recorded from the first appearance of `marker` on.
    std::string RecordedFrom(const std::string &marker) const
    {
        const std::string r = Recorded();
        const size_t at = r.find(marker);
        return at == std::string::npos ? std::string() : r.substr(at);
    }
    bool WaitRecorded(const std::string &needle, int ms = 10000) const
    {
        const int64_t end = MonoMs() + ms;
        while (MonoMs() < end) {
            if (Recorded().find(needle) != std::string::npos)
                return true;
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return false;
    }

    QtUiHooks qtHooks;
    TempSettings settings;
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
    TSimulatorProcess sim;
    std::unique_ptr<TMainFrm> frm;
};

} // namespace grittor::test
