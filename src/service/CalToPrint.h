// The picture of the printed target, shown beside the main window while the
// operator digitizes: which corner of the printed square is which point.
#pragma once

#include <QDialog>

class QLabel;

namespace grittor {

class TCalToPrintForm : public QDialog {
    Q_OBJECT
public:
    explicit TCalToPrintForm(QWidget *parent = nullptr);

    // Loads the picture from `path` ("caltarget.jpg" of the data files);
    // a picture that cannot be decoded leaves a clear line instead.
    void LoadPicture(const std::string &path);
    bool HasPicture() const { return hasPicture_; }

    QLabel *Image = nullptr;

protected:
    void showEvent(QShowEvent *e) override;

private:
    bool hasPicture_ = false;
    bool loaded_ = false;
};

} // namespace grittor
