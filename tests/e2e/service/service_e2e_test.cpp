// The service windows against grittor-sim on a real pseudo-terminal: the
// engineering monitor's tables read, sent and saved; a circle test captured
// onto the chart; a 65,536-word memory dump checked word for word; the motor
// position plot.
#include "operation/ChartView.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/CaptureStatistics.h"
#include "service/Engineering.h"
#include "service/Memory.h"

#include "SimMachine.h"
#include "SimMonitor.h"
#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"

#include <QApplication>
#include <QChart>
#include <QLineEdit>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QThread>
#include <QValueAxis>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

using namespace grittor;

namespace {

const std::string ESC = "\x1b";

std::string ReadAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class ServiceE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetAbortFlags().Closing = false;
        GetAbortFlags().Cancelled = false;
        LogOutput().SetDirectory(dir.path().toStdString());
        std::string error;
        ASSERT_TRUE(sim.Start(
            {"--record", Path("record.bin"), "--log", Path("sim.log"), "--baud", "0", "--time-scale", "0.01"}, error))
            << error;
        SetPortOverride("com1", sim.DevicePath());
        Options().Port = "com1";
        frm = std::make_unique<TMainFrm>(store);
        frm->show();
        QApplication::processEvents();
        frm->OpenMenuClick();
        ASSERT_NE(frm->Serial(), nullptr);
        ASSERT_TRUE(frm->Serial()->OpenedOk());
        eng = std::make_unique<TEngineeringFrm>(frm.get());
        TEngineeringFrm::Timings t;
        t.DiagnosticTimeoutMs = 2000;
        t.QuietMs = 150;
        t.EscapePauseMs = 20;
        t.TableTimeoutMs = 300;
        t.SendPauseMs = 10;
        t.CaptureSilenceMs = 1500;
        t.EmptyBufferQuietMs = 150;
        eng->SetTimings(t);
    }
    void TearDown() override
    {
        eng.reset();
        frm.reset();
        sim.Stop();
        ClearPortOverrides();
    }
    std::string Path(const std::string &name) const { return dir.path().toStdString() + "/" + name; }
    std::string Recorded() const { return ReadAll(Path("record.bin")); }
    std::string Stats()
    {
        sim.Command("stats");
        std::string line;
        while (sim.ReadLine(line, 3000))
            if (line.rfind("stats ", 0) == 0)
                return line;
        ADD_FAILURE() << "no stats from the simulator";
        return {};
    }
    // Waits until the simulator has received `text`.
    bool WaitRecorded(const std::string &text)
    {
        for (int i = 0; i < 500; ++i) {
            if (Recorded().find(text) != std::string::npos)
                return true;
            QThread::msleep(10);
        }
        return false;
    }
    std::string Field(int i) const { return eng->TableFields[static_cast<size_t>(i)]->text().toStdString(); }

    test::TempSettings settings;
    test::ScriptedDialogs dialogs;
    test::RecordingProgress progress;
    QTemporaryDir dir;
    TSimulatorProcess sim;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
    std::unique_ptr<TMainFrm> frm;
    std::unique_ptr<TEngineeringFrm> eng;
};

} // namespace

TEST_F(ServiceE2E, TablesAreReadSentSavedAndReadBack)
{
    eng->EngineeringDiagnosticMenuClick();
    EXPECT_NE(Stats().find("mode=monitor"), std::string::npos);
    EXPECT_FALSE(frm->TerminalMode());

    eng->yMenuClick();
    EXPECT_EQ(eng->axis->text(), "y axis");
    EXPECT_NE(Recorded().find("S 9 7 \r"), std::string::npos);
    EXPECT_EQ(Field(0), "110"); // the simulator's y gains are 110 + k
    EXPECT_EQ(Field(49), "159");
    EXPECT_EQ(Field(50), "1001"); // and its periods 1000 + 50 j + 1
    EXPECT_EQ(Field(68), "1901");

    eng->TableFields[0]->setText("555");
    eng->TableFields[49]->setText("-3");
    eng->sendGainsMenuClick();
    std::string gains = "S 6 7 555 ";
    for (int k = 1; k < 49; ++k)
        gains += std::to_string(110 + k) + " ";
    gains += "-3 \r";
    EXPECT_NE(Recorded().find(gains), std::string::npos);
    EXPECT_EQ(Field(0), "555"); // read back from the machine
    EXPECT_EQ(Field(49), "-3");

    eng->TableFields[50]->setText("2000");
    eng->SendPeriodsMenuClick();
    EXPECT_NE(Recorded().find("S 7 7 2000 1051 "), std::string::npos);
    EXPECT_EQ(Field(50), "2000");

    // An invalid field sends nothing at all.
    const size_t before = Recorded().size();
    eng->TableFields[5]->setText("x");
    eng->sendGainsMenuClick();
    EXPECT_EQ(dialogs.messages.back(), "Gain 5 value 'x' is invalid");
    Stats();
    EXPECT_EQ(Recorded().size(), before);

    eng->SavetoeeromMenuClick();
    EXPECT_NE(Recorded().find("S 8 7 \r"), std::string::npos);
    EXPECT_EQ(Field(0), "555");
    eng->SetDefaultgainsMenuClick();
    EXPECT_NE(Recorded().find("S 19 7 \r"), std::string::npos);
    EXPECT_EQ(Field(0), "110");

    eng->xMenuClick();
    EXPECT_EQ(eng->axis->text(), "x axis");
    EXPECT_EQ(Field(0), "100");

    eng->StopDiagnosticMenuClick(); // sent raw: nothing is awaited
    EXPECT_TRUE(WaitRecorded(std::string("S\x03 S 23 \r", 9)));
    EXPECT_NE(Stats().find("mode=normal"), std::string::npos);
}

TEST_F(ServiceE2E, ACircleTestIsCapturedAndCharted)
{
    eng->EngineeringDiagnosticMenuClick();
    eng->CircleMenuClick();
    EXPECT_NE(Recorded().find("S 18 4 40 \r"), std::string::npos);
    EXPECT_TRUE(dialogs.messages.empty());

    std::vector<TCapturePair> pairs;
    for (const auto &[x, y] : sim::SimMonitor::MotionData(18, 4, 40))
        pairs.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
    const auto series = TCaptureStatistics::SplitSeries(pairs);
    TChartView *chart = frm->chart;
    for (int i = 0; i < 4; ++i) {
        const QList<QPointF> points = chart->Line(i)->points();
        ASSERT_EQ(points.size(), static_cast<qsizetype>(series[static_cast<size_t>(i)].size())) << i;
        for (qsizetype k = 0; k < points.size(); ++k)
            ASSERT_EQ(points[k], QPointF(series[static_cast<size_t>(i)][static_cast<size_t>(k)].x,
                                         series[static_cast<size_t>(i)][static_cast<size_t>(k)].y));
    }
    EXPECT_EQ(eng->behind->text(), "circle test 18 accel 4 vel 40");
    EXPECT_EQ(eng->scale->text().toStdString(), TCaptureStatistics(pairs).Text());
    EXPECT_EQ(chart->chart()->title(), eng->scale->text() + "<br>" + eng->behind->text()); // two lines
    EXPECT_TRUE(chart->isVisible());
    EXPECT_FALSE(chart->Points(0)->isVisible());
    EXPECT_TRUE(chart->AxisX()->min() <= 1 && chart->AxisX()->max() >= sim::SimMonitor::PointsPerSeries);

    // The dac test also names the axis; "ok" lines left over are shown as
    // ignored before the begin line.
    eng->accel->setText(" 2 ");
    eng->SetdactomaxMenuClick();
    EXPECT_NE(Recorded().find("S 33 2 40 6 \r"), std::string::npos);
    EXPECT_EQ(eng->behind->text(), "dac max test 33 accel 2 vel 40");

    eng->ToggleHighGainMenuClick();
    ASSERT_TRUE(WaitRecorded("S 36 \r"));
    eng->EmptyBufferMenuClick(); // takes "high gain on" and "ok"
    EXPECT_TRUE(frm->Serial()->input_empty());
}

TEST_F(ServiceE2E, ATestWithoutABeginLineSaysSoAndKeepsTheChart)
{
    TEngineeringFrm::Timings t = eng->GetTimings();
    t.CaptureSilenceMs = 300;
    eng->SetTimings(t);
    frm->chart->SetLine(0, {{1, 1}, {2, 2}});
    eng->CircleMenuClick(); // the monitor is not running: nothing answers
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"No begin seen.  Try again"}));
    EXPECT_EQ(frm->chart->Line(0)->count(), 2);
}

TEST_F(ServiceE2E, A65536WordDumpArrivesWordForWord)
{
    TMemoryForm memory(frm.get());
    memory.SetCommandPauseMs(20);
    memory.StartAddress->setText("1000");
    memory.NumberOfWords->setText("65536");
    const std::string path = Path("memdump.xls");
    dialogs.files.push_back(path);
    frm->SetTerminalMode(true); // the dump must not lose its first records to the terminal
    memory.StartButtonClick();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"dump complete"}));
    EXPECT_NE(Recorded().find(ESC + ".cdump_mem;4096;65536:\r"), std::string::npos);
    EXPECT_EQ(memory.LastOutcome().Records, 16384);
    EXPECT_EQ(memory.LastOutcome().Resynchronised, 0);

    std::istringstream file(ReadAll(path));
    std::string line;
    uint32_t word = 0;
    while (std::getline(file, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        const size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos);
        for (const std::string &text : {line.substr(0, tab), line.substr(tab + 1, line.size() - tab - 2)}) {
            const int32_t expected = static_cast<int32_t>(sim::SimMachine::MemoryWord(4096 + 4 * word));
            ASSERT_EQ(text, std::to_string(expected)) << "word " << word;
            ++word;
        }
    }
    EXPECT_EQ(word, 65536u);
    EXPECT_EQ(progress.CountOf(test::ProgressEvent::Set), 16); // every 4,096 words
}

TEST_F(ServiceE2E, ADumpThatNeverComesTimesOutAfterTheReplyTimeoutOfSilence)
{
    TMemoryForm memory(frm.get());
    memory.SetCommandPauseMs(20);
    memory.NumberOfWords->setText("0"); // the machine sends no record; one is awaited
    dialogs.files.push_back(Path("memdump.xls"));
    frm->Serial()->set_timeout(300);
    memory.StartButtonClick();
    EXPECT_EQ(dialogs.messages,
              (std::vector<std::string>{"timeout receiving characters.  Words left 0", "dump complete"}));
    EXPECT_EQ(ReadAll(Path("memdump.xls")), "");
}

TEST_F(ServiceE2E, TheMotorPositionPlotChartsTheRecords)
{
    // The simulator's words, as it keeps them clear of XON and XOFF.
    auto flowSafe = [](uint32_t w) {
        for (int i = 0; i < 4; ++i) {
            const uint32_t b = (w >> (8 * i)) & 0xFF;
            if (b == 0x11 || b == 0x13)
                w += 4u << (8 * i);
        }
        return static_cast<double>(static_cast<int32_t>(w));
    };
    frm->Serial()->set_timeout(300); // the answer ends by silence
    frm->MotorPositionPlotMenuClick();
    EXPECT_NE(Recorded().find("ec32760;\r"), std::string::npos);
    EXPECT_FALSE(frm->Serial()->BinaryReplies());
    const QList<QPointF> x = frm->chart->Line(0)->points();
    const QList<QPointF> y = frm->chart->Line(1)->points();
    ASSERT_EQ(x.size(), 1000);
    ASSERT_EQ(y.size(), 1000);
    for (int i = 0; i < 1000; ++i) {
        const double t = i / 25.0;
        ASSERT_EQ(x[i], QPointF(flowSafe(i + 1), flowSafe(2000 + std::lround(800 * std::sin(t))))) << i;
        ASSERT_EQ(y[i], QPointF(flowSafe(i + 1), flowSafe(2000 + std::lround(790 * std::sin(t - 0.05))))) << i;
    }
    EXPECT_EQ(frm->chart->chart()->title(), "Requested motor position vs actual motor position");
    EXPECT_TRUE(frm->chart->isVisible());
}
