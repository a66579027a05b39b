// Field and printable-text routines for machine replies and log lines.
#pragma once

#include <string>
#include <string_view>

namespace grittor {

// First 1-based index >= start at which s holds c; 0 when there is none.
int FindChar(char c, std::string_view s, int start = 1);
// The n-th field (from 1) of s split at the one-character separator; empty
// when there is no such field.
std::string GetField(std::string_view s, char separator, int n);
// Runs of more than three equal characters become " " + length + "*" + char.
std::string CompressRuns(std::string_view s);
// CompressRuns, then every character outside 32..126 as " #" + code + " ".
std::string MakePrintable(std::string_view s);
// The first `most` characters of MakePrintable(s); `cut` tells whether it
// had more.  Converts only the runs it needs: a job text runs to megabytes.
std::string MakePrintableHead(std::string_view s, size_t most, bool &cut);
// Every character outside 32..126 as "#" + decimal code (no blanks).
std::string PrintableText(std::string_view s);

} // namespace grittor
