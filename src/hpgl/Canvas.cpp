#include "hpgl/Canvas.h"

namespace grittor {

void RecordingCanvas::Keep(const Call &c)
{
    ++total;
    if (calls.size() < Limit)
        calls.push_back(c);
}

void RecordingCanvas::MoveTo(int x, int y)
{
    penX = x;
    penY = y;
    Keep({Op::Move, x, y, 0, 0, pen_});
}

void RecordingCanvas::LineTo(int x, int y)
{
    penX = x;
    penY = y;
    Keep({Op::Line, x, y, 0, 0, pen_});
}

void RecordingCanvas::FillRect(int left, int top, int right, int bottom, uint32_t color)
{
    Keep({Op::Fill, left, top, right, bottom, color});
}

void RecordingCanvas::SetPenColor(uint32_t color)
{
    pen_ = color;
    Keep({Op::Pen, 0, 0, 0, 0, color});
}

std::vector<std::string> RecordingCanvas::Strokes() const
{
    std::vector<std::string> out;
    for (const auto &c : calls) {
        if (c.op == Op::Move)
            out.push_back("M " + std::to_string(c.x) + "," + std::to_string(c.y));
        else if (c.op == Op::Line)
            out.push_back("L " + std::to_string(c.x) + "," + std::to_string(c.y));
    }
    return out;
}

int RecordingCanvas::CountOf(Op op) const
{
    int n = 0;
    for (const auto &c : calls)
        n += c.op == op;
    return n;
}

} // namespace grittor
