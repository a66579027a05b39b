// Reading the material library file, without the toolkit: headless tools
// built without it read the library too.  Writing is in LibraryStore.cpp.
#include "pens/LibraryStore.h"

#include "foundation/utils.h"
#include "pens/JsonTree.h"
#include "pens/LibraryFormat.h"
#include "pens/MaterialLibrary.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <unordered_set>

namespace grittor {

namespace {

// The fields of one pen record.  `where` names the record in a message; it
// is made only when a field is wrong.
class FieldReader {
public:
    FieldReader(const TJsonTree &tree, TJsonTree::Node obj, const std::string &material, size_t record,
                std::string &error)
        : tree_(tree), obj_(obj), material_(material), record_(record), error_(error)
    {
    }

    bool Whole(const char *name, int32_t &out)
    {
        const TJsonTree::Node v = tree_.Member(obj_, name);
        if (tree_.KindOf(v) == TJsonTree::Kind::Number) {
            const double d = tree_.Number(v);
            if (std::isfinite(d) && d == std::floor(d)) {
                // Beyond 32 bits it can only be out of range; the setter clamps.
                out = d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : static_cast<int32_t>(d);
                return true;
            }
        } else if (tree_.KindOf(v) == TJsonTree::Kind::String) {
            int n = 0;
            if (ParseInt(std::string(tree_.Text(v)), n)) {
                out = n;
                return true;
            }
        }
        return Fail(name, "a whole number");
    }

    bool Extended(const char *name, long double &out) { return ExtendedValue(tree_.Member(obj_, name), name, out); }

    bool ExtendedValue(TJsonTree::Node v, const char *name, long double &out)
    {
        if (tree_.KindOf(v) == TJsonTree::Kind::Number) {
            // Through the double's shortest text, so 0.4 in the file is the
            // 0.4 the editor would store.
            if (ParseExtended(ShortestDouble(tree_.Number(v)), out))
                return true;
        } else if (tree_.KindOf(v) == TJsonTree::Kind::String) {
            if (ParseExtended(std::string(tree_.Text(v)), out))
                return true;
        }
        return Fail(name, "a number");
    }

    bool Flag(const char *name, uint8_t &out)
    {
        const TJsonTree::Node v = tree_.Member(obj_, name);
        if (tree_.KindOf(v) == TJsonTree::Kind::Bool) {
            out = tree_.Boolean(v) ? 1 : 0;
            return true;
        }
        if (tree_.KindOf(v) == TJsonTree::Kind::Number && std::isfinite(tree_.Number(v))) {
            out = tree_.Number(v) != 0 ? 1 : 0;
            return true;
        }
        return Fail(name, "true or false");
    }

    bool Margin(TExtendedPoint &out)
    {
        const TJsonTree::Node m = tree_.Member(obj_, "margin");
        if (tree_.KindOf(m) != TJsonTree::Kind::Object)
            return Fail("margin", "an object with \"x\" and \"y\"");
        return ExtendedValue(tree_.Member(m, "x"), "margin.x", out.x) &&
               ExtendedValue(tree_.Member(m, "y"), "margin.y", out.y);
    }

    bool Fail(const char *name, const char *what)
    {
        error_ = PenWhere(material_, record_) + ": \"" + name + "\" is missing or not " + what;
        return false;
    }

    static std::string PenWhere(const std::string &material, size_t record)
    {
        return "material \"" + material + "\", pen record " + std::to_string(record + 1);
    }

private:
    const TJsonTree &tree_;
    TJsonTree::Node obj_;
    const std::string &material_;
    size_t record_;
    std::string &error_;
};

// One pen record, assigned in the editor's order so that passes come before
// Times and radius and vertper before the margins.
bool ReadPen(const TJsonTree &tree, TJsonTree::Node obj, int material, const std::string &materialName,
             size_t record, TPens &rec, std::string &error)
{
    FieldReader f(tree, obj, materialName, record, error);
    int32_t pen = 0, blowspeed = 0, color = 0, radius = 0, passes = 0, scanLine = 0, times = 0;
    uint8_t border = 0, fill = 0;
    long double centerOffset = 0, extra = 0, vertper = 0;
    TExtendedPoint margin;
    if (!f.Whole("pen", pen) || !f.Whole("blowspeed", blowspeed) || !f.Flag("border", border) ||
        !f.Extended("CenterOffset", centerOffset) || !f.Whole("Color", color) || !f.Extended("extra", extra) ||
        !f.Flag("fill", fill) || !f.Whole("radius", radius) || !f.Extended("vertper", vertper) ||
        !f.Whole("passes", passes) || !f.Whole("ScanLine", scanLine) || !f.Whole("Times", times) || !f.Margin(margin))
        return false;
    rec.SetPen(pen);
    rec.SetBlowSpeed(blowspeed);
    rec.border = border;
    rec.SetCenterOffset(centerOffset);
    rec.SetColor(color);
    rec.SetExtra(extra);
    rec.fill = fill;
    rec.Material = material;
    rec.SetRadius(radius);
    rec.SetVertPer(vertper);
    rec.SetPasses(passes);
    rec.SetScanLine(scanLine);
    rec.SetTimes(times);
    rec.SetMargin(margin);
    return true;
}

} // namespace

// -------------------------------------------------------------- paths ---

std::string MaterialLibraryPath(const std::string &settingsFolder)
{
    return settingsFolder + "/" + kLibraryFileName;
}

std::string DescribeLibrarySize(int materials, int pens)
{
    return std::to_string(materials) + (materials == 1 ? " material and " : " materials and ") + std::to_string(pens) +
           (pens == 1 ? " pen" : " pens");
}

// --------------------------------------------------------------- JSON ---

bool LibraryFromJson(const std::string &json, TLibrarySnapshot &out, std::string &error)
{
    out = TLibrarySnapshot{};
    using Kind = TJsonTree::Kind;
    TJsonTree tree;
    std::string parseError;
    if (!tree.Parse(json, parseError)) {
        error = "not valid JSON " + parseError;
        return false;
    }
    const TJsonTree::Node root = tree.Root();
    if (tree.KindOf(root) != Kind::Object) {
        error = "not a material library (the file does not hold a JSON object)";
        return false;
    }
    const TJsonTree::Node format = tree.Member(root, "format");
    if (!tree.IsMissing(format) && (tree.KindOf(format) != Kind::String || tree.Text(format) != kLibraryFormat)) {
        error = "not a material library (\"format\" is not \"" + std::string(kLibraryFormat) + "\")";
        return false;
    }
    const TJsonTree::Node version = tree.Member(root, "version");
    if (!tree.IsMissing(version)) {
        const double v = tree.KindOf(version) == Kind::Number ? tree.Number(version) : 0;
        if (tree.KindOf(version) != Kind::Number || v != std::floor(v) || v < 1) {
            error = "\"version\" is not a whole number";
            return false;
        }
        if (v > kLibraryVersion) {
            error = "written by a newer version of the program (library version " +
                    std::to_string(static_cast<long long>(v)) + ")";
            return false;
        }
    }
    const TJsonTree::Node materials = tree.Member(root, "materials");
    if (tree.KindOf(materials) != Kind::Array) {
        error = "not a material library (\"materials\" is missing or not a list)";
        return false;
    }

    TLibrarySnapshot snap;
    // Lookups that keep the load linear in the file: the names seen, and
    // each pen number's record within the material being read.
    std::unordered_set<std::string_view> names;
    names.reserve(tree.Count(materials));
    snap.Materials.reserve(tree.Count(materials));
    size_t m = 0;
    for (TJsonTree::Node entry = tree.First(materials); entry != TJsonTree::NoNode; entry = tree.Next(entry), ++m) {
        if (tree.KindOf(entry) != Kind::Object) {
            error = "material " + std::to_string(m + 1) + " is not an object";
            return false;
        }
        const TJsonTree::Node nameValue = tree.Member(entry, "name");
        if (tree.KindOf(nameValue) != Kind::String || tree.Text(nameValue).empty()) {
            error = "material " + std::to_string(m + 1) + ": \"name\" is missing or empty";
            return false;
        }
        const std::string_view nameView = tree.Text(nameValue);
        if (!names.insert(nameView).second) {
            error = "the material name \"" + std::string(nameView) + "\" appears twice";
            return false;
        }
        const int number = static_cast<int>(snap.Materials.size());
        snap.Materials.emplace_back(nameView);
        const std::string &name = snap.Materials.back();

        const TJsonTree::Node pens = tree.Member(entry, "pens");
        if (tree.IsMissing(pens))
            continue; // a material without pens may leave the list out
        if (tree.KindOf(pens) != Kind::Array) {
            error = "material \"" + name + "\": \"pens\" is not a list";
            return false;
        }
        std::unordered_map<int, TPens *> penRecords; // of this material
        size_t p = 0;
        for (TJsonTree::Node penValue = tree.First(pens); penValue != TJsonTree::NoNode;
             penValue = tree.Next(penValue), ++p) {
            if (tree.KindOf(penValue) != Kind::Object) {
                error = FieldReader::PenWhere(name, p) + " is not an object";
                return false;
            }
            auto rec = std::make_unique<TPens>();
            if (!ReadPen(tree, penValue, number, name, p, *rec, error))
                return false;
            // A number clamped onto another record's number updates that
            // record, as adding it in the editor would.
            TPens *&same = penRecords[rec->pen];
            if (same) {
                snap.Notes.push_back("Material library: " + FieldReader::PenWhere(name, p) + " repeats pen " +
                                     std::to_string(rec->pen) + "; the later record is used");
                same->AssignValues(*rec);
            } else {
                same = rec.get();
                snap.PenTable.push_back(std::move(rec));
            }
        }
    }
    const TJsonTree::Node sel = tree.Member(root, "selectedMaterial");
    const int selected = tree.KindOf(sel) == Kind::Number ? static_cast<int>(std::clamp(tree.Number(sel), -1.0, 1e9)) : 0;
    snap.Selected = NormalisedSelection(selected, static_cast<int>(snap.Materials.size()));
    out = std::move(snap);
    return true;
}

// -------------------------------------------------------------- files ---

bool ReadLibraryBytes(const std::string &path, std::string &bytes, std::string &error)
{
    int why = 0;
    switch (ReadRegularFile(path, static_cast<size_t>(kMaxLibraryFileSize), bytes, why)) {
    case TFileRead::Read:
        return true;
    case TFileRead::CannotRead:
        error = std::string("the file cannot be read: ") + std::strerror(why);
        return false;
    case TFileRead::NotRegular:
        error = "the file cannot be read: it is not a regular file";
        return false;
    case TFileRead::TooLarge:
        error = "the file is too large to be a material library";
        return false;
    }
    return false;
}

void InstallLibrary(TMaterialLibrary &library, TLibrarySnapshot &&snapshot)
{
    library.Assign(std::move(snapshot.Materials), std::move(snapshot.PenTable), snapshot.Selected);
}

} // namespace grittor
