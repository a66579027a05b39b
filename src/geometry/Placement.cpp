#include "geometry/Placement.h"

#include <cmath>

namespace grittor {

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;

std::string PointText(const TExtendedPoint &p)
{
    return "(" + FormatExtended(p.x) + ", " + FormatExtended(p.y) + ")";
}

bool Finite(const TExtendedPoint &p)
{
    return std::isfinite(p.x) && std::isfinite(p.y);
}

long double Inches(long double units)
{
    return units / 1016.0L;
}

struct NamedPoint {
    const char *name;
    TExtendedPoint at;
};

} // namespace

TPlacement OriginPlacement(const TAlignPoints &drawing, const TExtendedPoint &machineRef)
{
    TPlacement p;
    p.Road = TPlacementRoad::Origin;
    p.Record.Ref = machineRef;
    p.Record.Skew = {machineRef.x + (drawing.Skew.x - drawing.Ref.x), machineRef.y + (drawing.Skew.y - drawing.Ref.y)};
    p.Record.Stretch = {machineRef.x + (drawing.Stretch.x - drawing.Ref.x),
                        machineRef.y + (drawing.Stretch.y - drawing.Ref.y)};
    return p;
}

TPlacement LoadKeyPlacement(const TExtendedPoint &reference, const TExtendedPoint &skew)
{
    TPlacement p;
    p.Road = TPlacementRoad::LoadKey;
    p.Record.Origin = reference;
    p.Record.Ref = {0, 0};
    p.Record.Skew = {skew.x - reference.x, skew.y - reference.y};
    return p;
}

TPlacement ThreePointPlacement(const TExtendedPoint &reference, const TExtendedPoint &skew,
                               const TExtendedPoint &stretch)
{
    TPlacement p;
    p.Road = TPlacementRoad::ThreePoints;
    p.Record.Ref = reference;
    p.Record.Skew = skew;
    p.Record.Stretch = stretch;
    return p;
}

const TFitResidual *TFitReport::Worst() const
{
    const TFitResidual *worst = nullptr;
    for (const TFitResidual &r : Residuals)
        if (!worst || r.Mm > worst->Mm)
            worst = &r;
    return worst;
}

std::string TFitReport::Summary() const
{
    std::string s = "rotation " + FormatExtendedFixed(RotationDegrees, 2) + " deg, scale x " +
                    FormatExtendedFixed(ScaleX, 4) + " y " + FormatExtendedFixed(ScaleY, 4);
    for (size_t i = 0; i < Residuals.size(); ++i)
        s += (i == 0 ? ", residual " : ", ") + Residuals[i].Point + " " + FormatExtendedFixed(Residuals[i].Mm, 2) +
             " mm";
    return s;
}

std::string TFitReport::Question() const
{
    const TFitResidual *w = Worst();
    if (!w)
        return {};
    return "The digitized points do not fit the drawing (worst " + FormatExtendedFixed(w->Mm, 2) + " mm at the " +
           w->Point + " point). Send anyway?";
}

TFitReport CheckFit(const TAlignPoints &drawing, const TPlacement &placement, bool measured)
{
    TFitReport report;
    const TAlignPoints &rec = placement.Record;
    auto refuse = [&report](std::string why) {
        report.Usable = false;
        report.Problem = std::move(why);
        return report;
    };

    // What the road digitized, and the drawing points they stand for.
    std::vector<NamedPoint> digitized{{"reference", rec.Ref}};
    std::vector<NamedPoint> drawn{{"reference", drawing.Ref}};
    if (placement.Road != TPlacementRoad::Origin) {
        digitized.push_back({"skew", rec.Skew});
        drawn.push_back({"skew", drawing.Skew});
    }
    if (placement.Road == TPlacementRoad::ThreePoints) {
        digitized.push_back({"stretch", rec.Stretch});
        drawn.push_back({"stretch", drawing.Stretch});
    }
    for (const NamedPoint &p : digitized)
        if (!Finite(p.at))
            return refuse("The digitized " + std::string(p.name) + " point " + PointText(p.at) +
                          " is not a number. Nothing was sent.");
    if (placement.Road == TPlacementRoad::LoadKey && !Finite(rec.Origin))
        return refuse("The digitized reference point " + PointText(rec.Origin) + " is not a number. Nothing was sent.");
    for (const NamedPoint &p : drawn)
        if (!measured || !Finite(p.at))
            return refuse("The drawing has no usable " + std::string(p.name) + " point " + PointText(p.at) +
                          ". Nothing was sent.");

    // Points too close together fix no direction (or no scale).
    for (size_t i = 0; i < digitized.size(); ++i)
        for (size_t j = i + 1; j < digitized.size(); ++j) {
            const long double d = Distance(digitized[i].at, digitized[j].at);
            if (!(d >= MinPointDistance))
                return refuse("The digitized " + std::string(digitized[i].name) + " point " +
                              PointText(digitized[i].at) + " and " + digitized[j].name + " point " +
                              PointText(digitized[j].at) + " are " + FormatExtendedFixed(Inches(d), 2) +
                              " inch apart; they must be at least " + FormatExtendedFixed(Inches(MinPointDistance), 2) +
                              " inch apart. Nothing was sent.");
        }
    if (placement.Road != TPlacementRoad::Origin) {
        const long double d = Distance(drawing.Ref, drawing.Skew);
        if (!(d >= MinPointDistance))
            return refuse("The drawing's reference point " + PointText(drawing.Ref) + " and skew point " +
                          PointText(drawing.Skew) + " are " + FormatExtendedFixed(Inches(d), 2) +
                          " inch apart: the turn of the plot cannot be fitted from them. Nothing was sent.");
    }

    THpglOutput probe;
    probe.Drawing = drawing;
    probe.Drawing.Offset = {0, 0};
    probe.Digitized = rec;
    probe.SolveScale = placement.FitsScale();
    probe.Solve();
    long double degrees = std::remainder(probe.Rotate * 180.0L / kPi, 360.0L);
    report.RotationDegrees = degrees == -180 ? 180 : degrees;
    report.ScaleX = probe.ScaleX;
    report.ScaleY = probe.ScaleY;
    if (!std::isfinite(probe.Rotate) || !std::isfinite(probe.ScaleX) || !std::isfinite(probe.ScaleY))
        return refuse("The fit of the digitized points gives no usable turn or scale (reference point " +
                      PointText(rec.Ref) + "). Nothing was sent.");
    for (const auto &[axis, scale] : {std::pair{"X", probe.ScaleX}, std::pair{"Y", probe.ScaleY}})
        if (scale < MinFitScale || scale > MaxFitScale) {
            std::string points;
            for (const NamedPoint &p : digitized)
                points += std::string(points.empty() ? "" : ", ") + p.name + " point " + PointText(p.at);
            return refuse("The fitted " + std::string(axis) + " scale " + FormatExtendedFixed(scale, 3) +
                          " is outside " + FormatExtendedFixed(MinFitScale, 2) + " to " +
                          FormatExtendedFixed(MaxFitScale, 2) + " (" + points + "). Nothing was sent.");
        }
    for (size_t i = 0; i < digitized.size(); ++i) {
        const TExtendedPoint landed = probe.TransformPoint(drawn[i].at);
        report.Residuals.push_back({digitized[i].name, Distance(landed, digitized[i].at) / 40.0L});
    }
    return report;
}

} // namespace grittor
