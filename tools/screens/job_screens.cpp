// Pictures of blasting a plot against grittor-sim, for reviewing how it
// looks: the target picture beside the main window while the operator
// digitizes, the alignment report after a three-point digitize, the
// calibration dialog, and the job progress window half way through a job
// on a 38400-baud line.  Built on request only:
//
//   scripts/build job_screens && QT_QPA_PLATFORM=offscreen build/job_screens OUTDIR
#include "ScreenSupport.h"

#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "geometry/BlastJob.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/JobProgress.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/CalToPrint.h"
#include "service/Calibrate.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

using namespace grittor;

namespace {


void Save(const QImage &img, const QString &path)
{
    if (!img.save(path))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

void Save(QWidget *w, const QString &path)
{
    QApplication::processEvents();
    Save(w->grab().toImage(), path);
}

// The windows as they lie on the desktop, side by side.
QImage Desktop(std::initializer_list<QWidget *> windows)
{
    QApplication::processEvents();
    QRect all;
    for (QWidget *w : windows)
        all |= w->frameGeometry();
    QImage img(all.size(), QImage::Format_RGB32);
    img.fill(QColor(60, 70, 80));
    QPainter p(&img);
    for (QWidget *w : windows)
        p.drawPixmap(w->geometry().topLeft() - all.topLeft(), w->grab());
    return img;
}

void Control(TSimulatorProcess &sim, const std::string &line)
{
    sim.Command(line);
    sim.Command("stats");
    std::string reply;
    while (sim.ReadLine(reply, 3000))
        if (reply.rfind("stats ", 0) == 0)
            return;
}

// Lets the window's events run for a while, as a modal box would.
void Settle(int ms = 800)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: job_screens OUTDIR\n");
        return 2;
    }
    QTemporaryDir config; // the user's settings stay untouched
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    InstallQtSeams();
    screens::PrintingDialogs dialogs;
    SetDialogs(&dialogs);
    const QString out = QString::fromLocal8Bit(argv[1]);

    // An L-shaped outline, a square and a circle, with a border in pen 7.
    const std::string plot = config.path().toStdString() + "/stencil.plt";
    std::ofstream(plot) << "IN;SP1;PU1000,500;PD9000,500,9000,2500,3000,2500,3000,6500,1000,6500,1000,500;"
                           "SP2;PU5000,4000;PD6000,4000,6000,5000,5000,5000,5000,4000;PU7000,4800;CI1200;PU7000,4800;CI900;PU7000,4800;CI600;"
                           "SP7;PU500,0;PD9500,0,9500,7000,500,7000,500,0;PU;";

    TMaterialLibrary lib;
    lib.AddMaterial("Granite");
    for (int pen : {1, 2, 7}) {
        TPens &p = lib.FindOrAddPen(0, pen);
        p.SetBlowSpeed(25);
        p.SetRadius(200);
        p.SetPasses(2);
        p.SetTimes(1);
        p.fill = 1;
        p.border = pen == 7;
    }
    lib.SetSelected(0);
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));

    TSimulatorProcess sim;
    std::string error;
    if (!sim.Start({"--baud", "38400", "--time-scale", "0.05", "--eol", "crlf"}, error)) {
        std::fprintf(stderr, "grittor-sim: %s\n", error.c_str());
        return 1;
    }
    SetPortOverride("com1", sim.DevicePath());
    Options().Port = "com1";
    CreateForms(store);
    TMainFrm *main = Forms().MainFrm;
    main->resize(900, 640);
    main->show();
    main->OpenPlotFile(plot);
    main->OpenMenuClick();

    // Three points, the plot lying turned by 30 degrees and 2 % larger; the
    // picture is grabbed while the program asks for the second point.
    const TAlignPoints d = main->Job()->Drawing();
    auto placed = [&](const TExtendedPoint &v) {
        const long double a = 30 * 3.14159265358979323846L / 180, s = 1.02L, dx = v.x - d.Ref.x, dy = v.y - d.Ref.y;
        return "move " + std::to_string(std::lround(static_cast<double>(20000 + s * (dx * std::cos(a) - dy * std::sin(a))))) +
               " " + std::to_string(std::lround(static_cast<double>(3000 + s * (dx * std::sin(a) + dy * std::cos(a)))));
    };
    Control(sim, "move 20000 3000");
    bool grabbed = false;
    dialogs.onMessage = [&](const std::string &text) {
        if (text.find("upper right") != std::string::npos) {
            if (!grabbed && Forms().CalToPrint)
                Save(Desktop({Forms().CalToPrint, main}), out + "/digitize-target-beside-main.png");
            grabbed = true;
            Settle(); // the machine first goes to the program's guess
            Control(sim, placed(d.Skew));
        } else if (text.find("upper left") != std::string::npos) {
            Settle();
            Control(sim, placed(d.Stretch));
        }
    };
    main->Digitizeoriginskewscaleandsendplot1Click();
    dialogs.onMessage = nullptr;
    Save(main, out + "/alignment-report.png");

    TCalibrateFrm *cal = Forms().Calibrate;
    if (cal) {
        cal->XMeasured->setText("1919");
        cal->YMeasured->setText("1881");
        cal->XDrawn->setText("1900");
        cal->YDrawn->setText("1900");
        cal->show();
        Save(cal, out + "/calibrate.png");
        cal->hide();
    }

    // The job on a paced line: the progress window half way.
    QTimer poll;
    int ticks = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *progress = main->findChild<TJobProgressForm *>();
        if (progress && progress->isVisible() && ++ticks == 4) {
            Save(Desktop({main, progress}), out + "/job-progress.png");
            poll.stop();
        }
    });
    poll.start(200);
    main->DigitizedRecord = LoadKeyPlacement({20000, 3000}, {29000, 3000});
    main->SendFileMenuClick();

    DestroyForms();
    sim.Stop();
    return 0;
}
