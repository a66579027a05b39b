// Helpers shared by the geometry suites: a debug log redirected to a
// temporary folder, pen records, and outlines fed straight into the handlers.
#pragma once

#include "foundation/LogOutput.h"
#include "foundation/option.h"
#include "geometry/polygon.h"
#include "pens/MaterialLibrary.h"

#include <QTemporaryDir>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace grittor::test {

inline std::string ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// Points the program's debug log at a fresh folder for the life of the object.
class LogCapture {
public:
    LogCapture() : old_(LogOutput().Directory())
    {
        LogOutput().SetDirectory(dir_.path().toStdString());
        LogOutput().MaxSize = 1 << 30; // keep everything in one file
    }
    ~LogCapture()
    {
        LogOutput().SetDirectory(old_);
        LogOutput().MaxSize = 3145728;
    }
    std::string Text() const { return ReadFile(LogOutput().FullPath()); }
    int Count(const std::string &needle) const
    {
        const std::string t = Text();
        int n = 0;
        for (size_t p = t.find(needle); p != std::string::npos; p = t.find(needle, p + 1))
            ++n;
        return n;
    }

private:
    QTemporaryDir dir_;
    std::string old_;
};

struct PenSpec {
    int pen = 0;
    int passes = 1;
    int times = 1;
    int radius = 762;
    int blowspeed = 10;
    long double centerOffset = 0.4L;
    long double extra = 0;
    bool border = false;
};

// Adds a material (when new) and a pen record for it to `lib`; returns the
// material.
inline int AddPen(TMaterialLibrary &lib, const std::string &material, const PenSpec &s)
{
    int m = lib.FindMaterial(material);
    if (m < 0)
        m = lib.AddMaterial(material);
    TPens *rec = &lib.FindOrAddPen(m, s.pen);
    rec->SetPen(s.pen);
    rec->SetBlowSpeed(s.blowspeed);
    rec->border = s.border ? 1 : 0;
    rec->SetCenterOffset(s.centerOffset);
    rec->SetColor(2);
    rec->SetExtra(s.extra);
    rec->fill = 1;
    rec->Material = m;
    rec->SetRadius(s.radius);
    rec->SetVertPer(0.5L);
    rec->SetPasses(s.passes);
    rec->SetScanLine(1200);
    rec->SetTimes(s.times);
    rec->SetMargin({0, 0});
    return m;
}

// Draws a polyline as one outline: a move to the first point, lines to the rest.
inline void Outline(TPolygon &p, std::initializer_list<TExtendedPoint> pts, int pen)
{
    auto it = pts.begin();
    p.Move(*it, pen);
    for (++it; it != pts.end(); ++it)
        p.Line(*it, pen);
}

// A closed axis-parallel rectangle from (x, y) of size w x h, drawn
// counter-clockwise from its lower-left corner.
inline void Rect(TPolygon &p, long double x, long double y, long double w, long double h, int pen)
{
    Outline(p, {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}, {x, y}}, pen);
}

// Splits text at CR LF; a trailing CR LF gives no empty last element.
inline std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t e = text.find("\r\n", pos);
        if (e == std::string::npos) {
            out.push_back(text.substr(pos));
            break;
        }
        out.push_back(text.substr(pos, e - pos));
        pos = e + 2;
    }
    return out;
}

} // namespace grittor::test
