// Pictures of the load-key sequence and the job queue against grittor-sim,
// for reviewing how they look: the blinking arrow on the plot with the
// message window beside it, and the job queue with three jobs.  Built on
// request only:
//
//   scripts/build queue_screens && QT_QPA_PLATFORM=offscreen build/queue_screens OUTDIR
#include "ScreenSupport.h"

#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "geometry/Placement.h"
#include "operation/JobQueue.h"
#include "operation/QueueList.h"
#include "operation/message.h"
#include "pens/MaterialLibrary.h"

#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <fstream>

using namespace grittor;
using namespace grittor::screens;

int main(int argc, char **argv)
{
    // The program's settings stay as they are: these windows use their own.
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", work.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString(argv[1]) : QString(".");
    InstallQtSeams();
    screens::PrintingDialogs dialogs;
    SetDialogs(&dialogs);
    TMaterialLibrary library;
    for (const char *name : {"Granite", "Glass"}) {
        const int m = library.AddMaterial(name);
        library.FindOrAddPen(m, 7).border = true;
    }
    library.SetSelected(0);
    TLibraryStore store(library, work.path().toStdString() + "/materials");
    TSimulatorProcess sim;
    TMainFrm *main = StartOnSimulator(sim, store);
    if (!main)
        return 1;
    main->Timer->stop();
    // The job queue keeps its file in the temporary folder.
    QueueList().SetStorePath(work.path().toStdString() + "/JobQueue.json");

    const std::string names[] = {"headstone-front.plt", "headstone-back.plt", "plaque.plt"};
    for (const std::string &name : names)
        std::ofstream(work.path().toStdString() + "/" + name)
            << "IN;SP1;PU1000,500;PD9000,500,9000,2500,3000,2500,3000,6500,1000,6500,1000,500;"
               "SP2;PU5000,4000;PD6000,4000,6000,5000,5000,5000,5000,4000;"
               "SP7;PU500,0;PD9500,0,9500,7000,500,7000,500,0;PU;";

    // The sequence: the arrow at the reference point, in the pen's colour.
    main->OpenPlotFile(work.path().toStdString() + "/" + names[0]);
    main->DigitizeLocationClick();
    main->PollLoadKey();
    TMessageForm *message = Forms().Message;
    message->move(main->x() + main->width() - message->width() - 20, main->y() + 80);
    Save(main, out + "/load-key-arrow.png");
    Save(message, out + "/load-key-message.png");
    main->CancelLoadKeyClick();

    // Three jobs, each placed at its own spot, the second in another material.
    for (int i = 0; i < 3; ++i) {
        library.SetSelected(i == 1 ? 1 : 0);
        main->OpenPlotFile(work.path().toStdString() + "/" + names[i]);
        main->DigitizedRecord = LoadKeyPlacement({20000.0L + 20000 * i, 3000}, {28000.0L + 20000 * i, 3000});
        main->DigitizedFlag = true;
        main->QueueOpenedImageAsJobMenuClick();
    }
    TJobQueueFrm *queue = Forms().JobQueue;
    main->DisplayJobQueueMenuClick();
    queue->JobList->setCurrentRow(1);
    Save(queue, out + "/job-queue.png");
    DestroyForms();
    sim.Stop();
    SetDialogs(nullptr);
    return 0;
}
