// Loads a file of raw bytes and shows its bits: one pixel per bit, black for
// 1, the given number of bytes to a row, most significant bit on the left.
#pragma once

#include <QDialog>
#include <QImage>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace grittor {

class TReadAndDisplayForm : public QDialog {
    Q_OBJECT
public:
    explicit TReadAndDisplayForm(QWidget *parent = nullptr);

    // Widest and tallest picture shown (the painter's limit is 32767).
    static constexpr int MaxBytesPerRow = 4095;
    static constexpr int MaxRows = 32767;

    QLineEdit *Bytes = nullptr; // bytes per row
    QPushButton *ReadFileButton = nullptr;
    QScrollArea *ScrollBox = nullptr;
    QLabel *Image = nullptr;
    QLabel *Info = nullptr; // what was read

    void ReadFileButtonClick();
    // Reads `path` and shows it with the bytes per row typed; false (and the
    // reason shown) when it cannot.
    bool LoadFile(const std::string &path);
    const QImage &Picture() const { return picture_; }

    // bytesPerRow x 8 pixels wide, length / bytesPerRow rows (at most
    // `maxRows`); a trailing part row is left out.
    static QImage BitPicture(const QByteArray &bytes, int bytesPerRow, int maxRows = MaxRows);

private:
    QImage picture_;
};

} // namespace grittor
