// Pictures of the service windows against grittor-sim, for reviewing how
// they look: the engineering window with its tables filled, the chart after
// a circle test (whole and zoomed), the memory dump window and the bit-file
// viewer on a small file.  Built on request only:
//
//   scripts/build service_screens && QT_QPA_PLATFORM=offscreen build/service_screens OUTDIR
#include "ScreenSupport.h"
#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"
#include "link/SerialDevice.h"
#include "link/SimulatorProcess.h"
#include "link/TSerial.h"
#include "operation/ChartView.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "pens/LibraryStore.h"
#include "pens/MaterialLibrary.h"
#include "service/Engineering.h"
#include "service/Memory.h"
#include "service/ReadAndDisplay.h"

#include <QApplication>
#include <QChart>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <deque>

using namespace grittor;
using screens::Save;

namespace {

class PathDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override { std::printf("message: %s\n", text.c_str()); }
    bool Confirm(const std::string &) override { return true; }
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        if (files.empty())
            return std::nullopt;
        auto f = files.front();
        files.pop_front();
        return f;
    }
    std::optional<std::string> SaveFile(const std::string &c, const std::string &i, const std::string &f) override
    {
        return OpenFile(c, i, f);
    }
    std::deque<std::string> files;
};

// A small bit file: a word drawn one bit a pixel, 16 bytes to a row.
QByteArray WordBits()
{
    QImage img(128, 40, QImage::Format_Mono);
    img.setColor(0, qRgb(255, 255, 255));
    img.setColor(1, qRgb(0, 0, 0));
    img.fill(0);
    QPainter p(&img);
    QFont f;
    f.setPixelSize(26);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(Qt::black));
    p.drawText(img.rect(), Qt::AlignCenter, "Grittor");
    p.end();
    QByteArray bytes;
    for (int y = 0; y < img.height(); ++y)
        bytes.append(reinterpret_cast<const char *>(img.constScanLine(y)), 16);
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: service_screens OUTDIR\n");
        return 2;
    }
    QTemporaryDir config; // the user's settings stay untouched
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    InstallQtSeams();
    PathDialogs dialogs;
    SetDialogs(&dialogs);
    const QString out = QString::fromLocal8Bit(argv[1]);

    TMaterialLibrary lib;
    TLibraryStore store(lib, MaterialLibraryPath(Options().SettingsFolder()));
    TSimulatorProcess sim;
    TMainFrm *main = screens::StartOnSimulator(sim, store);
    if (!main)
        return 1;

    TEngineeringFrm *eng = Forms().Engineering;
    TEngineeringFrm::Timings fast;
    fast.QuietMs = 200;
    fast.TableTimeoutMs = 300;
    eng->SetTimings(fast);
    eng->show();
    eng->EngineeringDiagnosticMenuClick();
    eng->yMenuClick();
    Save(eng, out + "/engineering.png");

    eng->CircleMenuClick();
    Save(eng, out + "/engineering-after-circle.png");
    Save(main, out + "/chart-circle.png");
    TChartView *chart = main->chart;
    chart->ZoomAbout(chart->chart()->plotArea().center() - QPointF(chart->chart()->plotArea().width() / 4, 0), 0.4);
    Save(main, out + "/chart-circle-zoomed.png");

    eng->StopDiagnosticMenuClick(); // the monitor does not dump memory
    TMemoryForm *memory = Forms().Memory;
    memory->StartAddress->setText("1a2b");
    memory->NumberOfWords->setText("10");
    memory->show();
    Save(memory, out + "/memory-before.png");
    dialogs.files.push_back((config.path() + "/memdump.xls").toStdString());
    memory->SetCommandPauseMs(100);
    memory->StartButtonClick();
    Save(memory, out + "/memory-after.png");

    const QString bits = config.path() + "/word.bi";
    QFile f(bits);
    if (f.open(QIODevice::WriteOnly))
        f.write(WordBits());
    f.close();
    TReadAndDisplayForm *viewer = Forms().ReadAndDisplay;
    viewer->Bytes->setText("16");
    viewer->show();
    dialogs.files.push_back(bits.toStdString());
    viewer->ReadFileButtonClick();
    Save(viewer, out + "/bit-viewer.png");

    DestroyForms();
    sim.Stop();
    return 0;
}
