// Blasting a plot, end to end against grittor-sim over a real pty: the three
// placements land where the operator digitized, the job and border sends
// put exactly the right bytes on the line, a cancel and a lost line end a
// job as they should, calibration, and grittor-cli run.
#include "SimWindowFixture.h"

using namespace grittor;
using namespace grittor::test;

TEST_F(BlastTest, OnePointPlacesThePlotUnturnedOnTheNozzle)
{
    StartSim();
    OpenWindowWithPlot();
    Control("move 20000 3000");
    frm->Digitizeoriginandsend1Click();
    ASSERT_TRUE(WaitRecorded("papd25500,7000")) << "(pen 2's last corner, placed)";
    const std::string sent = RecordedFrom("ap7oc;");
    std::vector<TExtendedPoint> want;
    for (const TExtendedPoint &v : Vertices)
        want.push_back(Placed(v, DrawingRef, {20000, 3000}, 0));
    // Pen 7 (the border) goes too: this command sends every group.
    std::vector<TExtendedPoint> got = Points(sent);
    ASSERT_GE(got.size(), want.size());
    got.resize(want.size());
    ExpectLanded(got, want, 1);
    EXPECT_NE(frm->StatusBarPanel->text().toStdString().find("rotation 0.00 deg"), std::string::npos);
}

TEST_F(BlastTest, ThreePointsFitTurnAndScalesOfAPlotDigitizedAtThirtyDegreesAndTwoPercent)
{
    StartSim();
    OpenWindowWithPlot();
    const TAlignPoints d = frm->Job()->Drawing();
    const TExtendedPoint origin{20000, 3000};
    // The machine first goes where the corner would be if the plot lay as
    // drawn; once it is there the operator drives the nozzle to the corner
    // while the box is open.
    auto moveTo = [&](const std::string &guess, const TExtendedPoint &p) {
        ASSERT_TRUE(WaitRecorded(guess));
        Control("move " + std::to_string(std::lround(static_cast<double>(p.x))) + " " +
                std::to_string(std::lround(static_cast<double>(p.y))));
    };
    dialogs.onMessage = [&](const std::string &text) {
        if (text.find("upper right") != std::string::npos)
            moveTo("Papu29000,3000;", Placed(d.Skew, d.Ref, origin, 30, 1.02L));
        else if (text.find("upper left") != std::string::npos)
            moveTo("Papu29000,10000;", Placed(d.Stretch, d.Ref, origin, 30, 1.02L));
    };
    Control("move 20000 3000");
    frm->Digitizeoriginskewscaleandsendplot1Click();
    ASSERT_EQ(frm->DigitizedRecord.Road, TPlacementRoad::ThreePoints);
    std::vector<TExtendedPoint> want;
    for (const TExtendedPoint &v : Vertices)
        want.push_back(Placed(v, DrawingRef, origin, 30, 1.02L));
    const TExtendedPoint last = want.back();
    ASSERT_TRUE(WaitRecorded("," + std::to_string(std::lround(static_cast<double>(last.y)))));
    // After the two guesses ("Papu...") the outlines follow.
    std::vector<TExtendedPoint> got = Points(RecordedFrom("ap7oc;"));
    ASSERT_GE(got.size(), want.size());
    got.resize(want.size());
    ExpectLanded(got, want, 2);
    const std::string status = frm->StatusBarPanel->text().toStdString();
    EXPECT_NE(status.find("rotation 30.00 deg, scale x 1.0200 y 1.0200"), std::string::npos) << status;
}

TEST_F(BlastTest, TheJobSubtractsTheLaserOffsetWaitsAndLandsWhereTheLoadKeyPointsSay)
{
    StartSim();
    OpenWindowWithPlot();
    const TAlignPoints d = frm->Job()->Drawing();
    const TExtendedPoint ref{20000, 3000};
    frm->DigitizedRecord = LoadKeyPlacement(ref, Placed(d.Skew, d.Ref, ref, 30));
    frm->SendFileMenuClick();
    ASSERT_TRUE(frm->LastJobResult().Ok()) << frm->LastJobResult().Message;
    // Position less the laser pointer's offset, between waits; the speeds;
    // the job; the wait after it.
    const std::string r = Recorded();
    const size_t pos = r.find("\x1b.wposition;16952;-48:");
    ASSERT_NE(pos, std::string::npos) << r.substr(0, 300);
    EXPECT_EQ(r.substr(pos - 4, 4), "wa;\r");
    const size_t job = r.find("papu0,0;\r\n", pos);
    ASSERT_NE(job, std::string::npos);
    EXPECT_NE(r.find("\x1b.vdownspeed:\r\x1b.vupspeed:\r", pos), std::string::npos);
    EXPECT_EQ(r.substr(r.size() - std::string("pa0,0,0,0,0,0;\r\n;\rwa;\r").size()), "pa0,0,0,0,0,0;\r\n;\rwa;\r");
    // Relative to the job position, turned by 30 degrees about the
    // reference; the border pen is left out of the job.
    std::vector<TExtendedPoint> got = Points(r.substr(job + 10));
    std::vector<TExtendedPoint> want;
    for (const TExtendedPoint &v : Vertices)
        want.push_back(Placed(v, DrawingRef, {0, 0}, 30));
    // One pass each, pen 1 then pen 2 (the runs alternate pens).
    ExpectLanded(got, want, 2);
}

TEST_F(BlastTest, ABorderSendNeverWaitsAndKeepsTheNozzlePosition)
{
    StartSim();
    OpenWindowWithPlot();
    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {30000, 3000});
    frm->SendBorderClick();
    ASSERT_TRUE(frm->LastJobResult().Ok()) << frm->LastJobResult().Message;
    ASSERT_TRUE(WaitRecorded("papu0,0;\r\n\r"));
    const std::string r = Recorded();
    EXPECT_NE(r.find("\x1b.wposition;20000;3000:"), std::string::npos) << "no laser offset for the border";
    const size_t border = r.find("papu0,0;\r\npapu");
    ASSERT_NE(border, std::string::npos);
    EXPECT_EQ(r.find("wa;", border), std::string::npos) << "a border send never waits";
    // The border rectangle, relative to the reference, unturned.
    const std::vector<TExtendedPoint> got = Points(r.substr(border + 10));
    ASSERT_EQ(got.size(), 6u); // 5 corners and the closing papu0,0
    EXPECT_EQ(got[0].x, 0);
    EXPECT_EQ(got[0].y, 0);
    EXPECT_EQ(got[2].x, 9000);
    EXPECT_EQ(got[2].y, 7000);
}

TEST_F(BlastTest, DigitizingRefusesADegenerateFitAndBadAnswersBeforeSendingAnything)
{
    StartSim();
    OpenWindowWithPlot();
    // The skew point 0.05 inch from the reference: refused, nothing sent.
    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {20050, 3000});
    const size_t before = Recorded().size();
    frm->SendFileMenuClick();
    EXPECT_EQ(frm->LastJobResult().Outcome, TJobOutcome::Refused);
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_NE(dialogs.messages.back().find("0.05 inch apart"), std::string::npos) << dialogs.messages.back();
    EXPECT_EQ(Recorded().size(), before);

    // A machine that answers "oc" with nonsense: the message names it, and
    // nothing is sent after it.
    Control("fault silent");
    frm->Serial()->set_timeout(300);
    frm->Digitizeoriginandsend1Click();
    EXPECT_EQ(dialogs.messages.back(), "unexpected data from cutter in response to oc HPGL command\r\nwas ");
    EXPECT_EQ(Recorded().find("papd"), std::string::npos);
}

TEST_F(BlastTest, APlotWithNoPenGroupsSendsNothingAndAsksForNoMorePoints)
{
    StartSim();
    const std::string path = Path("empty.plt");
    std::ofstream(path) << "IN;SP1;PU1000,1000;PU2000,2000;";
    OpenWindowWith(path);
    ASSERT_EQ(frm->Job()->GroupCount(), 0);
    // The target picture shows while the operator digitizes.
    TCalToPrintForm target(frm.get());
    Forms().CalToPrint = &target;
    bool shownWhileAsked = false;
    dialogs.onMessage = [&](const std::string &) { shownWhileAsked = target.isVisible(); };
    Control("move 20000 3000");
    frm->Digitizeoriginandsend1Click();
    Forms().CalToPrint = nullptr;
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Move to origin point (lower left) with joystick and click ok"});
    EXPECT_TRUE(shownWhileAsked);
    EXPECT_FALSE(target.isVisible()) << "the target picture is hidden again";
    dialogs.messages.clear();
    frm->Digitizeoriginskewscaleandsendplot1Click();
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Move to origin point (lower right) with joystick and click ok"});
    const std::string r = Recorded();
    EXPECT_EQ(r.find("pap"), std::string::npos) << r;
    EXPECT_EQ(r.find("Papu"), std::string::npos) << r;
}

TEST_F(BlastTest, AfterACancelTheDigitizeCommandsExchangeNothingAndSayTheAnswerWasEmpty)
{
    StartSim();
    OpenWindowWithPlot();
    dialogs.answers.push_back(true);
    frm->CancelMenuClick();
    ASSERT_TRUE(GetAbortFlags().Cancelled.load());
    ASSERT_TRUE(WaitRecorded("\x1b.wstate;ready:\r"));
    const size_t before = Recorded().size();
    dialogs.messages.clear();
    frm->Digitizeoriginandsend1Click();
    frm->Digitizeoriginskewscaleandsendplot1Click();
    const std::string oc = "unexpected data from cutter in response to oc HPGL command\r\nwas ";
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"Move to origin point (lower left) with joystick and click ok", oc,
                                                           "Move to origin point (lower right) with joystick and click ok",
                                                           oc}));
    QApplication::processEvents(QEventLoop::AllEvents, 200);
    EXPECT_EQ(Recorded().size(), before);
}

TEST_F(BlastTest, CancellingAJobPutsPauseKillAndReadyLastOnTheLine)
{
    StartSim({"--baud", "38400"});
    OpenWindowWithPlot(true);
    // A long job: many passes of pen 1.
    lib.FindPen(0, 1)->SetPasses(30);
    lib.FindPen(0, 1)->SetTimes(1);
    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {30000, 3000});
    dialogs.answers.push_back(true); // "Are you sure you wish to cancel this job?"
    bool cancelled = false;
    int64_t cancelAt = 0, pauseSeenAt = 0;
    QTimer::singleShot(1500, frm.get(), [&] {
        cancelled = true;
        cancelAt = MonoMs();
        frm->TriggerCommand(TCommandId::CancelJob);
    });
    // Watches for the pause on the line while the cancel runs.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (cancelAt && !pauseSeenAt && Recorded().find("\x1b.wstate;pause:\r") != std::string::npos)
            pauseSeenAt = MonoMs();
    });
    watch.start(20);
    frm->SendFileMenuClick();
    watch.stop();
    EXPECT_TRUE(cancelled);
    // The queued rest of the job (seconds of line time) is dropped, not
    // sent ahead of the pause.
    ASSERT_NE(pauseSeenAt, 0);
    EXPECT_LT(pauseSeenAt - cancelAt, 2000);
    EXPECT_EQ(frm->LastJobResult().Outcome, TJobOutcome::Cancelled);
    ASSERT_TRUE(WaitRecorded("\x1b.wstate;ready:\r"));
    QApplication::processEvents(QEventLoop::AllEvents, 300);
    const std::string r = Recorded();
    const size_t pause = r.rfind("\x1b.wstate;pause:\r");
    ASSERT_NE(pause, std::string::npos);
    EXPECT_EQ(r.substr(pause), "\x1b.wstate;pause:\r\x1b.k:\r\x1b.wstate;ready:\r")
        << "after the cancel nothing more of the job";
    EXPECT_LT(frm->LastJobResult().Sent, frm->LastJobResult().Total);
}

TEST_F(BlastTest, ALostLineEndsTheJobAsNotCompletedWithTheBytesSent)
{
    StartSim({"--baud", "38400"});
    OpenWindowWithPlot(true);
    lib.FindPen(0, 1)->SetPasses(30);
    frm->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {30000, 3000});
    QTimer::singleShot(1500, frm.get(), [&] { sim.Command("fault hangup"); });
    const int64_t t0 = MonoMs();
    frm->SendFileMenuClick();
    EXPECT_LT(MonoMs() - t0, 20000);
    const TJobResult &r = frm->LastJobResult();
    EXPECT_EQ(r.Outcome, TJobOutcome::NotCompleted) << r.Message;
    EXPECT_LT(r.Sent, r.Total);
    EXPECT_TRUE(std::regex_match(r.Message, std::regex(R"(job not completed: [0-9,]+ of [0-9,]+ bytes sent.*)")))
        << r.Message;
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_NE(dialogs.messages.back().find("was not completed"), std::string::npos);
}

TEST_F(BlastTest, CalibrationAsksWithThePercentagesAndSendsTheFieldsAsTyped)
{
    StartSim();
    frm = std::make_unique<TMainFrm>(store);
    TCalibrateFrm form(frm.get());
    form.XMeasured->setText("1919");
    form.YMeasured->setText("1881");
    form.XDrawn->setText("1900");
    form.YDrawn->setText("1900");
    TCalibrateFrm::ModalRunner = [](TCalibrateFrm &) { return static_cast<int>(QDialog::Accepted); };
    // The window's own form is the program's; use this one through Forms().
    TCalibrateFrm *kept = Forms().Calibrate;
    Forms().Calibrate = &form;
    dialogs.answers.push_back(false);
    frm->CalibrateMenuClick();
    ASSERT_EQ(dialogs.confirmations.size(), 1u);
    EXPECT_EQ(dialogs.confirmations[0], "1.00 % change in x and -1.00 % change in y.  Continue?");
    EXPECT_EQ(Recorded().find("calibrate"), std::string::npos) << "No sends nothing";

    dialogs.answers.push_back(true);
    form.XDrawn->setText("19.00"); // not whole: its message, and the question still comes
    form.YDrawn->setText("5");     // not above 10: no change shown for y
    frm->CalibrateMenuClick();
    ASSERT_GE(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], "The value in X Drawn field is not valid.\r\nIf you drew 19.00 units. Enter 1900");
    EXPECT_EQ(dialogs.confirmations.back(), "10000.00 % change in x and 0.00 % change in y.  Continue?")
        << "19 drawn, 1919 measured";
    ASSERT_TRUE(WaitRecorded("\x1b.r:\r"));
    EXPECT_NE(Recorded().find("\x1b.ccalibrate;19.00;1919;5;1881:\r\x1b.r:\r"), std::string::npos);
    Forms().Calibrate = kept;
    TCalibrateFrm::ModalRunner = [](TCalibrateFrm &f) { return f.exec(); };
}

TEST_F(BlastTest, TheBlastTimeEstimateMatchesTheMachinesOwnWithinTenPercent)
{
    // The simulator blasts in real time here (time scale 1); the line is
    // unpaced, so the blasting is all the time the job takes.
    StartSim({"--time-scale", "1"});
    THpglFile plot(WritePlot(dir), 1.0L, nullptr);
    TBlastJob job(TBlastJob::CollectOutlines(plot, lib.Pens(0).BorderFlags()));
    job.BuildOutputs();
    TSerial link("com1", 20000, 0, 8, 0, 38400);
    ASSERT_TRUE(link.OpenedOk());
    TJobRun run(link, job, 3840);
    TJobSettings s = TJobSettings::From(Options());
    s.PatternFile.clear();
    TMaterialPens pens = lib.Pens(0);
    for (TPens &p : pens.Pens) {
        p.SetBlowSpeed(25);
        p.SetPasses(1);
        p.SetTimes(1);
    }
    // Half way through, the time left is the estimate less the time gone.
    long double midway = -1;
    int64_t midwayAt = 0;
    const int64_t t0 = GetClock().NowMs();
    QTimer::singleShot(1500, [&] {
        midwayAt = GetClock().NowMs();
        midway = run.Progress(midwayAt).RemainingMs;
    });
    const TJobResult result = run.SendJob(pens, s, LoadKeyPlacement({20000, 3000}, {30000, 3000}));
    ASSERT_TRUE(result.Ok()) << result.Message;
    const double estimate = static_cast<double>(run.Map().TotalBlastMs());
    EXPECT_GT(estimate, 3000.0);
    // The machine's own figure for what it blasted.
    const std::string stats = Stats();
    std::smatch m;
    ASSERT_TRUE(std::regex_search(stats, m, std::regex(R"(blast_ms=(\d+))"))) << stats;
    const double machine = std::stod(m[1]);
    EXPECT_NEAR(estimate, machine, machine * 0.10);
    ASSERT_GT(midwayAt, 0) << "the window's events ran while the job was sent and waited for";
    EXPECT_NEAR(static_cast<double>(midway), estimate - static_cast<double>(midwayAt - t0), estimate * 0.15);
    // At the end the estimate has nothing left.
    EXPECT_EQ(run.Progress(GetClock().NowMs()).RemainingMs, 0.0L);
}
