// The plot picture of the main window: a bitmap the plot is drawn into,
// shown stretched to the view (or at its own size).
#pragma once

#include <QImage>
#include <QWidget>

namespace grittor {

class PlotImageView : public QWidget {
    Q_OBJECT
public:
    explicit PlotImageView(QWidget *parent = nullptr);

    QImage &Picture() { return picture_; }
    const QImage &Picture() const { return picture_; }
    void SetPictureSize(int width, int height);
    // Stretch the picture to the view and let the view fill its parent.
    void SetStretch(bool on);
    bool Stretch() const { return stretch_; }
    QSize sizeHint() const override;

signals:
    // The view changed size and settled (for a fresh rendering).
    void Resized();

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    QImage picture_;
    bool stretch_ = false;
};

} // namespace grittor
