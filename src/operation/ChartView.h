// The main window's chart of motor data: four line series ("X motor",
// "Y Motor", "Ideal 3 ms", "Ideal 2 ms") and two point series ("Reference",
// "Motor"), both axes in servo units, a legend.  It zooms like any
// measurement plot: the mouse wheel about the pointer, a rubber band drawn
// with the left button, the keys + and - and the arrows; a double click,
// Home or 0 go back to the whole data.  Its picture can be saved as PNG or
// SVG ("Save Chart Picture…", also in its context menu and on Ctrl+S).
#pragma once

#include <QChartView>
#include <QList>
#include <QPointF>

#include <array>

class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace grittor {

class TChartView : public QChartView {
    Q_OBJECT
public:
    static constexpr int LineCount = 4;
    static constexpr int PointCount = 2;

    explicit TChartView(QWidget *parent = nullptr);

    QLineSeries *Line(int i) const { return lines_[static_cast<size_t>(i)]; }
    QScatterSeries *Points(int i) const { return points_[static_cast<size_t>(i)]; }
    QValueAxis *AxisX() const { return axisX_; }
    QValueAxis *AxisY() const { return axisY_; }

    // A title of two lines (the title is drawn as rich text: "\n" would not
    // break it).
    void SetTitleLines(const QString &first, const QString &second);

    // The line series shown, the point series hidden (motion tests).
    void ShowLinesOnly();
    // Replaces the points of line series i in one step.
    void SetLine(int i, const QList<QPointF> &points);
    void ClearLines();
    // Axis ranges that hold every point of the visible series, with a
    // margin and round numbers; they become the range that Reset goes back to.
    void FitToData();

    // Zooms by `factor` (< 1 in, > 1 out) keeping the point under `scenePos`
    // of the chart where it is.
    void ZoomAbout(const QPointF &chartPos, qreal factor);
    void ResetZoom();
    bool Zoomed() const;

    // Writes the chart's picture: SVG for a name ending ".svg", PNG otherwise.
    // False (with the reason) when the file could not be written.
    bool SavePicture(const QString &path, QString &error);
    // Asks for a file ("chart.png" in the program's folder) and saves.
    void SaveChartPictureClick();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    std::array<QLineSeries *, LineCount> lines_{};
    std::array<QScatterSeries *, PointCount> points_{};
    QValueAxis *axisX_ = nullptr;
    QValueAxis *axisY_ = nullptr;
    qreal homeX0_ = 0, homeX1_ = 1, homeY0_ = 0, homeY1_ = 1;
};

} // namespace grittor
