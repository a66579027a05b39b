// The queue of digitized plots, run one after another.
#pragma once

#include <QDialog>

namespace grittor {

class TJobQueueFrm : public QDialog {
    Q_OBJECT
public:
    explicit TJobQueueFrm(QWidget *parent = nullptr);
};

} // namespace grittor
