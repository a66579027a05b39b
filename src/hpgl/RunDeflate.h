// Raw deflate (RFC 1951) of the rows of an 8-bit picture, looking for runs
// of one byte only: each run is its first byte as a literal and copies of
// the byte before (distance 1), in blocks with Huffman codes made for them.
// A plot picture is made of such runs; the general library compressor,
// even in its run-only mode, took a seventh of the time of rendering a
// 1 MB plot, most of it in its general machinery.
#pragma once

#include <cstddef>
#include <cstdint>

namespace grittor {

// Rows `from`..`to`-1 of `pixels` (`width` bytes a row, rows `stride`
// apart), each after a zero byte (the PNG filter "none"), into `out`.
// `last`: the stream ends with them; otherwise it ends on a byte boundary
// (an empty stored block) for more blocks to follow.  Returns the bytes
// written, or 0 when `room` (RunDeflateBound) was too small.
size_t RunDeflateRows(const uint8_t *pixels, size_t stride, int width, int from, int to, bool last, uint8_t *out,
                      size_t room);

// Room that RunDeflateRows never exceeds for `bytes` of input.
size_t RunDeflateBound(size_t bytes);

} // namespace grittor
