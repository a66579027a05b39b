#include "operation/JobQueue.h"

#include "foundation/AbortFlags.h"
#include "foundation/Dialogs.h"
#include "foundation/ExceptionReporting.h"
#include "foundation/LogOutput.h"
#include "foundation/QtSeams.h"
#include "foundation/utils.h"
#include "link/JobWait.h"
#include "link/TSerial.h"
#include "operation/Forms.h"
#include "operation/MainForm.h"
#include "operation/QueueList.h"
#include "operation/QueueStore.h"
#include "pens/MaterialLibrary.h"
#include "service/joystick.h"

#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace grittor {

namespace {

// A queued job in the main window's job context for the length of its
// send; the main window gets its own back on every way out.
class JobInContext {
public:
    JobInContext(TMainFrm &main, TQueueImage &job, int material) : main_(main), job_(job)
    {
        ctx_.Plot = std::move(job.Plot);
        ctx_.Outlines = std::move(job.Outlines);
        ctx_.FileName = job.FileName;
        ctx_.DigitizedRecord = job.DigitizedRecord;
        ctx_.BorderGroupIndex = job.BorderGroupIndex;
        ctx_.DigitizedFlag = true;
        ctx_.Material = material;
        main_.SwapJobContext(ctx_);
    }
    ~JobInContext()
    {
        main_.SwapJobContext(ctx_);
        job_.Plot = std::move(ctx_.Plot);
        job_.Outlines = std::move(ctx_.Outlines);
    }
    JobInContext(const JobInContext &) = delete;
    JobInContext &operator=(const JobInContext &) = delete;

private:
    TMainFrm &main_;
    TQueueImage &job_;
    TJobContext ctx_;
};

// A length typed by the operator, in plotter units; false when the text is
// not a number.
bool Units(const QLineEdit *field, long double perUnit, long double &out)
{
    long double v = 0;
    if (!ParseExtended(Trim(FromQ(field->text())), v))
        return false;
    out = static_cast<long double>(RoundHalfAway(v * perUnit));
    return true;
}

QString Fixed(long double v, int decimals) { return ToQ(FormatExtendedFixed(v, decimals)); }

} // namespace

TJobQueueFrm::TJobQueueFrm(TMainFrm &main, TQueueList &list, TMaterialLibrary &materials, QWidget *parent)
    : QDialog(parent), main_(main), list_(list), materials_(materials)
{
    setObjectName("JobQueueFrm");
    setWindowTitle("Job Queue");
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setModal(false);

    auto *root = new QHBoxLayout(this);
    auto *left = new QVBoxLayout;
    auto *jobsLabel = new QLabel("&Jobs", this);
    JobList = new QListWidget(this);
    JobList->setObjectName("List");
    JobList->setMinimumWidth(320);
    jobsLabel->setBuddy(JobList);
    left->addWidget(jobsLabel);
    left->addWidget(JobList, 1);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName("StatusLabel");
    StatusLabel->setWordWrap(true);
    left->addWidget(StatusLabel);
    root->addLayout(left, 1);

    auto *right = new QVBoxLayout;
    auto *form = new QFormLayout;
    auto field = [this, form](const char *name, const char *caption, bool readOnly = false) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        if (readOnly) {
            // Looks like what it is: shown, not typed into.
            e->setFocusPolicy(Qt::ClickFocus);
            QPalette p = e->palette();
            p.setColor(QPalette::Base, p.color(QPalette::Window));
            e->setPalette(p);
        }
        auto *label = new QLabel(caption, this);
        if (!readOnly)
            label->setBuddy(e);
        form->addRow(label, e);
        return e;
    };
    ImageSize = field("ImageSize", "Image size (inches)", true);
    PositionXInch = field("PositionXInch", "&X inch");
    PositionYInch = field("PositionYInch", "&Y inch");
    PositionXMM = field("PositionXMM", "X mi&llimetres");
    PositionYMM = field("PositionYMM", "Y milli&metres");
    Material = new QComboBox(this);
    Material->setObjectName("Material");
    auto *materialLabel = new QLabel("Ma&terial", this);
    materialLabel->setBuddy(Material);
    form->addRow(materialLabel, Material);
    right->addLayout(form);

    auto button = [this](const char *name, const char *caption) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    SaveButton = button("SaveButton", "&Save Change");
    SaveButton->setDefault(true);
    DeleteButton = button("DeleteButton", "&Delete");
    ClearButton = button("ClearButton", "Clear &All Jobs");
    OutlineButton = button("OutlineButton", "&Outline Jobs");
    RunButton = button("RunButton", "&Run Jobs");
    RunFromSelectedButton = button("RunFromSelectedButton", "Run &from Selected");
    CancelButton = button("CancelButton", "&Cancel Run");
    CloseButton = button("CloseButton", "Clos&e");
    auto *grid = new QGridLayout;
    grid->addWidget(SaveButton, 0, 0);
    grid->addWidget(DeleteButton, 0, 1);
    grid->addWidget(ClearButton, 1, 0);
    grid->addWidget(OutlineButton, 1, 1);
    grid->addWidget(RunButton, 2, 0);
    grid->addWidget(RunFromSelectedButton, 2, 1);
    grid->addWidget(CancelButton, 3, 0);
    grid->addWidget(CloseButton, 3, 1);
    right->addStretch(1);
    right->addLayout(grid);
    root->addLayout(right);

    setTabOrder(JobList, PositionXInch);
    setTabOrder(PositionXInch, PositionYInch);
    setTabOrder(PositionYInch, PositionXMM);
    setTabOrder(PositionXMM, PositionYMM);
    setTabOrder(PositionYMM, Material);
    setTabOrder(Material, SaveButton);
    setTabOrder(SaveButton, DeleteButton);
    setTabOrder(DeleteButton, ClearButton);
    setTabOrder(ClearButton, OutlineButton);
    setTabOrder(OutlineButton, RunButton);
    setTabOrder(RunButton, RunFromSelectedButton);
    setTabOrder(RunFromSelectedButton, CancelButton);
    setTabOrder(CancelButton, CloseButton);

    connect(PositionXInch, &QLineEdit::textEdited, this, [this] { inchEdited_ = true; });
    connect(PositionYInch, &QLineEdit::textEdited, this, [this] { inchEdited_ = true; });
    connect(PositionXMM, &QLineEdit::textEdited, this, [this] { mmEdited_ = true; });
    connect(PositionYMM, &QLineEdit::textEdited, this, [this] { mmEdited_ = true; });
    // A click or the arrow keys: the operator's choice of a line.
    connect(JobList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != Selected)
            ListClick();
    });
    auto guarded = [this](const char *routine, void (TJobQueueFrm::*handler)()) {
        return [this, routine, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception &e) {
                Report(routine, "Exception in the job queue", &e, 0);
            }
        };
    };
    connect(SaveButton, &QPushButton::clicked, this, guarded("SaveButtonClick", &TJobQueueFrm::SaveButtonClick));
    connect(DeleteButton, &QPushButton::clicked, this, guarded("DeleteButtonClick", &TJobQueueFrm::DeleteButtonClick));
    connect(ClearButton, &QPushButton::clicked, this, guarded("ClearButtonClick", &TJobQueueFrm::ClearButtonClick));
    connect(OutlineButton, &QPushButton::clicked, this, guarded("OutlineButtonClick", &TJobQueueFrm::OutlineButtonClick));
    connect(RunButton, &QPushButton::clicked, this, guarded("RunButtonClick", &TJobQueueFrm::RunButtonClick));
    connect(RunFromSelectedButton, &QPushButton::clicked, this,
            guarded("RunFromSelectedClick", &TJobQueueFrm::RunFromSelectedClick));
    connect(CancelButton, &QPushButton::clicked, this, guarded("CancelButtonClick", &TJobQueueFrm::CancelButtonClick));
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::hide);

    list_.OnSaveFailed = [this](const std::string &error) {
        // Once for a row of failures: every change would repeat it.
        if (saveFailureShown_)
            return;
        saveFailureShown_ = true;
        ShowMessage("The job queue could not be saved: " + error +
                    "\r\nThe queue is kept in memory; it will be lost if the program ends.");
    };
    resize(640, 340);
    UpdateButtons();
}

TJobQueueFrm::~TJobQueueFrm()
{
    list_.OnSaveFailed = nullptr;
}

void TJobQueueFrm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    UpdateList();
}

void TJobQueueFrm::changeEvent(QEvent *e)
{
    QDialog::changeEvent(e);
    // Coming back to the window refreshes the list when the queue changed
    // meanwhile; otherwise the selection and the fields being edited stay.
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && !running_ && listedAt_ != list_.SaveCount())
        UpdateList();
}

std::string TJobQueueFrm::LineText(int index) const
{
    const TQueueImage *job = list_.Get(index);
    if (!job)
        return {};
    const int current = CurrentMaterial(*job, materials_);
    const std::string material =
        materials_.IsMaterialIndex(current) ? materials_.MaterialName(current) : job->MaterialName;
    std::string text = job->FileName + " : " + material;
    if (job->Missing)
        text += "  (missing: the plot file is gone or changed)";
    else if (job->Done)
        text += "  (done)";
    return text;
}

void TJobQueueFrm::UpdateList()
{
    LogEntry("Q.Update List");
    {
        const QSignalBlocker blockMaterial(Material);
        Material->clear();
        for (const std::string &name : materials_.MaterialNames())
            Material->addItem(ToQ(name));
    }
    {
        const QSignalBlocker blockList(JobList);
        JobList->clear();
        for (int i = 0; i < list_.Count(); ++i) {
            auto *item = new QListWidgetItem(ToQ(LineText(i)), JobList);
            item->setData(Qt::UserRole, i);
        }
        JobList->setCurrentRow(-1);
    }
    Selected = -1;
    listedAt_ = list_.SaveCount();
    if (list_.SaveError().empty())
        saveFailureShown_ = false;
    UpdateButtons();
}

void TJobQueueFrm::SelectLine(int row)
{
    const QSignalBlocker block(JobList);
    JobList->setCurrentRow(row);
}

void TJobQueueFrm::UpdateButtons()
{
    const bool idle = !running_;
    for (QPushButton *b : {SaveButton, DeleteButton, ClearButton, OutlineButton, RunButton, RunFromSelectedButton})
        b->setEnabled(idle);
    CancelButton->setEnabled(running_);
    StatusLabel->setText(running_ ? "Running: Cancel Run stops before the next job"
                                  : QString("%1 job(s) in the queue").arg(list_.Count()));
}

void TJobQueueFrm::UpdateFromFields()
{
    LogEntry("Q.Update From Fields");
    TQueueImage *job = list_.Get(Selected);
    if (!job)
        return;
    TExtendedPoint &origin = job->DigitizedRecord.Record.Origin;
    long double v = 0;
    // The inch fields win when both kinds were edited; a field that is not
    // a number leaves its coordinate as it was.
    if (inchEdited_) {
        if (Units(PositionXInch, 1016.0L, v))
            origin.x = v;
        if (Units(PositionYInch, 1016.0L, v))
            origin.y = v;
    } else if (mmEdited_) {
        if (Units(PositionXMM, 40.0L, v))
            origin.x = v;
        if (Units(PositionYMM, 40.0L, v))
            origin.y = v;
    }
    const int material = Material->currentIndex();
    if (materials_.IsMaterialIndex(material)) {
        job->Material = material;
        job->MaterialName = materials_.MaterialName(material);
    }
    list_.Changed();
}

void TJobQueueFrm::ListClick()
{
    LogEntry("Q.List Click");
    const int row = JobList->currentRow();
    if (row < 0)
        return;
    UpdateFromFields();
    UpdateList();
    SelectLine(row);
    Selected = row;
    const TQueueImage *job = list_.Get(row);
    if (!job)
        return;
    const TExtendedPoint &origin = job->DigitizedRecord.Record.Origin;
    PositionXInch->setText(Fixed(origin.x / 1016.0L, 3));
    PositionXMM->setText(Fixed(origin.x / 40.0L, 3));
    PositionYInch->setText(Fixed(origin.y / 1016.0L, 3));
    PositionYMM->setText(Fixed(origin.y / 40.0L, 3));
    inchEdited_ = mmEdited_ = false;
    ImageSize->setText("(" + Fixed(job->Width, 2) + ", " + Fixed(job->Height, 2) + ")");
    const QSignalBlocker block(Material);
    const int material = CurrentMaterial(*job, materials_);
    Material->setCurrentIndex(materials_.IsMaterialIndex(material) ? material : -1);
}

void TJobQueueFrm::SaveButtonClick()
{
    UpdateFromFields();
    const int row = JobList->currentRow();
    UpdateList();
    SelectLine(row);
    ListClick();
}

void TJobQueueFrm::DeleteButtonClick()
{
    LogEntry("Q.Delete Button Click");
    const int row = JobList->currentRow();
    if (row < 0 || !list_.Get(row)) {
        ShowMessage("Select Job to delete");
        return;
    }
    list_.Remove(row);
    UpdateList();
}

void TJobQueueFrm::ClearButtonClick()
{
    LogEntry("Q.Clear Button Click");
    list_.Clear();
    UpdateList();
}

void TJobQueueFrm::RunButtonClick()
{
    Gated(TCommandId::QueueRun, [this] { RunJobs(0, false); });
}

void TJobQueueFrm::Gated(TCommandId id, const std::function<void()> &work)
{
    // Another command of the main window is talking to the machine.
    if (!main_.Gate().Run(id, work))
        StatusLabel->setText("Busy: let the current work finish, or press Cancel");
}

void TJobQueueFrm::RunFromSelectedClick()
{
    const int row = JobList->currentRow();
    if (row < 0 || !list_.Get(row)) {
        ShowMessage("Select the job to run from");
        return;
    }
    Gated(TCommandId::QueueRun, [this, row] { RunJobs(row, false); });
}

void TJobQueueFrm::OutlineButtonClick()
{
    Gated(TCommandId::QueueOutline, [this] { RunJobs(0, true); });
}

void TJobQueueFrm::CancelButtonClick()
{
    main_.TriggerCommand(TCommandId::CancelJob);
}

void TJobQueueFrm::RunJobs(int first, bool outline)
{
    LogEntry(outline ? "Q.Outline Button Click" : "Q.Run Button Click");
    UpdateFromFields();
    UpdateList();
    struct Running {
        TJobQueueFrm &form;
        explicit Running(TJobQueueFrm &f) : form(f)
        {
            form.running_ = true;
            form.UpdateButtons();
        }
        ~Running()
        {
            form.running_ = false;
            form.UpdateButtons();
        }
    } running(*this);
    if (Forms().Joystick)
        Forms().Joystick->hide();
    AbortFlags &flags = GetAbortFlags();
    flags.Cancelled = false;
    if (!outline)
        main_.ContinueMenuClick();
    if (list_.Count() == 0)
        ShowMessage("No jobs in queue");
    std::vector<std::string> skipped;
    for (int i = std::max(first, 0); i < list_.Count(); ++i) {
        if (flags.Any())
            break;
        TQueueImage *job = list_.Get(i);
        SelectLine(i);
        ListClick();
        if (!job->CanRun()) {
            LogEntry("Q.Job not run, its plot file is missing or changed: " + job->FileName);
            skipped.push_back(job->FileName);
            continue;
        }
        TJobResult result;
        {
            JobInContext context(main_, *job, CurrentMaterial(*job, materials_));
            main_.ForgetLastJobResult();
            if (outline) {
                main_.SendBorderClick();
            } else {
                main_.SendFileMenuClick();
                Wait();
            }
            result = main_.LastJobResult();
        }
        if (!outline && result.Ok() && !flags.Any()) {
            list_.MarkDone(i);
            if (QListWidgetItem *item = JobList->item(i))
                item->setText(ToQ(LineText(i)));
        }
        // Without the line the next jobs cannot go either.
        if (result.Outcome == TJobOutcome::NoPort || result.Outcome == TJobOutcome::NotCompleted)
            break;
    }
    if (!outline) {
        LogEntry("nr;");
        if (TSerial *link = main_.Serial())
            link->send_string("nr;");
    }
    if (!skipped.empty()) {
        std::string names;
        for (const std::string &s : skipped)
            names += "\r\n" + s;
        ShowMessage("These jobs were not run: their plot files are missing or changed since they were queued." + names);
    }
}

void TJobQueueFrm::WritePosition(int32_t x, int32_t y)
{
    if (TSerial *link = main_.Serial())
        grittor::WritePosition(*link, x, y, WindowWaitEvents());
}

void TJobQueueFrm::Wait()
{
    if (TSerial *link = main_.Serial())
        WaitForIdle(*link, WindowWaitEvents());
}

void TJobQueueFrm::OfferRestore()
{
    const TQueueFileRead read = ReadQueueFile(list_.StorePath());
    if (read.State == TQueueFileState::Corrupt) {
        LogEntry("Job queue file unreadable: " + read.Problem);
        ShowMessage("The saved job queue could not be read (" + read.Problem + ")." +
                    (read.KeptAs.empty() ? std::string() : "\r\nIt was kept as " + read.KeptAs + "."));
        return;
    }
    if (read.State != TQueueFileState::Read)
        return;
    const int pending = read.File.PendingCount();
    if (pending == 0 || list_.Count() > 0)
        return;
    if (!GetDialogs().Confirm(RestoreQuestion(pending, read.File.Saved)))
        return;
    int missing = 0;
    for (const TQueueFileJob &saved : read.File.Jobs) {
        if (saved.Done)
            continue;
        TQueueImage &job = list_.Add(RestoreJob(saved, materials_));
        missing += job.Missing ? 1 : 0;
    }
    UpdateList();
    show();
    if (missing > 0)
        ShowMessage(std::to_string(missing) + " of the restored jobs cannot run: their plot files are missing or "
                                              "changed since they were queued.");
}

} // namespace grittor
