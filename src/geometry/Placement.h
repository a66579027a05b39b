// Where a plot lands on the workpiece.  There are three roads from the
// digitized points to the machine, and each fits only what its points can
// tell:
//
//   Origin       one point (the reference): no turn, scales 1; the drawing
//                is placed as it is drawn
//   LoadKey      reference and skew point (the load-key sequence): the turn
//                from the skew point, scales 1 (no stretch point was taken)
//   ThreePoints  reference, skew and stretch point: turn and both scales
//
// CheckFit tells before anything is sent whether a placement can be used
// (no degenerate fit) and how well the drawing meets the digitized points.
#pragma once

#include "geometry/HpglOutput.h"

#include <string>
#include <vector>

namespace grittor {

enum class TPlacementRoad : uint8_t { Origin, LoadKey, ThreePoints };

struct TPlacement {
    TPlacementRoad Road = TPlacementRoad::Origin;
    // Machine units.  Origin road: Ref is the point read back, Skew and
    // Stretch are made from the drawing.  Load-key road: Origin is the
    // reference point, Ref (0,0), Skew the skew point less the reference.
    TAlignPoints Record;
    // The scales are fitted only when a stretch point was digitized.
    bool FitsScale() const { return Road == TPlacementRoad::ThreePoints; }
};

// The machine points of the one-point road: Ref is the point read back,
// Skew and Stretch that point plus the drawing's own Skew and Stretch taken
// relative to its Ref.
TPlacement OriginPlacement(const TAlignPoints &drawing, const TExtendedPoint &machineRef);
// The load-key record: Origin the reference point, Ref (0,0), Skew the skew
// point relative to the reference.
TPlacement LoadKeyPlacement(const TExtendedPoint &reference, const TExtendedPoint &skew);
TPlacement ThreePointPlacement(const TExtendedPoint &reference, const TExtendedPoint &skew,
                               const TExtendedPoint &stretch);

// Smallest distance between two digitized points, and the scale range, that
// make a fit usable.
constexpr long double MinPointDistance = 101.6L; // 0.1 inch
constexpr long double MinFitScale = 0.5L;
constexpr long double MaxFitScale = 2.0L;
// Above this a residual is worth a question before sending.
constexpr long double ResidualLimitMm = 1.0L;

struct TFitResidual {
    std::string Point; // "reference", "skew", "stretch"
    long double Mm = 0;
};

struct TFitReport {
    bool Usable = true;
    std::string Problem; // why not, naming the points
    long double RotationDegrees = 0;
    long double ScaleX = 1;
    long double ScaleY = 1;
    std::vector<TFitResidual> Residuals; // at each digitized point
    // The largest residual (0 and "" when there are none).
    const TFitResidual *Worst() const;
    // "rotation 30.00 deg, scale x 1.0200 y 1.0200, residual reference 0.00 mm, skew 0.02 mm"
    std::string Summary() const;
    // The question asked when the worst residual is above the limit.
    std::string Question() const;
};

// Fits the drawing's reference points (those every pen group shares) onto a
// placement as the job will, and reports it.  `drawing` is the Drawing
// record of the plot's blast paths; `measured` false when those paths had
// no vertex to measure it on (the record is then no place at all).
TFitReport CheckFit(const TAlignPoints &drawing, const TPlacement &placement, bool measured = true);

} // namespace grittor
