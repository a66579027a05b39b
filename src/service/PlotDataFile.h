// "plotdata.xls": the chart's four line series side by side, one line per
// point index, so that a spreadsheet opens them.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace grittor {

using TSeriesPoints = std::vector<std::pair<double, double>>;

class TPlotDataFile {
public:
    // One line per index up to the longest series: for each series its x and
    // y ("%12.2f" without the blanks), each followed by a tab, or two tabs
    // when it has no point there; CR LF at the end.
    static std::string Text(const std::array<TSeriesPoints, 4> &series);
};

} // namespace grittor
