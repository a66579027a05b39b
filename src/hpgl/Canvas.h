// The drawing target of the plot: the window image, the printer page, or a
// recorder in tests.  Coordinates are device pixels; colours are 0x00BBGGRR,
// and values with bit 31 set name system colours (clAppWorkSpace,
// clWindowText of option.h) that each implementation maps to its palette.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace grittor {

struct TIndexedImage;

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void MoveTo(int x, int y) = 0;
    // A line from the pen position to (x, y) in the pen colour; the pen
    // position becomes (x, y).
    virtual void LineTo(int x, int y) = 0;
    // Fills left <= x < right, top <= y < bottom; an empty or inverted
    // rectangle fills nothing.
    virtual void FillRect(int left, int top, int right, int bottom, uint32_t color) = 0;
    virtual uint32_t PenColor() const = 0;
    virtual void SetPenColor(uint32_t color) = 0;
    // Makes what was drawn so far visible (the window repaints); no-op for
    // off-screen targets.
    virtual void Repaint() {}

    // For a drawing on two cores (RenderPlot): an 8-bit picture with a
    // colour table tells where its pen stands, the table entry (0xAARRGGBB)
    // a colour gets, and lays a second picture of its size over itself
    // (see OverlayIndexed in hpgl/IndexedRender.h).  Other canvases (a
    // printer, a recorder) say no, and are drawn on in one piece.
    virtual bool PenAt(int &, int &) const { return false; }
    virtual bool ArgbOf(uint32_t, uint32_t &) { return false; }
    virtual bool Overlay(const TIndexedImage &, uint8_t) { return false; }
};

// Records every call, for tests and the fuzzer.  `Limit` caps the number of
// kept operations (the rest are only counted) so a huge plot cannot exhaust
// memory through the recorder.
class RecordingCanvas final : public Canvas {
public:
    enum class Op : uint8_t { Move, Line, Fill, Pen };
    struct Call {
        Op op;
        int x = 0, y = 0;   // Move/Line target; Fill left/top
        int x2 = 0, y2 = 0; // Fill right/bottom
        uint32_t color = 0; // Line: pen colour in use; Fill: brush; Pen: new colour
    };

    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void FillRect(int left, int top, int right, int bottom, uint32_t color) override;
    uint32_t PenColor() const override { return pen_; }
    void SetPenColor(uint32_t color) override;
    void Repaint() override { ++repaints; }

    // Only the Move and Line calls, as "M x,y" / "L x,y" texts.
    std::vector<std::string> Strokes() const;
    int CountOf(Op op) const;

    std::vector<Call> calls;
    size_t Limit = 1000000;
    size_t total = 0; // calls made, kept or not
    int repaints = 0;
    int penX = 0, penY = 0;

private:
    void Keep(const Call &c);
    uint32_t pen_ = 0;
};

} // namespace grittor
