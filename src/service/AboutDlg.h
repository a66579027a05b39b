// The About box: program name, version and licence.
#pragma once

#include <QDialog>

namespace grittor {

extern const char *const GrittorVersionText;

class TAboutFrm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutFrm(QWidget *parent = nullptr);
};

} // namespace grittor
