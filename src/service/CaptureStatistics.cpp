#include "service/CaptureStatistics.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace grittor {

TCaptureStatistics::TCaptureStatistics(const std::vector<TCapturePair> &pairs)
{
    int64_t sumX = 0, sumY = 0, sumAbsY = 0;
    for (const TCapturePair &p : pairs) {
        minX_ = std::min(minX_, p.x);
        maxX_ = std::max(maxX_, p.x);
        minY_ = std::min(minY_, p.y);
        maxY_ = std::max(maxY_, p.y);
        sumX += p.x;
        sumY += p.y;
        sumAbsY += std::llabs(static_cast<int64_t>(p.y));
    }
    if (!pairs.empty()) {
        const double n = static_cast<double>(pairs.size());
        avgX_ = static_cast<double>(sumX) / n;
        avgY_ = static_cast<double>(sumY) / n;
        avgAbsY_ = static_cast<double>(sumAbsY) / n;
    }
}

std::string TCaptureStatistics::Fixed2(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    return std::string(buf, r.ptr);
}

std::string TCaptureStatistics::Text() const
{
    return "x (" + std::to_string(minX_) + ", " + std::to_string(maxX_) + ") y (" + std::to_string(minY_) + ", " +
           std::to_string(maxY_) + ") avg (" + Fixed2(avgX_) + ", " + Fixed2(avgY_) + ", |" + Fixed2(avgAbsY_) + "|)";
}

std::array<std::vector<TCapturePair>, 4> TCaptureStatistics::SplitSeries(const std::vector<TCapturePair> &pairs)
{
    std::array<std::vector<TCapturePair>, 4> series;
    size_t current = 0;
    for (const TCapturePair &p : pairs) {
        if (p.x == 0 && p.y == 0) {
            if (++current >= series.size())
                break;
            continue;
        }
        series[current].push_back(p);
    }
    return series;
}

} // namespace grittor
