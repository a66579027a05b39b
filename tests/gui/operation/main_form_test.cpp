#include "operation/MainForm.h"

#include "FakeSerialDevice.h"
#include "TestDoubles.h"
#include "foundation/AbortFlags.h"
#include "foundation/ExceptionReportForm.h"
#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "geometry/polygon.h"
#include "hpgl/CanvasSink.h"
#include "hpgl/QPainterCanvas.h"
#include "hpgl/hpgl.h"
#include "link/SerialDevice.h"
#include "link/TSerial.h"
#include "operation/PlotImageView.h"
#include "operation/progress.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QSettings>
#include <QShortcut>
#include <QTest>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <zlib.h>

using namespace grittor;

namespace {

using test::ReadAll;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetAbortFlags().Closing = false;
        GetAbortFlags().Cancelled = false;
        GetAbortFlags().OperationCancelled = false;
        logDir = std::make_unique<QTemporaryDir>();
        LogOutput().SetDirectory(logDir->path().toStdString());
        LogOutput().SetFileName("main-form-test");
        report = std::make_unique<TExceptionReportForm>();
        report->NoRedisplayCheckBox->setChecked(true);
        TExceptionReportForm::ModalRunner = [](TExceptionReportForm &) {};
    }
    void TearDown() override
    {
        frm.reset();
        report.reset();
    }
    void MakeWindow(bool show = true)
    {
        frm = std::make_unique<TMainFrm>(store);
        if (show) {
            frm->show();
            QApplication::processEvents();
        }
    }
    std::string LogText() { return ReadAll(LogOutput().FullPath()); }

    test::TempSettings settings;
    TMaterialLibrary lib;
    TLibraryStore store{lib, MaterialLibraryPath(Options().SettingsFolder())};
    test::ScriptedDialogs dialogs;
    test::RecordingProgress progress;
    std::unique_ptr<QTemporaryDir> logDir;
    std::unique_ptr<TExceptionReportForm> report;
    std::unique_ptr<TMainFrm> frm;
};

} // namespace

TEST_F(MainFormTest, StartsWithTheTerminalAndTheTwoStartLines)
{
    MakeWindow();
    const auto lines = frm->TerminalLinesCopy();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d\.\d\d:\d\d:\d\d \|     Grittor Version Build 8 5-20-3 Started)")))
        << lines[0];
    EXPECT_TRUE(frm->Action(TCommandId::TerminalView)->isChecked());
    EXPECT_TRUE(frm->TerminalMode());
    EXPECT_TRUE(frm->Memo->isVisible());
    EXPECT_TRUE(frm->Action(TCommandId::SeparateColors)->isChecked());
    EXPECT_FALSE(frm->Action(TCommandId::SeparateColors)->isVisible());
    EXPECT_NE(LogText().find("FormActivate first time"), std::string::npos);
}

TEST_F(MainFormTest, TerminalLinesAreCleanedTrimmedAndCut)
{
    MakeWindow();
    frm->AddTerminalLine(std::string("AB\0C", 4), false);
    frm->AddTerminalLine("x\ty", false);
    frm->AddTerminalLine("  \r\n padded \x07 x \x07", false);
    auto lines = frm->TerminalLinesCopy();
    EXPECT_EQ(lines[2], "ABC");
    EXPECT_EQ(lines[3], "x#9y");
    EXPECT_EQ(lines[4], "padded #7 x"); // trimmed first, then made printable
    const std::string longLine(150, 'q');
    frm->AddTerminalLine(longLine, false);
    lines = frm->TerminalLinesCopy();
    EXPECT_EQ(lines.back(), std::string(100, 'q') + " ... truncate for display.");
    EXPECT_NE(LogText().find(longLine + "\r\n"), std::string::npos); // the log keeps the whole line
}

TEST_F(MainFormTest, SixtyLinesLeaveTheLastFiftyOne)
{
    MakeWindow();
    for (int i = 0; i < 60; ++i)
        frm->AddTerminalLine("line " + std::to_string(i), false);
    const auto lines = frm->TerminalLinesCopy();
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines.front(), "line 9");
    EXPECT_EQ(lines.back(), "line 59");
    frm->TerminalRefresh();
    EXPECT_EQ(frm->Memo->toPlainText().split('\n').size(), 51);
    EXPECT_TRUE(frm->Memo->toPlainText().endsWith("line 59"));
}

TEST_F(MainFormTest, CharacterLogFragmentsJoinAndWrapAndEndTheirLogLine)
{
    MakeWindow();
    frm->Action(TCommandId::EnableCharacterLog)->setChecked(true);
    frm->AddTerminalLine("before", false);
    for (int i = 0; i < 40; ++i)
        frm->AddTerminalLine("<" + std::string(1, static_cast<char>('a' + i % 26)) + "!", false);
    auto lines = frm->TerminalLinesCopy();
    // Fragments join the last line ("before"); once it is past 100
    // characters the next fragment starts a new line: 6 + 32 x 3 = 102.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].size(), 102u);
    EXPECT_EQ(lines.back().size(), 24u);
    EXPECT_EQ(lines.back().substr(0, 3), "<g!");
    frm->AddTerminalLine("after", false);
    const std::string log = LogText();
    // In the log the fragments form one line that ends when it passes 100
    // characters, then one that a normal line ends.
    const size_t start = log.find("before\r\n");
    ASSERT_NE(start, std::string::npos);
    std::string rest = log.substr(start + 8);
    const size_t firstEnd = rest.find("\r\n");
    EXPECT_EQ(firstEnd, 99u); // 33 fragments: the one that found the line past 100 ends it
    rest = rest.substr(firstEnd + 2);
    EXPECT_EQ(rest.find("\r\nafter\r\n"), 21u); // 7 more, ended by the normal line
}

TEST_F(MainFormTest, ClearLogWithoutALinkAsksForThePort)
{
    MakeWindow();
    frm->ClearLogMenuClick(); // without a link: a message, nothing cleared
    EXPECT_EQ(dialogs.messages.back(), "Must open serial port to clear log");
}

TEST_F(MainFormTest, StartUpSelectsThePortFromTheSettings)
{
    {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Port", "com9");
        s.setValue("Font Size", 14);
    }
    ResetOptions();
    MakeWindow();
    EXPECT_TRUE(frm->Action(TCommandId::Com1)->isChecked());
    EXPECT_FALSE(frm->Action(TCommandId::NoCommPort)->isChecked());
    EXPECT_EQ(Options().Port, "com1");
    // 14 is not a font item: the design font stays and no item is ticked.
    EXPECT_EQ(frm->Memo->font().pointSize(), 8);
    for (TCommandId c : {TCommandId::FontSize6, TCommandId::FontSize8, TCommandId::FontSize12})
        EXPECT_FALSE(frm->Action(c)->isChecked());
}

TEST_F(MainFormTest, NoneSelectsNoCommPortAndFontTenApplies)
{
    {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Port", "none");
        s.setValue("Font Size", 10);
        s.setValue("Left", 5);
        s.setValue("Top", 6);
        s.setValue("Width", 700);
        s.setValue("Height", 500);
    }
    ResetOptions();
    MakeWindow();
    EXPECT_TRUE(frm->Action(TCommandId::NoCommPort)->isChecked());
    EXPECT_FALSE(frm->Action(TCommandId::Com1)->isChecked());
    EXPECT_EQ(frm->Memo->font().pointSize(), 10);
    EXPECT_TRUE(frm->Action(TCommandId::FontSize10)->isChecked());
    EXPECT_EQ(frm->width(), 700);
    EXPECT_EQ(frm->height(), 500);
    frm->Action(TCommandId::Com5)->trigger();
    EXPECT_EQ(Options().Port, "com5");
    EXPECT_FALSE(frm->Action(TCommandId::NoCommPort)->isChecked());
}

TEST_F(MainFormTest, ClosingStoresGeometryFontAndEcho)
{
    MakeWindow();
    frm->Action(TCommandId::FontSize9)->trigger();
    frm->Action(TCommandId::LocalEcho)->trigger();
    frm->resize(720, 510);
    frm->close();
    EXPECT_TRUE(GetAbortFlags().Closing.load());
    GetAbortFlags().Closing = false;
    QSettings s("Korvane Systems", "Grittor");
    EXPECT_EQ(s.value("Font Size").toInt(), 9);
    EXPECT_EQ(s.value("Local Echo").toInt(), 1);
    EXPECT_EQ(s.value("Width").toInt(), 720);
}

TEST_F(MainFormTest, APlotOpenedByARelativeNameIsRememberedByItsWholePath)
{
    // A name from the command line is relative to where the program was
    // started; stored as given, the next run's settings would name nothing.
    MakeWindow();
    QTemporaryDir dir;
    std::ofstream(dir.path().toStdString() + "/rel.plt") << "IN;SP1;PA0,0;PD1016,0,1016,1016,0,0;";
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    frm->OpenPlotFile("rel.plt");
    QDir::setCurrent(before);
    EXPECT_EQ(Options().HpglDirectory, QDir(dir.path()).canonicalPath().toStdString() + "/rel.plt");
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), 1);
    frm->WaitSegmentDump();
}

TEST_F(MainFormTest, OpeningAPlotSetsTheTitleAndCollectsItsOutlines)
{
    MakeWindow();
    dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
    frm->DisplayHpglFileClick();
    EXPECT_EQ(frm->windowTitle().toStdString(), "Grittor - two-by-one.plt size (2.00,1.00) inches, 3 HPGL Commands");
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), 1);
    EXPECT_EQ(frm->Job()->Outlines().Outlines()[0].Count(), 4);
    EXPECT_TRUE(frm->Action(TCommandId::ImageView)->isChecked());
    EXPECT_FALSE(frm->Memo->isVisible());
    EXPECT_EQ(Options().HpglDirectory, test::TestDataPath("operation/two-by-one.plt"));
    frm->WaitSegmentDump(); // written beside the window
    const std::string dump = ReadAll(Options().Directory + "HpglOutput before combine.xls");
    EXPECT_NE(dump.find("\t\tPen\t"), std::string::npos);
    EXPECT_NE(LogText().find("DisplayHpglFileMenuClick  file "), std::string::npos);
    // The picture shows the plot: some dark pixels on the workspace colour.
    const QImage &pic = frm->Image->Picture();
    int dark = 0;
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x)
            dark += qGray(pic.pixel(x, y)) < 40;
    EXPECT_GT(dark, 50);
}

TEST_F(MainFormTest, TheOpenDialogStartsOnTheLastFileOrAMaskInAFolder)
{
    MakeWindow();
    Options().HpglDirectory = "/plots/";
    frm->DisplayHpglFileClick(); // cancelled
    ASSERT_EQ(dialogs.fileInitials.size(), 1u);
    EXPECT_EQ(dialogs.fileInitials[0], "/plots/*.*");
    EXPECT_EQ(frm->Plot(), nullptr);
}

TEST_F(MainFormTest, SteppingThroughOutlinesStopsAtTheEnd)
{
    MakeWindow();
    dialogs.files.push_back(test::TestDataPath("operation/two-outlines.plt"));
    frm->DisplayHpglFileClick();
    const int outlines = frm->Job()->Outlines().ObjectCount();
    ASSERT_EQ(outlines, 3);
    auto redPixels = [&] {
        const QImage &pic = frm->Image->Picture();
        int red = 0;
        for (int y = 0; y < pic.height(); ++y)
            for (int x = 0; x < pic.width(); ++x)
                red += pic.pixel(x, y) == qRgb(255, 0, 0);
        return red;
    };
    frm->DrawFirstPolygon1Click();
    EXPECT_EQ(frm->windowTitle().toStdString(),
              "Rudi Davuv - two-outlines.plt Ploygon 0 of 3 contains 4 segments, Start (0, 0), End (0, 0)");
    EXPECT_EQ(redPixels(), 0) << "a closed outline has no red segment";
    frm->DrawNextPolygon1Click();
    // The second outline stops 5 units short: not closed, so its
    // second-to-last segment's end is shown and its last segment is red.
    EXPECT_EQ(frm->windowTitle().toStdString(),
              "Rudi Davuv - two-outlines.plt Ploygon 1 of 3 contains 4 segments, Start (3000, 0), End (3000, 1000)");
    EXPECT_GT(redPixels(), 10);
    frm->DrawNextPolygon1Click();
    frm->DrawNextPolygon1Click();
    frm->DrawNextPolygon1Click();
    EXPECT_EQ(frm->PolygonStep(), 3);
    EXPECT_TRUE(frm->windowTitle().endsWith(" end of list"));
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), outlines);
}

TEST_F(MainFormTest, AnUnreadableFileIsReportedAndTheProgramGoesOn)
{
    MakeWindow();
    std::vector<std::string> reported;
    report->SetOutputHandler([&](const std::string &t, bool) { reported.push_back(t); });
    dialogs.files.push_back(std::string("/no/such/plot.plt"));
    frm->DisplayHpglFileClick();
    ASSERT_GE(reported.size(), 2u);
    EXPECT_EQ(reported[0], "Exception in routine DisplayHpglFileMenuClick");
    EXPECT_EQ(reported[1], "Exception displaying file");
    EXPECT_EQ(frm->Plot(), nullptr);
    // Still usable: the next plot opens.
    dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
    frm->DisplayHpglFileClick();
    EXPECT_NE(frm->Plot(), nullptr);
}

namespace {

// The drawing operators of a PDF page, inflated.
std::string PdfContent(const std::string &pdf)
{
    std::string out;
    size_t pos = 0;
    while ((pos = pdf.find("stream\n", pos)) != std::string::npos) {
        pos += 7;
        const size_t end = pdf.find("endstream", pos);
        if (end == std::string::npos)
            break;
        std::string inflated(1 << 22, '\0');
        uLongf len = inflated.size();
        if (uncompress(reinterpret_cast<Bytef *>(inflated.data()), &len,
                       reinterpret_cast<const Bytef *>(pdf.data() + pos), end - pos) == Z_OK)
            out += inflated.substr(0, len);
        pos = end;
    }
    return out;
}

} // namespace

TEST_F(MainFormTest, PrintingAtTrueSizeUsesOnePlotUnitPer1016thInch)
{
    MakeWindow();
    dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
    frm->DisplayHpglFileClick();
    QTemporaryDir dir;
    const QString pdf = dir.path() + "/plot.pdf";
    TMainFrm::PrintDialogRunner = [&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setResolution(600);
        return true;
    };
    frm->Print1Click();
    const std::string content = PdfContent(ReadAll(pdf.toStdString()));
    ASSERT_FALSE(content.empty());
    // The page draws the square as a path in 600-dpi device units scaled to
    // points: its coordinates span 2 x 1 inches, 1200 x 600 device units.
    std::regex num(R"((-?\d+(?:\.\d+)?) (-?\d+(?:\.\d+)?) ([ml])\b)");
    double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
    for (auto it = std::sregex_iterator(content.begin(), content.end(), num); it != std::sregex_iterator(); ++it) {
        const double x = std::stod((*it)[1]), y = std::stod((*it)[2]);
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
    EXPECT_NEAR(maxX - minX, 1200, 2);
    EXPECT_NEAR(maxY - minY, 600, 2);
    {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.path() + "/again.pdf");
        printer.setResolution(600);
        const TViewport v = frm->PrintImage(printer, false);
        EXPECT_EQ(v.Scale.x, 600.0L / 1016.0L);
        EXPECT_EQ(v.Scale.y, -600.0L / 1016.0L);
    }
    // Cancelling the print dialog prints nothing.
    TMainFrm::PrintDialogRunner = [](QPrinter &, QWidget *) { return false; };
    QFile::remove(pdf);
    frm->Print1Click();
    EXPECT_FALSE(QFile::exists(pdf));
}

TEST_F(MainFormTest, KeysTypedIntoTheTerminalOpenTheSelectedPort)
{
    {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Port", "none");
    }
    ResetOptions();
    MakeWindow();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    QApplication::sendEvent(frm->Memo, &key);
    ASSERT_NE(frm->Serial(), nullptr); // the "none" link: nothing sent, nothing shown
    EXPECT_TRUE(frm->TerminalMode());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, AnExceptionInAHandlerIsAGlobalException)
{
    MakeWindow();
    std::vector<std::string> reported;
    report->SetOutputHandler([&](const std::string &t, bool) { reported.push_back(t); });
    QMetaObject::invokeMethod(frm.get(), [] { throw std::runtime_error("handler failed"); }, Qt::QueuedConnection);
    QApplication::processEvents();
    ASSERT_GE(reported.size(), 3u);
    EXPECT_EQ(reported[0], "Exception in routine TmainFrm.ApplicationEvents1Exception");
    EXPECT_EQ(reported[1], "Global Exception");
    EXPECT_EQ(reported[2], "handler failed");
}

TEST_F(MainFormTest, APortThatCannotOpenIsNamedAndTheLinkStays)
{
    MakeWindow();
    SetPortOverride("com1", "/dev/grittor-test-no-such-port");
    frm->SelectPort("com1");
    frm->OpenMenuClick();
    ClearPortOverrides();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Unable to open com1");
    EXPECT_NE(frm->Serial(), nullptr);
    frm->CloseMenuClick();
    EXPECT_EQ(frm->Serial(), nullptr);
    const std::string log = LogText();
    EXPECT_NE(log.find("Open Menu Click"), std::string::npos);
    EXPECT_NE(log.find("Close Menu Click"), std::string::npos);
}

TEST_F(MainFormTest, PrintFittedToThePageUsesOneScaleForBothAxes)
{
    MakeWindow();
    dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
    frm->DisplayHpglFileClick();
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.path() + "/fit.pdf");
    printer.setResolution(300);
    const int pageW = printer.width(), pageH = printer.height();
    const TViewport v = frm->PrintImage(printer, true);
    // A wide plot (2032 + 250 by 1016 + 250 units) is limited by the page width.
    const long double expected = std::min(pageW / 2282.0L, pageH / 1266.0L);
    EXPECT_NEAR(static_cast<double>(v.Scale.x), static_cast<double>(expected), 1e-9);
    EXPECT_EQ(v.Scale.y, -v.Scale.x);
    EXPECT_NEAR(static_cast<double>(v.Offset.x), static_cast<double>(125 * expected), 1e-6);
}

TEST_F(MainFormTest, StartMarkerOnceAndArrowsNeverAddOutlines)
{
    MakeWindow();
    // The plot ends inside the square, away from its edges: the marker
    // stands where the drawing ended.
    QTemporaryDir dir;
    const std::string plot = dir.path().toStdString() + "/ends-inside.plt";
    std::ofstream(plot) << "PU0,0;PD2032,0,2032,1016,0,1016,0,0;PU1016,508;";
    dialogs.files.push_back(plot);
    frm->DisplayHpglFileClick();
    const int outlines = frm->Job()->Outlines().ObjectCount();
    const QImage before = frm->Image->Picture().copy();
    frm->DrawStartMarker();
    EXPECT_TRUE(frm->MarkerDrawn());
    const QImage marked = frm->Image->Picture().copy();
    EXPECT_NE(before, marked);
    frm->DrawStartMarker(); // only the first time
    EXPECT_EQ(frm->Image->Picture(), marked);
    frm->DrawPositionArrow({1016, 508}, 0.785398163397448L, 0x0000FF);
    // Some pure red pixels: the arrow's stroke colour.
    const QImage &pic = frm->Image->Picture();
    int red = 0;
    for (int y = 0; y < pic.height(); ++y)
        for (int x = 0; x < pic.width(); ++x)
            red += pic.pixel(x, y) == qRgb(255, 0, 0);
    EXPECT_GT(red, 10);
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), outlines);
}

TEST_F(MainFormTest, ResizingTheWindowDrawsThePlotAfreshWithoutNewOutlines)
{
    MakeWindow();
    dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
    frm->DisplayHpglFileClick();
    const int outlines = frm->Job()->Outlines().ObjectCount();
    frm->resize(frm->width() + 120, frm->height() + 80);
    QApplication::processEvents();
    frm->RerenderForSize(); // what the settled resize runs
    EXPECT_EQ(frm->Image->Picture().size(), frm->Image->size());
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), outlines);
}

TEST_F(MainFormTest, NoTwoCommandsShareAShortcut)
{
    MakeWindow();
    std::map<QString, QString> owner;
    auto claim = [&](const QKeySequence &keys, const QString &who) {
        if (keys.isEmpty())
            return;
        const QString k = keys.toString(QKeySequence::PortableText);
        auto [it, fresh] = owner.emplace(k, who);
        EXPECT_TRUE(fresh) << k.toStdString() << " belongs to both " << it->second.toStdString() << " and "
                           << who.toStdString();
    };
    for (QAction *a : frm->findChildren<QAction *>())
        for (const QKeySequence &k : a->shortcuts())
            claim(k, a->text());
    for (QShortcut *s : frm->findChildren<QShortcut *>())
        claim(s->key(), "window shortcut");
    EXPECT_EQ(owner.count("Ctrl+P"), 1u);
    EXPECT_EQ(owner.count("Ctrl+Alt+D"), 1u);
}

TEST_F(MainFormTest, HiddenDebugItemIsReachableByItsShortcutAndSwitchesThePeTrace)
{
    MakeWindow();
    frm->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
    QAction *debug = frm->Action(TCommandId::PolygonFillDebug);
    ASSERT_FALSE(debug->isVisible());
    EXPECT_FALSE(debug->isChecked());
    QTest::keyClick(frm.get(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(debug->isChecked());
    EXPECT_TRUE(THpglFile::PeDiagnostics());
    EXPECT_EQ(frm->StatusBarPanel->text().toStdString(), "Polygon Fill Debug on");

    // A plot opened now traces its PE codes into the debug log.
    QTemporaryDir dir;
    const std::string plot = dir.path().toStdString() + "/pe.plt";
    std::ofstream(plot) << "IN;SP1;PE<=?_>__;";
    dialogs.files.push_back(plot);
    frm->DisplayHpglFileClick();
    EXPECT_NE(LogText().find("\t\t\tpegl minmax entry"), std::string::npos);

    QTest::keyClick(frm.get(), Qt::Key_D, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(debug->isChecked());
    EXPECT_FALSE(THpglFile::PeDiagnostics());
    EXPECT_EQ(frm->StatusBarPanel->text().toStdString(), "Polygon Fill Debug off");
}

TEST_F(MainFormTest, APortTheCommandLineChoseIsNotStored)
{
    {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Port", "none");
    }
    ResetOptions();
    MakeWindow();
    frm->SelectPortForThisRun("com1");
    EXPECT_EQ(Options().Port, "com1");
    EXPECT_TRUE(frm->Action(TCommandId::Com1)->isChecked());
    frm->FormClose();
    EXPECT_EQ(QSettings("Korvane Systems", "Grittor").value("Port").toString(), "none");
    EXPECT_EQ(Options().Port, "com1") << "the run goes on with its port";

    // The operator's own choice in that run is kept.
    frm->Action(TCommandId::Com2)->trigger();
    frm->FormClose();
    EXPECT_EQ(QSettings("Korvane Systems", "Grittor").value("Port").toString(), "com2");
    GetAbortFlags().Closing = false;
}

namespace {

// A plot big enough that opening it moves the progress window (and so runs
// the window messages) several times.
std::string WriteSquares(const QTemporaryDir &dir, int count)
{
    const std::string plot = dir.path().toStdString() + "/squares.plt";
    std::ofstream f(plot);
    f << "IN;SP1;";
    for (int i = 0; i < count; ++i)
        f << "PU" << i * 2000 << ",0;PD" << i * 2000 + 1000 << ",0," << i * 2000 + 1000 << ",1000," << i * 2000
          << ",1000," << i * 2000 << ",0;";
    return plot;
}

} // namespace

TEST_F(MainFormTest, CommandsArrivingDuringAnOpenAreRefusedAndTheOpenFinishes)
{
    MakeWindow();
    QTemporaryDir dir;
    const std::string plot = WriteSquares(dir, 600);
    // While the progress moves the window messages run: an impatient
    // operator presses F1, F2, Print and Pen Parameters.
    int tries = 0;
    progress.onSet = [&](double) {
        if (tries++ > 0)
            return;
        dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
        for (TCommandId id : {TCommandId::OpenHpglFile, TCommandId::DrawFirstPolygon, TCommandId::Print,
                              TCommandId::PenParameters})
            EXPECT_FALSE(frm->TriggerCommand(id)) << CommandInfo(id).Name;
    };
    bool printed = false;
    TMainFrm::PrintDialogRunner = [&](QPrinter &, QWidget *) { return printed = true; };
    dialogs.files.push_back(plot);
    EXPECT_TRUE(frm->TriggerCommand(TCommandId::OpenHpglFile));
    progress.onSet = nullptr;
    TMainFrm::PrintDialogRunner = [](QPrinter &, QWidget *) { return false; };
    EXPECT_GT(tries, 0);
    EXPECT_EQ(frm->StatusBarPanel->text().toStdString(), "Busy: let the current work finish, or press Cancel");
    EXPECT_EQ(dialogs.files.size(), 1u) << "the nested open never asked for a file";
    EXPECT_FALSE(printed);
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), 600);
    EXPECT_TRUE(frm->windowTitle().startsWith("Grittor - squares.plt"));
    // Once the open is over, the commands work again.
    EXPECT_TRUE(frm->TriggerCommand(TCommandId::OpenHpglFile));
    EXPECT_TRUE(dialogs.files.empty());
    EXPECT_TRUE(frm->windowTitle().startsWith("Grittor - two-by-one.plt"));
}

TEST_F(MainFormTest, WhileAnExclusiveCommandRunsEveryOtherCommandIsRefusedOrRunsAsItsPolicySays)
{
    MakeWindow();
    QTemporaryDir dir;
    const std::string plot = WriteSquares(dir, 600);
    int checked = 0;
    progress.onSet = [&](double) {
        if (checked++ > 0)
            return;
        for (const TCommandInfo &c : CommandTable()) {
            SCOPED_TRACE(c.Name);
            const bool allowed = c.Policy == TCommandPolicy::AllowedWhileBusy;
            EXPECT_EQ(frm->Gate().Allows(c.Id), allowed);
            // The menus show it: an exclusive item is greyed out.
            if (QAction *a = frm->Action(c.Id); a && !allowed) {
                EXPECT_FALSE(a->isEnabled());
            }
            if (!allowed) {
                frm->SetStatusText("");
                EXPECT_FALSE(frm->TriggerCommand(c.Id));
                EXPECT_EQ(frm->StatusBarPanel->text().toStdString(),
                          "Busy: let the current work finish, or press Cancel");
            }
        }
        // Allowed ones do run: a view switches, a switch toggles.
        EXPECT_TRUE(frm->TriggerCommand(TCommandId::TerminalView));
        EXPECT_TRUE(frm->Action(TCommandId::TerminalView)->isChecked());
        const bool echo = frm->Action(TCommandId::LocalEcho)->isChecked();
        frm->Action(TCommandId::LocalEcho)->trigger();
        EXPECT_NE(frm->Action(TCommandId::LocalEcho)->isChecked(), echo);
        // A key for the machine would land in the middle of the running work.
        frm->SetStatusText("");
        QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QApplication::sendEvent(frm->Memo, &key);
        EXPECT_EQ(frm->Serial(), nullptr);
        EXPECT_EQ(frm->StatusBarPanel->text().toStdString(), "Busy: let the current work finish, or press Cancel");
    };
    dialogs.files.push_back(plot);
    EXPECT_TRUE(frm->TriggerCommand(TCommandId::OpenHpglFile));
    progress.onSet = nullptr;
    EXPECT_GT(checked, 0);
    // Afterwards the items are back (those that make sense with a plot).
    EXPECT_TRUE(frm->Action(TCommandId::OpenHpglFile)->isEnabled());
    EXPECT_TRUE(frm->Action(TCommandId::Print)->isEnabled());
    EXPECT_TRUE(frm->Action(TCommandId::UploadFirmware)->isEnabled());
    EXPECT_FALSE(frm->Action(TCommandId::Baud9600)->isEnabled()); // shows the line settings only
}

TEST_F(MainFormTest, ThePortClosedDuringACommandGoesWhenTheCommandEnds)
{
    {
        QSettings s("Korvane Systems", "Grittor");
        s.setValue("Port", "none");
    }
    ResetOptions();
    MakeWindow();
    frm->OpenMenuClick();
    ASSERT_NE(frm->Serial(), nullptr);
    QTemporaryDir dir;
    const std::string plot = WriteSquares(dir, 600);
    bool stillThere = false;
    int calls = 0;
    progress.onSet = [&](double) {
        if (calls++ > 0)
            return;
        EXPECT_TRUE(frm->TriggerCommand(TCommandId::CloseCommPort));
        stillThere = frm->Serial() != nullptr;
    };
    dialogs.files.push_back(plot);
    frm->TriggerCommand(TCommandId::OpenHpglFile);
    progress.onSet = nullptr;
    EXPECT_TRUE(stillThere) << "a running command may be using the link";
    EXPECT_EQ(frm->Serial(), nullptr);
}

namespace {

// The outline collection as the segment dump writes it.
std::string Dump(const TPolygon &outlines, const QTemporaryDir &dir)
{
    const std::string file = dir.path().toStdString() + "/dump.xls";
    outlines.DumpSegments(file, false);
    return ReadAll(file);
}

} // namespace

TEST_F(MainFormTest, ABigPlotOpensWithThePictureAndOutlinesOfADrawingInOnePiece)
{
    // Big enough to be drawn in two parts: on two cores the second part
    // waits for the outline collection and then draws the last quarter.
    QTemporaryDir dir;
    const std::string file = dir.path().toStdString() + "/big.plt";
    {
        std::mt19937 rng(7);
        auto n = [&rng](int lo, int hi) { return std::to_string(std::uniform_int_distribution<int>(lo, hi)(rng)); };
        std::ofstream out(file, std::ios::binary);
        out << "IN;";
        for (int b = 0; b < 5000; ++b) {
            out << "SP" << 1 + b % 6 << ";PA" << n(0, 20000) << "," << n(0, 15000) << ";PD" << n(0, 20000) << ","
                << n(0, 15000) << "," << n(0, 20000) << "," << n(0, 15000) << ";PU;";
            if (b % 7 == 0)
                out << "PA" << n(1000, 19000) << "," << n(1000, 14000) << ";CI" << n(10, 900) << ";";
        }
    }
    THpglFile plot(file, 1.0L, nullptr);
    ASSERT_GE(plot.Checkpoints().size(), 8u);
    MakeWindow();
    dialogs.files.push_back(file);
    frm->DisplayHpglFileClick();
    ASSERT_NE(frm->Job(), nullptr);
    EXPECT_EQ(Dump(frm->Job()->Outlines(), dir), Dump(*TBlastJob::CollectOutlines(plot, {}), dir));
    // The same picture drawn in one piece, in the colours the window uses.
    const QImage &shown = frm->Image->Picture();
    PlotImageView reference;
    reference.SetPictureSize(shown.width(), shown.height());
    {
        QPainterCanvas canvas(&reference.Picture());
        RenderPlot(plot, canvas, shown.width(), shown.height(), Options().Radius, lib.SelectedPens().PenColors(), nullptr,
                   nullptr, false);
        canvas.End();
    }
    EXPECT_TRUE(reference.Picture() == shown) << "the opened picture differs from one drawn in one piece";
}

TEST_F(MainFormTest, PrintingResizingAndSteppingLeaveTheOutlineCollectionAsItWas)
{
    MakeWindow();
    QTemporaryDir dir;
    const std::string first = test::TestDataPath("operation/two-outlines.plt");
    dialogs.files.push_back(first);
    frm->DisplayHpglFileClick();
    const TBlastJob *job = frm->Job();
    ASSERT_NE(job, nullptr);
    const std::string opened = Dump(job->Outlines(), dir);
    // The same plot collected by a replay of its own, without any drawing.
    THpglFile again(first, 1.0L, nullptr);
    ASSERT_EQ(opened, Dump(*TBlastJob::CollectOutlines(again, {}), dir));

    TMainFrm::PrintDialogRunner = [&](QPrinter &printer, QWidget *) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.path() + "/p.pdf");
        return true;
    };
    frm->Print1Click();
    frm->PrintScaleToPageSize1Click();
    TMainFrm::PrintDialogRunner = [](QPrinter &, QWidget *) { return false; };
    frm->resize(frm->width() + 90, frm->height() + 40);
    QApplication::processEvents();
    frm->RerenderForSize();
    frm->DrawFirstPolygon1Click();
    frm->DrawNextPolygon1Click();
    frm->DrawStartMarker();
    frm->DrawPositionArrow({500, 500}, 1, 0x00FF00);
    EXPECT_EQ(frm->Job(), job);
    EXPECT_EQ(Dump(job->Outlines(), dir), opened);

    // Another plot: its own collection, nothing of the first one.
    dialogs.files.push_back(test::TestDataPath("operation/two-by-one.plt"));
    frm->DisplayHpglFileClick();
    THpglFile second(test::TestDataPath("operation/two-by-one.plt"), 1.0L, nullptr);
    EXPECT_EQ(Dump(frm->Job()->Outlines(), dir), Dump(*TBlastJob::CollectOutlines(second, {}), dir));
    EXPECT_EQ(frm->Job()->Outlines().ObjectCount(), 1);
}

TEST_F(MainFormTest, ABorderSendWithoutAPortSaysSoAsTheJobDoesAndSendsNothing)
{
    lib.AddMaterial("Stone");
    for (int pen : {1, 7}) {
        TPens &p = lib.FindOrAddPen(0, pen);
        p.SetBlowSpeed(25);
        p.SetRadius(400);
        p.border = pen == 7;
    }
    lib.SetSelected(0);
    MakeWindow();
    QTemporaryDir dir;
    const std::string plot = dir.path().toStdString() + "/p.plt";
    std::ofstream(plot) << "SP1;PU1000,1000;PD2000,1000,2000,2000,1000,2000,1000,1000;"
                           "SP7;PU0,0;PD3000,0,3000,3000,0,3000,0,0;PU;";
    frm->OpenPlotFile(plot);
    ASSERT_NE(frm->Job(), nullptr);
    SetPortOverride("com1", "/dev/grittor-test-no-such-port");
    frm->SelectPort("com1");
    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {30000, 3000});
    dialogs.messages.clear();
    frm->SendBorderClick();
    EXPECT_EQ(frm->LastJobResult().Outcome, TJobOutcome::NoPort);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back(), "unable to open serial port");
    dialogs.messages.clear();
    frm->SendFileMenuClick();
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back(), "unable to open serial port");
    ClearPortOverrides();
}

namespace {

// The main window's link on an in-process device, so a test sees every byte
// a key sends.
class TerminalKeysTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        SetSerialDeviceFactory([this] {
            auto d = std::make_unique<FakeSerialDevice>();
            device = d.get();
            return d;
        });
        MakeWindow();
        frm->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frm.get()));
        frm->Memo->setFocus();
    }
    void TearDown() override
    {
        frm.reset();
        SetSerialDeviceFactory(nullptr);
        MainFormTest::TearDown();
    }
    std::string Sent() const { return device ? device->Written() : std::string(); }
    QMenu *OpenMenu() const { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }
    void CloseMenus()
    {
        while (QWidget *popup = QApplication::activePopupWidget())
            popup->close();
    }

    FakeSerialDevice *device = nullptr;
};

} // namespace

TEST_F(TerminalKeysTest, AltLettersOpenTheMenusAndNeverReachTheMachine)
{
    QTest::keyClick(frm->Memo, Qt::Key_A);
    ASSERT_NE(frm->Serial(), nullptr);
    EXPECT_EQ(Sent(), "a") << "an ordinary key goes to the machine";

    const std::pair<Qt::Key, const char *> menus[] = {
        {Qt::Key_M, "&Machine"}, {Qt::Key_A, "&Action"}, {Qt::Key_S, "&Setup"}, {Qt::Key_H, "&Help"}};
    for (const auto &[key, title] : menus) {
        frm->Memo->setFocus();
        QTest::keyClick(frm->Memo, key, Qt::AltModifier);
        QMenu *menu = OpenMenu();
        ASSERT_NE(menu, nullptr) << title;
        EXPECT_EQ(menu->title().toStdString(), title);
        // Return and Escape then belong to the menu, not to the machine.
        QTest::keyClick(menu, Qt::Key_Escape);
        CloseMenus();
    }
    // An Alt combination no menu uses goes nowhere either.
    frm->Memo->setFocus();
    QTest::keyClick(frm->Memo, Qt::Key_Q, Qt::AltModifier);
    QTest::keyClick(frm->Memo, Qt::Key_9, Qt::AltModifier);
    CloseMenus();
    EXPECT_EQ(Sent(), "a");

    // The Machine menu keeps the settings panel first.
    QMenu *machine = nullptr;
    for (QAction *a : frm->menuBar()->actions())
        if (a->text() == "&Machine")
            machine = a->menu();
    ASSERT_NE(machine, nullptr);
    ASSERT_FALSE(machine->actions().isEmpty());
    EXPECT_EQ(machine->actions().first(), frm->Action(TCommandId::MachineSettings));
}

TEST_F(TerminalKeysTest, TheWindowsShortcutsWinAndOnlyUnclaimedKeysGoToTheMachine)
{
    // Ctrl+I is the picture view's: the view changes, nothing is sent.
    QTest::keyClick(frm->Memo, Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(frm->Action(TCommandId::ImageView)->isChecked());
    EXPECT_EQ(frm->Serial(), nullptr) << "no key went to the machine, so no port was opened";
    QTest::keyClick(frm.get(), Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(frm->Memo->isVisible());
    frm->Memo->setFocus();

    // Ctrl+K asks to cancel the job (the scripted answer is No).
    QTest::keyClick(frm->Memo, Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(dialogs.confirmations.size(), 1u);
    EXPECT_EQ(dialogs.confirmations[0], "Are you sure you wish to cancel this job?");

    // A command greyed out still owns its key: Ctrl+P does not become a
    // control byte for the machine.
    frm->SetCommandAvailable(TCommandId::Print, false);
    QTest::keyClick(frm->Memo, Qt::Key_P, Qt::ControlModifier);
    // F1 opens a plot (the scripted chooser is cancelled).
    QTest::keyClick(frm->Memo, Qt::Key_F1);
    EXPECT_EQ(dialogs.fileInitials.size(), 1u);

    // Keys no command claims go to the machine: Ctrl+X is byte 24.
    frm->Memo->setFocus();
    QTest::keyClick(frm->Memo, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(frm->Memo, Qt::Key_Return);
    QTest::keyClick(frm->Memo, Qt::Key_Escape);
    QTest::keyClick(frm->Memo, 'B');
    EXPECT_EQ(Sent(), std::string("\x18\r\x1b") + "B");
}

TEST_F(MainFormTest, APortBoundToAnUnpluggedAdapterNamesTheMissingDevice)
{
    const std::string gone = "/dev/serial/by-id/usb-grittor-test-unplugged-if00-port0";
    QSettings("Korvane Systems", "Grittor").setValue("Com Devices/com2", QString::fromStdString(gone));
    MakeWindow();
    frm->Action(TCommandId::Com2)->trigger();
    frm->OpenMenuClick();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "Unable to open com2");
    EXPECT_EQ(frm->StatusBarPanel->text().toStdString(), "com2: missing device " + gone);
    EXPECT_NE(LogText().find("missing device: " + gone + " does not exist"), std::string::npos);
    // The Setup menu offers the dialog that binds it anew.
    EXPECT_TRUE(frm->Action(TCommandId::SerialDevices)->isEnabled());
    EXPECT_EQ(frm->Action(TCommandId::SerialDevices)->text().toStdString(), "Serial &Devices...");
    EXPECT_TRUE(frm->Action(TCommandId::MachineSettings)->isEnabled());
    EXPECT_TRUE(frm->Action(TCommandId::JogPanel)->isEnabled());
}

TEST_F(MainFormTest, TheTitleSaysWhenTheReadingStoppedEarlyAndWhenThePlotDrawsNothing)
{
    MakeWindow();
    QTemporaryDir dir;
    // A square, more than 100 unrecognised instructions, then a second
    // square the reading never reaches.
    std::string text = "IN;SP1;PU0,0;PD1016,0,1016,1016,0,1016,0,0;PU;";
    for (int i = 0; i < 101; ++i)
        text += "QQ;";
    text += "SP2;PU2032,0;PD3048,0,3048,1016,2032,1016,2032,0;PU;";
    const std::string stops = dir.path().toStdString() + "/stops.plt";
    std::ofstream(stops, std::ios::binary) << text;
    dialogs.files.push_back(stops);
    frm->DisplayHpglFileClick();
    ASSERT_NE(frm->Plot(), nullptr);
    EXPECT_NE(std::find(dialogs.messages.begin(), dialogs.messages.end(),
                        "More than 100 errors in hpgl file.  This file is probably not in the correct format"),
              dialogs.messages.end());
    const std::string notice = " - reading stopped at byte 348 of 401 (more than 100 errors), the rest is missing";
    EXPECT_EQ(frm->windowTitle().toStdString(),
              "Grittor - stops.plt size (1.00,1.00) inches, 5 HPGL Commands" + notice);
    // Stepping through the outlines keeps saying it.
    frm->DrawFirstPolygon1Click();
    const std::string stepped = frm->windowTitle().toStdString();
    EXPECT_EQ(stepped.rfind("Rudi Davuv - stops.plt Ploygon 0 of 1", 0), 0u) << stepped;
    EXPECT_EQ(stepped.substr(stepped.size() - notice.size()), notice);

    // A whole plot says nothing of the kind; one of no point has no size.
    const std::string empty = dir.path().toStdString() + "/empty.plt";
    std::ofstream(empty, std::ios::binary) << "IN;SP1;";
    dialogs.files.push_back(empty);
    frm->DisplayHpglFileClick();
    EXPECT_EQ(frm->windowTitle().toStdString(), "Grittor - empty.plt no drawing, 2 HPGL Commands");
}

TEST_F(MainFormTest, TheSegmentDumpIsWrittenBesideTheWindowByteForByte)
{
    MakeWindow();
    QTemporaryDir dir;
    const std::string big = dir.path().toStdString() + "/big.plt", small = dir.path().toStdString() + "/small.plt";
    {
        std::ofstream out(big, std::ios::binary);
        out << "IN;SP1;";
        for (int i = 0; i < 20000; ++i)
            out << "PU" << i * 40 << ",0;PD" << i * 40 + 20 << ",0," << i * 40 + 20 << ",30," << i * 40 << ",0;";
        std::ofstream(small, std::ios::binary) << "IN;SP2;PU0,0;PD2032,0,2032,1016,0,0;";
    }
    const std::string dumpName = Options().Directory + "HpglOutput before combine.xls";
    // The second open waits for the first dump; the file ends up as the
    // second plot's, whole.
    frm->OpenPlotFile(big);
    frm->OpenPlotFile(small);
    frm->WaitSegmentDump();
    const std::string expected = dir.path().toStdString() + "/expected.xls";
    frm->Job()->Outlines().DumpSegments(expected, false);
    EXPECT_EQ(ReadAll(dumpName), ReadAll(expected));
    EXPECT_EQ(ReadAll(dumpName).rfind("\t\tPen\t2\r\n", 0), 0u);
    frm->OpenPlotFile(big);
    frm->WaitSegmentDump();
    frm->Job()->Outlines().DumpSegments(expected, false);
    const std::string dump = ReadAll(dumpName);
    EXPECT_EQ(dump, ReadAll(expected));
    EXPECT_GT(dump.size(), 20000u * 4 * 10);
}

TEST_F(MainFormTest, TheDigitizeSendsRefuseACoordinateTheMachineCannotTake)
{
    MakeWindow();
    QTemporaryDir dir;
    const std::string plot = dir.path().toStdString() + "/huge.plt";
    std::ofstream(plot, std::ios::binary) << "IN;SP1;PU0,0;PD1016,0,1016,1016,0,0;SP2;PU0,0;PD99999999999,0,0,1016,0,0;";
    frm->OpenPlotFile(plot);
    ASSERT_NE(frm->Job(), nullptr);
    dialogs.messages.clear();
    const TPlacement placement = OriginPlacement(frm->Job()->Drawing(), {0, 0});
    EXPECT_TRUE(frm->SendablePlacedTexts(placement).empty());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "The plot cannot be sent: the PD instruction at byte 47 reaches (99999999999, 0), "
                                   "which the placement makes x 99999999999: outside the machine's integer range "
                                   "-2147483648..2147483647. Nothing was sent.");
    // A plot that fits is sent group by group.
    const std::string fits = dir.path().toStdString() + "/fits.plt";
    std::ofstream(fits, std::ios::binary) << "IN;SP1;PU0,0;PD1016,0,1016,1016,0,0;SP2;PU0,0;PD2000,0,0,1016,0,0;";
    frm->OpenPlotFile(fits);
    dialogs.messages.clear();
    EXPECT_EQ(frm->SendablePlacedTexts(OriginPlacement(frm->Job()->Drawing(), {0, 0})).size(), 2u);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MainFormTest, TheFirstOpenDialogStartsInTheDemoPlotsAndLaterOnesWhereThePlotWas)
{
    MakeWindow();
    frm->DisplayHpglFileClick(); // cancelled
    ASSERT_EQ(dialogs.fileInitials.size(), 1u);
    const std::string first = dialogs.fileInitials[0];
    ASSERT_GE(first.size(), 11u);
    EXPECT_EQ(first.substr(first.size() - 11), "samples/*.*") << first;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(first.substr(0, first.size() - 3) + "stencil-stone.plt")));

    const std::string plot = test::TestDataPath("operation/two-by-one.plt");
    frm->OpenPlotFile(plot);
    frm->DisplayHpglFileClick();
    ASSERT_EQ(dialogs.fileInitials.size(), 2u);
    EXPECT_EQ(dialogs.fileInitials[1], plot);
}
