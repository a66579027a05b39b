#include "service/PlotDataFile.h"

#include "service/CaptureStatistics.h"

#include <algorithm>

namespace grittor {

std::string TPlotDataFile::Text(const std::array<TSeriesPoints, 4> &series)
{
    size_t lines = 0;
    for (const auto &s : series)
        lines = std::max(lines, s.size());
    std::string text;
    text.reserve(lines * 40);
    for (size_t i = 0; i < lines; ++i) {
        for (const auto &s : series) {
            if (i < s.size()) {
                text += TCaptureStatistics::Fixed2(s[i].first);
                text += '\t';
                text += TCaptureStatistics::Fixed2(s[i].second);
                text += '\t';
            } else {
                text += "\t\t";
            }
        }
        text += "\r\n";
    }
    return text;
}

} // namespace grittor
