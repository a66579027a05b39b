// The canvas on Qt and the grittor-cli plot commands.
#include "HpglTestUtil.h"

#include "foundation/Progress.h"
#include "foundation/option.h"
#include "hpgl/CanvasSink.h"
#include "hpgl/IndexedCanvas.h"
#include "hpgl/PngWriter.h"
#include "hpgl/QPainterCanvas.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPalette>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <climits>
#include <cstring>
#include <chrono>
#include <fstream>
#include <thread>

using namespace grittor;
using namespace grittor::test;

namespace {

QRgb Px(const QImage &img, int x, int y)
{
    return img.pixel(x, y) & 0xFFFFFFu;
}

void DrawCross(QImage &img)
{
    QPainterCanvas c(&img);
    c.FillRect(0, 0, img.width(), img.height(), 0xFFFFFF);
    c.SetPenColor(0x000000);
    // Far outside the int range of any device: only the visible part is
    // drawn, with its slope.
    c.MoveTo(-1000000000, 50);
    c.LineTo(1000000000, 50);
    c.MoveTo(INT_MIN, INT_MIN);
    c.LineTo(INT_MAX, INT_MAX);
    c.SetPenColor(0x0000FF);
    c.MoveTo(5, 90);
    c.LineTo(5, 90); // a dot
}

struct Cli {
    int exitCode = -1;
    QString out, err;
};

Cli RunCli(const QStringList &args, const QString &home, const QString &program = QStringLiteral(GRITTOR_CLI_PATH))
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Never the user's own settings.
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("XDG_DATA_HOME", home + "/data");
    env.insert("XDG_STATE_HOME", home + "/state");
    env.insert("GRITTOR_LOG_DIR", home + "/log");
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(60000);
    Cli r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLatin1(p.readAllStandardOutput());
    r.err = QString::fromLatin1(p.readAllStandardError());
    return r;
}

QString WritePlot(const QTemporaryDir &dir, const char *name, const std::string &text)
{
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << text;
    return path;
}

} // namespace

TEST(HpglCanvas, DirectPixelsAndPainterAgree)
{
    for (QImage::Format f : {QImage::Format_RGB32, QImage::Format_Indexed8, QImage::Format_RGB888}) {
        SCOPED_TRACE(int(f));
        QImage img(100, 100, f);
        if (f == QImage::Format_Indexed8)
            img.setColorTable({});
        DrawCross(img);
        EXPECT_EQ(Px(img, 0, 50), 0u);
        EXPECT_EQ(Px(img, 99, 50), 0u);
        EXPECT_EQ(Px(img, 30, 30), 0u);
        EXPECT_EQ(Px(img, 80, 80), 0u);
        EXPECT_EQ(Px(img, 30, 60), 0xFFFFFFu);
        EXPECT_EQ(Px(img, 5, 90), 0xFF0000u); // 0x0000FF is red
        if (f == QImage::Format_Indexed8) {
            EXPECT_EQ(img.colorCount(), 3); // white, black, red
        }
    }
}

TEST(HpglCanvas, SystemColoursComeFromThePalette)
{
    const QPalette pal = QApplication::palette();
    EXPECT_EQ(QPainterCanvas::ToQColor(clAppWorkSpace), pal.color(QPalette::Dark));
    EXPECT_EQ(QPainterCanvas::ToQColor(clWindowText), pal.color(QPalette::WindowText));
    EXPECT_EQ(QPainterCanvas::ToQColor(0x00FF8000), QColor(0, 0x80, 0xFF));
}

TEST(HpglCanvas, RenderedPlotLandsInTheImage)
{
    auto r = ReadHpgl("PU0,0;PD2032,0,2032,1016,0,1016,0,0;");
    QImage img(1000, 700, QImage::Format_RGB32);
    {
        QPainterCanvas c(&img);
        RenderPlot(*r, c, 1000, 700, 0, NoPenColors());
    }
    const QRgb grey = QPainterCanvas::ToQColor(clAppWorkSpace).rgb() & 0xFFFFFFu;
    // One scale, 1000 / 2032; the 1266-unit box is centred in 700 pixels.
    const long double s = 1000.0L / 2032, slack = (700 - 1266 * s) / 2;
    EXPECT_EQ(Px(img, 500, 690), 0xFFFFFFu); // below the plot area
    EXPECT_EQ(Px(img, 500, 10), 0xFFFFFFu);  // above it
    EXPECT_EQ(Px(img, 500, 300), grey);
    EXPECT_EQ(Px(img, 500, static_cast<int>(1141 * s + slack)), 0u); // y = 0
    EXPECT_EQ(Px(img, 500, static_cast<int>(125 * s + slack)), 0u);  // y = 1016
}

TEST(HpglCli, InfoTextAndJson)
{
    QTemporaryDir dir;
    const QString plot = WritePlot(dir, "p.plt", "PU0,0;PD2032,0,2032,1016,0,1016,0,0;SP2;PD0,0;ZZ;");
    Cli text = RunCli({"info", plot}, dir.path());
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.toStdString(), "instructions: 4\n"
                                      "unrecognised: 1\n"
                                      "min: (0,0)\n"
                                      "max: (2032,1016)\n"
                                      "size: 2.00 x 1.00 inches\n"
                                      "pens: 0 2\n");
    EXPECT_TRUE(text.err.contains("Invalid Hpgl Command@")) << text.err.toStdString();

    Cli json = RunCli({"info", plot, "--json", "--multiplier", "2"}, dir.path());
    ASSERT_EQ(json.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toLatin1()).object();
    EXPECT_EQ(o["instructions"].toInt(), 4);
    EXPECT_EQ(o["errors"].toInt(), 1); // zz, with "z;" and ";" on the way to the end
    EXPECT_EQ(o["max"].toArray()[0].toDouble(), 4064);
    EXPECT_EQ(o["size_inches"].toArray()[1].toDouble(), 2.0);
    EXPECT_EQ(o["pens"].toArray().size(), 2);
}

TEST(HpglCli, RenderWritesAPngOfTheAskedSize)
{
    QTemporaryDir dir;
    const QString plot = WritePlot(dir, "p.plt", "PU0,0;PD2032,0,2032,1016,0,1016,0,0;");
    const QString png = dir.filePath("out.png");
    Cli def = RunCli({"render", plot, "-o", png}, dir.path());
    ASSERT_EQ(def.exitCode, 0) << def.err.toStdString();
    QImage img(png);
    EXPECT_EQ(img.size(), QSize(1000, 700));
    // A wide plot is centred in the height: white above and below the plot
    // area, the workspace grey inside it (the radius setting of a fresh
    // store sets the side margins), black lines.
    EXPECT_EQ(Px(img, 500, 690), 0xFFFFFFu);
    EXPECT_EQ(Px(img, 500, 8), 0xFFFFFFu);
    EXPECT_EQ(Px(img, 5, 350), 0xABABABu);
    int black = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            black += Px(img, x, y) == 0;
    EXPECT_GT(black, 1000); // the rectangle's four sides

    Cli small = RunCli({"render", plot, "-o", png, "--size", "200x100"}, dir.path());
    ASSERT_EQ(small.exitCode, 0);
    EXPECT_EQ(QImage(png).size(), QSize(200, 100));
}

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteText(const QString &path, const std::string &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::ofstream(path.toStdString(), std::ios::binary) << text;
}

// A library whose selected material draws pen 1 in `color` (a colour table
// index); with `repeat`, pen 1 is listed twice (read with a note).
std::string Library(int color, bool repeat = false)
{
    const std::string pen = R"({"pen": 1, "blowspeed": 12, "border": false, "fill": true, "Color": )" +
                            std::to_string(color) + R"(, "radius": 381, "ScanLine": 1200, "vertper": 0.25,
        "CenterOffset": 0.4, "extra": 0.5, "passes": 3, "Times": 1, "margin": {"x": 0, "y": 0}})";
    return R"({"format": "Grittor material library", "version": 1, "selectedMaterial": 0,
        "materials": [{"name": "Granite", "pens": [)" + pen + (repeat ? ", " + pen : "") + "]}]}";
}

} // namespace

TEST(HpglCli, TheFrontRendersWhatTheFullProgramRenders)
{
    // grittor-cli renders without the toolkit where the settings are plain,
    // and hands the command to grittor-cli-full otherwise: either way the
    // picture is the one the full program draws with the same settings.
    QTemporaryDir dir;
    const QString plot = WritePlot(dir, "p.plt", "SP1;PU0,0;PD2032,0,2032,1016,0,1016,0,0;SP2;PD1000,500;");
    const QString settings = dir.path() + "/config/Korvane Systems/Grittor.conf";
    const QString library = dir.path() + "/config/Korvane Systems/Grittor Materials.json";
    struct Case {
        const char *what;
        std::string settings, library;
    } cases[] = {
        {"no settings, no library", "", ""},
        {"a wide radius", "[General]\nRadius=2000\n", ""},
        {"a library colouring pen 1 red", "", Library(13)},
        {"both", "[General]\nOneMS=1000\nRadius=1500\n", Library(6)},
        {"settings edited by hand", "; by hand\n[General]\nRadius = 1500\n", Library(6)},
        {"a library read with a note", "[General]\nRadius=1500\n", Library(6, true)},
        {"a library that is not one", "", "{\"materials\": 5}"},
    };
    QDir().mkpath(dir.path() + "/log");
    std::vector<QByteArray> pictures;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(settings);
        QFile::remove(library);
        if (!c.settings.empty())
            WriteText(settings, c.settings);
        if (!c.library.empty())
            WriteText(library, c.library);
        const QString front = dir.filePath("front.png"), full = dir.filePath("full.png");
        const Cli a = RunCli({"render", plot, "-o", front}, dir.path());
        const Cli b = RunCli({"render", plot, "-o", full}, dir.path(), QStringLiteral(GRITTOR_CLI_FULL_PATH));
        ASSERT_EQ(a.exitCode, 0) << a.err.toStdString();
        ASSERT_EQ(b.exitCode, 0) << b.err.toStdString();
        EXPECT_EQ(a.err, b.err);
        pictures.push_back(ReadBytes(front));
        EXPECT_FALSE(pictures.back().isEmpty());
        EXPECT_EQ(pictures.back(), ReadBytes(full));
    }
    // The settings reached the picture: radius and colours change it.
    EXPECT_NE(pictures[0], pictures[1]);
    EXPECT_NE(pictures[0], pictures[2]);
    EXPECT_NE(pictures[1], pictures[3]);
    EXPECT_EQ(pictures[3], pictures[4]) << "the same values, in another form";
    EXPECT_EQ(pictures[3], pictures[5]);
    EXPECT_EQ(pictures[0], pictures[6]);
    // The note went to the log under the front's name: the full program was
    // told it was started through grittor-cli.
    const QByteArray log = ReadBytes(dir.path() + "/log/grittor-cli.log");
    EXPECT_TRUE(log.contains("repeats pen 1")) << log.toStdString();
}

TEST(HpglCli, TheFrontLoadsNoToolkitAndHandsOverWhatItDoesNotDoItself)
{
    QProcess readelf;
    readelf.start("readelf", {"-d", QStringLiteral(GRITTOR_CLI_PATH)});
    ASSERT_TRUE(readelf.waitForFinished(30000));
    const QString dynamic = QString::fromLatin1(readelf.readAllStandardOutput());
    ASSERT_TRUE(dynamic.contains("NEEDED")) << dynamic.toStdString();
    EXPECT_FALSE(dynamic.contains("Qt")) << dynamic.toStdString();

    // A front without the full program beside it renders plain settings
    // itself, and says what is missing where it would hand over.
    QTemporaryDir dir;
    const QString alone = dir.filePath("bin/grittor-cli");
    QDir().mkpath(dir.filePath("bin"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(GRITTOR_CLI_PATH), alone));
    const QString plot = WritePlot(dir, "p.plt", "SP1;PU0,0;PD2032,0,2032,1016;");
    const QString png = dir.filePath("out.png");
    Cli r = RunCli({"render", plot, "-o", png}, dir.path(), alone);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QImage(png).size(), QSize(1000, 700));
    r = RunCli({"--version"}, dir.path(), alone);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("grittor-cli ")) << r.out.toStdString();
    for (const QStringList &args : {QStringList{"info", plot}, QStringList{"--help"}, QStringList{}}) {
        r = RunCli(args, dir.path(), alone);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("grittor-cli-full is missing")) << r.err.toStdString();
    }
    // Its own reading of plain settings and the library, against the full
    // program's.
    WriteText(dir.path() + "/config/Korvane Systems/Grittor.conf", "[General]\nRadius=1500\n");
    WriteText(dir.path() + "/config/Korvane Systems/Grittor Materials.json", Library(13));
    r = RunCli({"render", plot, "-o", png}, dir.path(), alone);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString fullPng = dir.filePath("full.png");
    ASSERT_EQ(RunCli({"render", plot, "-o", fullPng}, dir.path(), QStringLiteral(GRITTOR_CLI_FULL_PATH)).exitCode, 0);
    EXPECT_EQ(ReadBytes(png), ReadBytes(fullPng));
    WriteText(dir.path() + "/config/Korvane Systems/Grittor.conf", "[General]\nRadius=\"700\"\n");
    r = RunCli({"render", plot, "-o", png}, dir.path(), alone);
    EXPECT_EQ(r.exitCode, 1) << "settings in another form are the full program's";
    EXPECT_TRUE(r.err.contains("grittor-cli-full is missing")) << r.err.toStdString();

    // Through the real front the other commands still work.
    r = RunCli({"info", plot}, dir.path());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

TEST(HpglCli, BadArgumentsAndUnreadableFilesExitWithTwo)
{
    QTemporaryDir dir;
    const QString plot = WritePlot(dir, "p.plt", "PA1,1;");
    const QList<QStringList> bad = {
        {"info"},
        {"info", dir.filePath("missing.plt")},
        {"info", dir.path()},
        {"info", plot, "--bogus"},
        {"info", plot, "--multiplier", "1000"},
        {"render", plot},
        {"render", plot, "-o", dir.filePath("x.png"), "--size", "0x5"},
        {"render", plot, "-o", dir.filePath("x.png"), "--size", "wide"},
        {"render", dir.filePath("missing.plt"), "-o", dir.filePath("x.png")},
    };
    for (const auto &args : bad) {
        SCOPED_TRACE(args.join(' ').toStdString());
        Cli r = RunCli(args, dir.path());
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("grittor-cli: ")) << r.err.toStdString();
    }
    Cli unwritable = RunCli({"render", plot, "-o", dir.filePath("no/such/folder/x.png")}, dir.path());
    EXPECT_EQ(unwritable.exitCode, 1);
}

TEST(HpglCanvas, ThePngOfAPlotPictureReadsBackPixelForPixel)
{
    // Runs, single pixels, every colour of a table (one half transparent),
    // a width that is no multiple of anything; small pictures in one piece,
    // big ones in strips compressed on two cores (runs crossing the strip
    // boundaries, fewer rows than strips).
    for (const QSize size : {QSize(333, 97), QSize(1001, 703), QSize(65536, 4)}) {
        SCOPED_TRACE(size.width());
        TIndexedImage image(size.width(), size.height());
        image.colors = {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 0, 0), qRgba(0, 0, 255, 128)};
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                if ((x * 7 + y * 3) % 11 == 0 || x == y || (y > image.height / 3 && x < 40))
                    image.pixels[static_cast<size_t>(y) * image.width + x] = static_cast<uint8_t>((x + y) % 4);
        const std::string png = EncodeIndexedPng(image);
        ASSERT_FALSE(png.empty());
        QImage back;
        ASSERT_TRUE(
            back.loadFromData(reinterpret_cast<const uchar *>(png.data()), static_cast<int>(png.size()), "PNG"));
        ASSERT_EQ(back.size(), QSize(image.width, image.height));
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                ASSERT_EQ(back.pixel(x, y), image.colors[image.Row(y)[x]]) << x << "," << y;
    }
    // Only pictures with a colour table of at most 256 colours.
    TIndexedImage bare(4, 4);
    EXPECT_EQ(EncodeIndexedPng(bare), "");
    bare.colors.assign(257, qRgb(1, 2, 3));
    EXPECT_EQ(EncodeIndexedPng(bare), "");
}

// grittor-cli draws its picture without Qt's painter: the same pixels and
// colour table as the window's canvas on an 8-bit image, for lines far
// outside the picture, dots, system colours, fills and a full table.
// The window's picture: 8 bits with a colour table, rows padded to four
// bytes.  A big plot is drawn on two cores there too, in the colours of the
// application palette, exactly as in one piece.
TEST(HpglCanvas, TheWindowPictureDrawnOnTwoCoresIsTheOneDrawnInOnePiece)
{
    std::string text = "IN;SP1;PU0,0;";
    uint32_t r = 12345;
    auto next = [&r](uint32_t n) {
        r = r * 1103515245u + 12345u;
        return std::to_string((r >> 8) % n);
    };
    for (int k = 0; k < 12000; ++k) {
        text += "SP" + std::to_string(k < 6000 ? 1 + k % 2 : 1 + k % 9) + ";";
        text += k % 3 ? "PU" + next(30000) + "," + next(20000) + ";PD" + next(30000) + "," + next(20000) + ";"
                      : "PR" + next(500) + "," + next(500) + ";PD" + next(300) + ",-" + next(300) + ";PA;";
    }
    auto plot = ReadHpgl(text);
    TPenColors colors = NoPenColors();
    colors[1] = 0x0000FF;
    colors[2] = 0x00FF00;
    colors[5] = 0xFF0000;
    colors[7] = 0x8000000D; // a system colour: the palette's highlight
    const int w = 641, h = 403;
    auto draw = [&](bool twoCores, TRenderResult &result) {
        QImage img(w, h, QImage::Format_Indexed8);
        img.setColorTable({qRgb(255, 255, 255)});
        img.fill(0);
        QPainterCanvas canvas(&img);
        result = RenderPlot(*plot, canvas, w, h, 381, colors, nullptr, nullptr, twoCores);
        canvas.End();
        return img;
    };
    TRenderResult one, two;
    const QImage a = draw(false, one);
    // The first core held back at each progress step, so that the second
    // has claimed its part before the first is done, however busy the host.
    SlowFirstCore slow(std::chrono::milliseconds(1));
    SetProgress(&slow);
    const QImage b = draw(true, two);
    SetProgress(nullptr);
    EXPECT_EQ(one.SplitAt, -1);
    EXPECT_GT(two.SplitAt, 0);
    EXPECT_EQ(a.colorTable(), b.colorTable());
    EXPECT_TRUE(a.colorTable().contains(QApplication::palette().color(QPalette::Highlight).rgba() | 0xFF000000u));
    for (int y = 0; y < h; ++y)
        ASSERT_EQ(std::memcmp(a.constScanLine(y), b.constScanLine(y), w), 0) << "row " << y;
    EXPECT_EQ(one.End, two.End);
}

TEST(HpglCanvas, TheCliCanvasDrawsWhatTheQtCanvasDraws)
{
    const int w = 61, h = 47;
    QImage qimg(w, h, QImage::Format_Indexed8);
    qimg.setColorTable({});
    qimg.fill(0);
    TIndexedImage own(w, h);
    auto draw = [&](Canvas &c) {
        c.FillRect(-5, -5, w + 5, h + 5, 0xABABAB);
        c.FillRect(3, 4, 50, 40, 0xFFFFFF);
        c.FillRect(10, 10, 5, 20, 0x00FF00); // inverted: nothing
        c.SetPenColor(0x0000FF);
        c.MoveTo(-1000000000, 20);
        c.LineTo(1000000000, 25);
        c.MoveTo(INT_MIN, INT_MIN);
        c.LineTo(INT_MAX, INT_MAX);
        c.SetPenColor(0x000000);
        c.MoveTo(7, 40);
        c.LineTo(7, 40);
        c.LineTo(7, 40);
        c.MoveTo(60, 0);
        c.LineTo(0, 46);
        // More colours than a table holds: the last take the nearest.
        for (uint32_t k = 0; k < 300; ++k) {
            c.SetPenColor((k * 0x010305u) & 0xFFFFFFu);
            c.MoveTo(static_cast<int>(k % w), 0);
            c.LineTo(static_cast<int>((k * 7) % w), h - 1);
        }
        // Ends on the first and last column and row, and one beyond them.
        for (int k = -1; k <= 1; ++k) {
            c.MoveTo(w - 1 + k, 2);
            c.LineTo(w - 1 + k, h - 1 + k);
            c.MoveTo(k, 2 * k + 9);
            c.LineTo(w - 1 + k, h - 1 - k);
            c.MoveTo(k, 3);
            c.LineTo(k + 4, k);
            c.LineTo(w - 3, h - 1 + k);
        }
    };
    {
        QPainterCanvas qc(&qimg);
        draw(qc);
    }
    {
        IndexedCanvas oc(own);
        draw(oc);
    }
    const QList<QRgb> table = qimg.colorTable();
    ASSERT_EQ(own.colors.size(), static_cast<size_t>(table.size()));
    EXPECT_EQ(own.colors.size(), 256u);
    for (int i = 0; i < table.size(); ++i)
        EXPECT_EQ(own.colors[static_cast<size_t>(i)], table[i]) << i;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(own.Row(y)[x], qimg.constScanLine(y)[x]) << x << "," << y;
    // Without a window there is no palette: system colours are the classic
    // ones, as for the Qt canvas outside an application.
    TIndexedImage sys(2, 1);
    {
        IndexedCanvas oc(sys);
        oc.FillRect(0, 0, 1, 1, clAppWorkSpace);
        oc.FillRect(1, 0, 2, 1, 0x80000005); // window
    }
    ASSERT_EQ(sys.colors.size(), 3u); // the first pen (black), then the fills
    EXPECT_EQ(sys.colors[sys.Row(0)[0]], qRgb(0xAB, 0xAB, 0xAB));
    EXPECT_EQ(sys.colors[sys.Row(0)[1]], qRgb(0xFF, 0xFF, 0xFF));
}
