#include "operation/JobQueue.h"

namespace grittor {

TJobQueueFrm::TJobQueueFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("JobQueueFrm");
    setWindowTitle("Job Queue");
}

} // namespace grittor
