// PNG text of an 8-bit picture with a colour table (the pictures of plots).
// Rows go unfiltered into a deflate stream that only looks for runs of one
// colour (what a plot picture is made of): no search through earlier rows,
// and no per-row filter choice.  The general writer took about a quarter of
// the time of rendering a 1 MB plot through its row-by-row library calls.
// A big picture is compressed in strips on both cores (one stream all the
// same).
#pragma once

#include "hpgl/IndexedCanvas.h"

#include <string>

namespace grittor {

// The PNG file of `image` (at least one and at most 256 colours), or ""
// when the image has no colours or too many, or compression fails.
std::string EncodeIndexedPng(const TIndexedImage &image);

} // namespace grittor
