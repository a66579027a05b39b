// What the engineering window shows of a captured motion test: the range and
// averages of the pairs, and the pairs cut into the chart's four series.
#pragma once

#include "service/CaptureParser.h"

#include <array>
#include <string>
#include <vector>

namespace grittor {

class TCaptureStatistics {
public:
    explicit TCaptureStatistics(const std::vector<TCapturePair> &pairs);

    // Ranges start at 0, so 0 always takes part.
    int32_t MinX() const { return minX_; }
    int32_t MaxX() const { return maxX_; }
    int32_t MinY() const { return minY_; }
    int32_t MaxY() const { return maxY_; }
    // Over the stored pairs; 0 without pairs.
    double AvgX() const { return avgX_; }
    double AvgY() const { return avgY_; }
    double AvgAbsY() const { return avgAbsY_; }

    // "x (0, 30) y (-40, 20) avg (13.33, -6.67, |20.00|)"
    std::string Text() const;

    // The pairs in order, from series 0: a pair (0, 0) moves on to the next
    // series and is not drawn; after series 3 the rest is left out.
    static std::array<std::vector<TCapturePair>, 4> SplitSeries(const std::vector<TCapturePair> &pairs);

    // printf's "%.2f", whatever the desktop's locale.
    static std::string Fixed2(double v);

private:
    int32_t minX_ = 0, maxX_ = 0, minY_ = 0, maxY_ = 0;
    double avgX_ = 0, avgY_ = 0, avgAbsY_ = 0;
};

} // namespace grittor
