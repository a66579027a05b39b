#include "operation/ChartView.h"

#include "foundation/Dialogs.h"
#include "foundation/QtSeams.h"
#include "foundation/option.h"

#include <QChart>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenu>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <QWheelEvent>

#include <cmath>
#include <limits>

namespace grittor {

namespace {
const QString kSaveCaption = QStringLiteral(u"Save Chart Picture…");
constexpr qreal kZoomStep = 0.8; // one wheel notch or one key press
} // namespace

TChartView::TChartView(QWidget *parent) : QChartView(new QChart(), parent)
{
    setObjectName("chart");
    QChart *c = chart();
    c->setTitle("Tuning Graph");
    c->legend()->setVisible(true);
    c->legend()->setAlignment(Qt::AlignBottom);
    axisX_ = new QValueAxis;
    axisY_ = new QValueAxis;
    axisX_->setTitleText("Servo Units");
    axisY_->setTitleText("Servo Units");
    // Servo units are whole numbers; fractions appear only deep in a zoom.
    axisX_->setLabelFormat("%g");
    axisY_->setLabelFormat("%g");
    c->addAxis(axisX_, Qt::AlignBottom);
    c->addAxis(axisY_, Qt::AlignLeft);
    const struct {
        const char *name;
        QColor color;
    } lines[LineCount] = {{"X motor", Qt::red},
                          {"Y Motor", Qt::blue},
                          {"Ideal 3 ms", QColor(0, 128, 0)},
                          {"Ideal 2 ms", QColor(128, 0, 128)}};
    for (int i = 0; i < LineCount; ++i) {
        auto *s = new QLineSeries;
        s->setName(lines[i].name);
        s->setColor(lines[i].color);
        c->addSeries(s);
        s->attachAxis(axisX_);
        s->attachAxis(axisY_);
        lines_[static_cast<size_t>(i)] = s;
    }
    auto *ref = new QScatterSeries;
    ref->setName("Reference");
    ref->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    ref->setColor(Qt::red);
    ref->setMarkerSize(6);
    auto *motor = new QScatterSeries;
    motor->setName("Motor");
    motor->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    motor->setColor(Qt::blue);
    motor->setMarkerSize(6);
    points_ = {ref, motor};
    for (QScatterSeries *s : points_) {
        c->addSeries(s);
        s->attachAxis(axisX_);
        s->attachAxis(axisY_);
        // Nothing fills them yet; shown only when they hold something.
        s->setVisible(false);
    }
    FitToData();
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setFocusPolicy(Qt::StrongFocus);
    setToolTip("Wheel or + and - zoom, drag a rectangle to zoom into it, double click or Home shows everything");
}

void TChartView::SetTitleLines(const QString &first, const QString &second)
{
    chart()->setTitle(first.toHtmlEscaped() + "<br>" + second.toHtmlEscaped());
}

void TChartView::ShowLinesOnly()
{
    for (QLineSeries *s : lines_)
        s->setVisible(true);
    for (QScatterSeries *s : points_)
        s->setVisible(false);
}

void TChartView::SetLine(int i, const QList<QPointF> &points)
{
    lines_[static_cast<size_t>(i)]->replace(points);
}

void TChartView::ClearLines()
{
    for (QLineSeries *s : lines_)
        s->clear();
}

void TChartView::FitToData()
{
    qreal x0 = std::numeric_limits<qreal>::max(), x1 = -x0, y0 = x0, y1 = -x0;
    auto take = [&](const QXYSeries *s) {
        if (!s->isVisible())
            return;
        for (const QPointF &p : s->points()) {
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y());
            y1 = std::max(y1, p.y());
        }
    };
    for (const QLineSeries *s : lines_)
        take(s);
    for (const QScatterSeries *s : points_)
        take(s);
    if (x0 > x1) { // nothing to show
        x0 = y0 = 0;
        x1 = y1 = 1;
    }
    auto widen = [](qreal &lo, qreal &hi) {
        const qreal span = hi - lo;
        const qreal pad = span > 0 ? span * 0.05 : std::max<qreal>(1, std::abs(lo) * 0.05);
        lo -= pad;
        hi += pad;
    };
    widen(x0, x1);
    widen(y0, y1);
    axisX_->setRange(x0, x1);
    axisY_->setRange(y0, y1);
    // Round numbers on more ticks keep the range close to the data.
    axisX_->setTickCount(9);
    axisY_->setTickCount(7);
    axisX_->applyNiceNumbers();
    axisY_->applyNiceNumbers();
    homeX0_ = axisX_->min();
    homeX1_ = axisX_->max();
    homeY0_ = axisY_->min();
    homeY1_ = axisY_->max();
}

void TChartView::ZoomAbout(const QPointF &chartPos, qreal factor)
{
    QChart *c = chart();
    const QRectF area = c->plotArea();
    const QPointF at = area.contains(chartPos) ? chartPos : area.center();
    const QPointF v = c->mapToValue(at);
    const qreal nx0 = v.x() - (v.x() - axisX_->min()) * factor;
    const qreal nx1 = v.x() + (axisX_->max() - v.x()) * factor;
    const qreal ny0 = v.y() - (v.y() - axisY_->min()) * factor;
    const qreal ny1 = v.y() + (axisY_->max() - v.y()) * factor;
    // Far enough in: the numbers on the axes would stop telling values apart.
    if (nx1 - nx0 < 1e-6 || ny1 - ny0 < 1e-6)
        return;
    axisX_->setRange(nx0, nx1);
    axisY_->setRange(ny0, ny1);
}

void TChartView::ResetZoom()
{
    axisX_->setRange(homeX0_, homeX1_);
    axisY_->setRange(homeY0_, homeY1_);
}

bool TChartView::Zoomed() const
{
    return axisX_->min() != homeX0_ || axisX_->max() != homeX1_ || axisY_->min() != homeY0_ || axisY_->max() != homeY1_;
}

bool TChartView::SavePicture(const QString &path, QString &error)
{
    // A chart that is not on screen is drawn at a readable size.
    if (!isVisible() && (width() < 400 || height() < 300))
        resize(800, 600);
    const QPixmap picture = grab(); // also settles a pending resize of a hidden view
    if (QFileInfo(path).suffix().compare("svg", Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size());
        svg.setViewBox(QRect(QPoint(0, 0), size()));
        svg.setTitle(chart()->title());
        QPainter painter;
        if (!painter.begin(&svg)) {
            error = "Unable to write " + path;
            return false;
        }
        render(&painter, QRectF(QPointF(0, 0), QSizeF(size())), viewport()->rect());
        painter.end();
        if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0) {
            error = "Unable to write " + path;
            return false;
        }
        return true;
    }
    if (!picture.save(path, "PNG")) {
        error = "Unable to write " + path;
        return false;
    }
    return true;
}

void TChartView::SaveChartPictureClick()
{
    const auto chosen = GetDialogs().SaveFile(FromQ(kSaveCaption), Options().Directory + "chart.png",
                                              "PNG picture (*.png);;SVG drawing (*.svg)");
    if (!chosen)
        return;
    QString path = ToQ(*chosen);
    if (QFileInfo(path).suffix().isEmpty())
        path += ".png";
    QString error;
    if (!SavePicture(path, error))
        ShowMessage(FromQ(error));
}

void TChartView::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
    ZoomAbout(at, std::pow(kZoomStep, delta / 120.0));
    event->accept();
}

void TChartView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        ResetZoom();
        event->accept();
        return;
    }
    QChartView::mouseDoubleClickEvent(event);
}

void TChartView::mouseReleaseEvent(QMouseEvent *event)
{
    // The right button opens the context menu here instead of zooming out.
    if (event->button() == Qt::RightButton) {
        QGraphicsView::mouseReleaseEvent(event);
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void TChartView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Save)) {
        SaveChartPictureClick();
        return;
    }
    const QRectF area = chart()->plotArea();
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomAbout(area.center(), kZoomStep);
        return;
    case Qt::Key_Minus:
        ZoomAbout(area.center(), 1 / kZoomStep);
        return;
    case Qt::Key_Left:
        chart()->scroll(-area.width() / 10, 0);
        return;
    case Qt::Key_Right:
        chart()->scroll(area.width() / 10, 0);
        return;
    case Qt::Key_Up:
        chart()->scroll(0, area.height() / 10);
        return;
    case Qt::Key_Down:
        chart()->scroll(0, -area.height() / 10);
        return;
    case Qt::Key_Home:
    case Qt::Key_0:
        ResetZoom();
        return;
    default:
        QChartView::keyPressEvent(event);
    }
}

void TChartView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *save = menu.addAction(kSaveCaption);
    save->setShortcut(QKeySequence::Save);
    QAction *reset = menu.addAction("Show &Everything");
    reset->setShortcut(Qt::Key_Home);
    reset->setEnabled(Zoomed());
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen == save)
        SaveChartPictureClick();
    else if (chosen == reset)
        ResetZoom();
}

} // namespace grittor
