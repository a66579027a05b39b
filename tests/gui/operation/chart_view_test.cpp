// The motor chart: it fits its data, zooms about the pointer by wheel, keys
// and rubber band, goes back with a double click, and saves PNG and SVG.
#include "operation/ChartView.h"

#include "TestDoubles.h"

#include <QApplication>
#include <QChart>
#include <QFile>
#include <QImage>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QValueAxis>
#include <QWheelEvent>
#include <gtest/gtest.h>

using namespace grittor;

namespace {

class ChartViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view.resize(640, 480);
        view.show();
        QApplication::setActiveWindow(&view);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
        view.SetLine(0, {{10, 20}, {30, -40}, {100, 5}});
        view.SetLine(1, {{-50, 0}});
        view.FitToData();
        QApplication::processEvents();
    }
    QPointF ValueAt(const QPointF &chartPos) { return view.chart()->mapToValue(chartPos); }
    QTemporaryDir dir;
    TChartView view;
};

} // namespace

TEST_F(ChartViewTest, FitHoldsEveryVisiblePointAndTheLegendNamesTheLines)
{
    EXPECT_LE(view.AxisX()->min(), -50);
    EXPECT_GE(view.AxisX()->max(), 100);
    EXPECT_LE(view.AxisY()->min(), -40);
    EXPECT_GE(view.AxisY()->max(), 20);
    EXPECT_FALSE(view.Zoomed());
    EXPECT_EQ(view.AxisX()->titleText(), "Servo Units");
    // Two title lines; text from the machine is never taken for markup.
    view.SetTitleLines("x (0, 30)", "Ignoring <b>x&y");
    EXPECT_EQ(view.chart()->title(), "x (0, 30)<br>Ignoring &lt;b&gt;x&amp;y");
    EXPECT_TRUE(view.chart()->legend()->isVisible());
    QStringList shown;
    for (QLegendMarker *m : view.chart()->legend()->markers())
        if (m->isVisible())
            shown << m->label();
    EXPECT_EQ(shown, (QStringList{"X motor", "Y Motor", "Ideal 3 ms", "Ideal 2 ms"}));
    // A hidden series does not stretch the axes.
    view.Points(0)->append(1e6, 1e6);
    view.FitToData();
    EXPECT_LT(view.AxisX()->max(), 1000);
}

TEST_F(ChartViewTest, TheWheelZoomsAboutThePointerAndADoubleClickGoesBack)
{
    const QRectF area = view.chart()->plotArea();
    const QPoint widgetPos = view.mapFromScene(
        view.chart()->mapToScene(QPointF(area.left() + area.width() * 0.25, area.top() + area.height() * 0.75)));
    const QPointF at = view.chart()->mapFromScene(view.mapToScene(widgetPos)); // on whole pixels
    const QPointF before = ValueAt(at);
    const qreal width = view.AxisX()->max() - view.AxisX()->min();
    QWheelEvent wheel(widgetPos, view.mapToGlobal(widgetPos), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &wheel);
    EXPECT_TRUE(view.Zoomed());
    EXPECT_NEAR(view.AxisX()->max() - view.AxisX()->min(), width * 0.8, width * 1e-9);
    // The value under the pointer stays put (measured in the plot area,
    // which may shift as the axis labels change width).
    QApplication::processEvents();
    const QRectF after = view.chart()->plotArea();
    const QPointF same(after.left() + (at.x() - area.left()) / area.width() * after.width(),
                       after.top() + (at.y() - area.top()) / area.height() * after.height());
    EXPECT_NEAR(ValueAt(same).x(), before.x(), width * 1e-6);
    EXPECT_NEAR(ValueAt(same).y(), before.y(), 1e-6 * (view.AxisY()->max() - view.AxisY()->min()));

    QTest::mouseDClick(view.viewport(), Qt::LeftButton, Qt::NoModifier, widgetPos);
    EXPECT_FALSE(view.Zoomed());
}

TEST_F(ChartViewTest, KeysZoomPanAndReset)
{
    view.setFocus();
    const qreal x0 = view.AxisX()->min(), x1 = view.AxisX()->max();
    QTest::keyClick(&view, Qt::Key_Plus);
    EXPECT_LT(view.AxisX()->max() - view.AxisX()->min(), x1 - x0);
    const qreal zoomedMin = view.AxisX()->min();
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_GT(view.AxisX()->min(), zoomedMin);
    QTest::keyClick(&view, Qt::Key_Minus);
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_FALSE(view.Zoomed());
}

TEST_F(ChartViewTest, ARubberBandZoomsIntoTheRectangleDrawn)
{
    const QRectF area = view.chart()->plotArea();
    const qreal width = view.AxisX()->max() - view.AxisX()->min();
    const QPointF a = area.center() - QPointF(60, 40), b = area.center() + QPointF(60, 40);
    const QPointF lowLeft = ValueAt(QPointF(a.x(), b.y()));
    const QPoint from = view.mapFromScene(view.chart()->mapToScene(a));
    const QPoint to = view.mapFromScene(view.chart()->mapToScene(b));
    QTest::mousePress(view.viewport(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(view.viewport(), to);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_TRUE(view.Zoomed());
    EXPECT_NEAR(view.AxisX()->max() - view.AxisX()->min(), width * 120 / area.width(), width * 0.02);
    EXPECT_NEAR(view.AxisX()->min(), lowLeft.x(), width * 0.02);
    // A right click opens the menu instead of zooming out.
    const qreal zoomedWidth = view.AxisX()->max() - view.AxisX()->min();
    QTest::mouseRelease(view.viewport(), Qt::RightButton, Qt::NoModifier, to);
    EXPECT_DOUBLE_EQ(view.AxisX()->max() - view.AxisX()->min(), zoomedWidth);
}

TEST_F(ChartViewTest, ThePictureIsSavedAsPngOrSvgAndAFailureIsSaid)
{
    QString error;
    const QString png = dir.path() + "/chart.png";
    ASSERT_TRUE(view.SavePicture(png, error)) << error.toStdString();
    const QImage img(png);
    EXPECT_EQ(img.size(), view.size() * view.devicePixelRatio());

    const QString svg = dir.path() + "/chart.svg";
    ASSERT_TRUE(view.SavePicture(svg, error)) << error.toStdString();
    QFile f(svg);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("<svg"));
    EXPECT_TRUE(text.contains("X motor")); // drawn as text, not as a bitmap

    EXPECT_FALSE(view.SavePicture(dir.path() + "/no folder/chart.png", error));
    EXPECT_EQ(error, "Unable to write " + dir.path() + "/no folder/chart.png");

    test::ScriptedDialogs dialogs;
    dialogs.files.push_back((dir.path() + "/picked").toStdString());
    view.SaveChartPictureClick();
    EXPECT_TRUE(QImage(dir.path() + "/picked.png").width() > 0); // no suffix: PNG
    EXPECT_TRUE(dialogs.messages.empty());
}
