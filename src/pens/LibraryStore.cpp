#include "pens/LibraryStore.h"

#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "pens/MaterialLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace grittor {

namespace {

const char *const kFileName = "Grittor Materials.json";
const char *const kFormat = "Grittor material library";
constexpr int kVersion = 1;
// Far beyond any real library; keeps a wrongly chosen file from filling memory.
constexpr qint64 kMaxFileSize = 64LL * 1024 * 1024;

QString Q(const std::string &s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString &s)
{
    return s.toLatin1().toStdString();
}

// ------------------------------------------------------------ numbers ---

std::string ShortestDouble(double d)
{
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string ShortestExtended(long double v)
{
    char buf[128];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// An Extended value as a plain JSON number when the number reads back as the
// same Extended value (everything typed with up to 15 digits), otherwise as
// a string with every digit it needs.
QJsonValue ExtendedToJson(long double v)
{
    const double d = static_cast<double>(v);
    long double back = 0;
    if (std::isfinite(d) && ParseExtended(ShortestDouble(d), back) && back == v)
        return QJsonValue(d);
    return QJsonValue(Q(ShortestExtended(v)));
}

class FieldReader {
public:
    FieldReader(const QJsonObject &obj, std::string where, std::string &error)
        : obj_(obj), where_(std::move(where)), error_(error)
    {
    }

    bool Whole(const char *name, int32_t &out)
    {
        const QJsonValue v = obj_.value(name);
        if (v.isDouble()) {
            const double d = v.toDouble();
            if (std::isfinite(d) && d == std::floor(d)) {
                // Beyond 32 bits it can only be out of range; the setter clamps.
                out = d > INT32_MAX ? INT32_MAX : d < INT32_MIN ? INT32_MIN : static_cast<int32_t>(d);
                return true;
            }
        } else if (v.isString()) {
            int n = 0;
            if (ParseInt(S(v.toString()), n)) {
                out = n;
                return true;
            }
        }
        return Fail(name, "a whole number");
    }

    bool Extended(const char *name, long double &out) { return ExtendedValue(obj_.value(name), name, out); }

    bool ExtendedValue(const QJsonValue &v, const char *name, long double &out)
    {
        if (v.isDouble()) {
            // Through the double's shortest text, so 0.4 in the file is the
            // 0.4 the editor would store.
            if (ParseExtended(ShortestDouble(v.toDouble()), out))
                return true;
        } else if (v.isString()) {
            if (ParseExtended(S(v.toString()), out))
                return true;
        }
        return Fail(name, "a number");
    }

    bool Flag(const char *name, uint8_t &out)
    {
        const QJsonValue v = obj_.value(name);
        if (v.isBool()) {
            out = v.toBool() ? 1 : 0;
            return true;
        }
        if (v.isDouble() && std::isfinite(v.toDouble())) {
            out = v.toDouble() != 0 ? 1 : 0;
            return true;
        }
        return Fail(name, "true or false");
    }

    bool Margin(TExtendedPoint &out)
    {
        const QJsonValue v = obj_.value("margin");
        if (!v.isObject())
            return Fail("margin", "an object with \"x\" and \"y\"");
        const QJsonObject m = v.toObject();
        return ExtendedValue(m.value("x"), "margin.x", out.x) && ExtendedValue(m.value("y"), "margin.y", out.y);
    }

    bool Fail(const char *name, const char *what)
    {
        error_ = where_ + ": \"" + name + "\" is missing or not " + what;
        return false;
    }

private:
    const QJsonObject &obj_;
    std::string where_;
    std::string &error_;
};

// One pen record, assigned in the editor's order so that passes come before
// Times and radius and vertper before the margins.
bool ReadPen(const QJsonObject &obj, int material, const std::string &where, TPens &rec, std::string &error)
{
    FieldReader f(obj, where, error);
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

QJsonObject PenToJson(const TPens &p)
{
    QJsonObject o;
    o.insert("pen", p.pen);
    o.insert("blowspeed", p.blowspeed);
    o.insert("border", p.border != 0);
    o.insert("CenterOffset", ExtendedToJson(p.CenterOffset));
    o.insert("Color", p.Color);
    o.insert("extra", ExtendedToJson(p.extra));
    o.insert("fill", p.fill != 0);
    o.insert("radius", p.radius);
    o.insert("vertper", ExtendedToJson(p.vertper));
    o.insert("passes", p.passes);
    o.insert("ScanLine", p.ScanLine);
    o.insert("Times", p.Times);
    QJsonObject m;
    m.insert("x", ExtendedToJson(p.margin.x));
    m.insert("y", ExtendedToJson(p.margin.y));
    o.insert("margin", m);
    return o;
}

bool WriteBytes(const QString &path, const QByteArray &bytes, std::string &error)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        error = "the folder \"" + S(info.absolutePath()) + "\" cannot be created";
        return false;
    }
    // QSaveFile writes a temporary file beside the target and renames it over
    // the target on commit, so a crash never leaves half a library.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = S(file.errorString());
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = S(file.errorString());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = S(file.errorString());
        return false;
    }
    return true;
}

} // namespace

// -------------------------------------------------------------- paths ---

std::string MaterialLibraryPath(const std::string &settingsFolder)
{
    return settingsFolder + "/" + kFileName;
}

std::string DescribeLibrarySize(int materials, int pens)
{
    return std::to_string(materials) + (materials == 1 ? " material and " : " materials and ") + std::to_string(pens) +
           (pens == 1 ? " pen" : " pens");
}

// --------------------------------------------------------------- JSON ---

std::string LibraryToJson(const TMaterialLibrary &library)
{
    const std::vector<std::string> &materials = library.MaterialNames();
    const std::vector<std::unique_ptr<TPens>> &penTable = library.PenTable();
    const int selected = library.Selected();
    QJsonArray list;
    for (size_t m = 0; m < materials.size(); ++m) {
        QJsonArray pens;
        for (const auto &rec : penTable)
            if (rec->Material == static_cast<int>(m))
                pens.append(PenToJson(*rec));
        QJsonObject entry;
        entry.insert("name", Q(materials[m]));
        entry.insert("pens", pens);
        list.append(entry);
    }
    QJsonObject root;
    root.insert("format", kFormat);
    root.insert("version", kVersion);
    root.insert("selectedMaterial", NormalisedSelection(selected, static_cast<int>(materials.size())));
    root.insert("materials", list);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

bool LibraryFromJson(const std::string &json, TLibrarySnapshot &out, std::string &error)
{
    out = TLibrarySnapshot{};
    QJsonParseError parseError;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = "not valid JSON at character " + std::to_string(parseError.offset) + ": " + S(parseError.errorString());
        return false;
    }
    if (!doc.isObject()) {
        error = "not a material library (the file does not hold a JSON object)";
        return false;
    }
    const QJsonObject root = doc.object();
    if (root.contains("format") && root.value("format").toString() != kFormat) {
        error = "not a material library (\"format\" is not \"" + std::string(kFormat) + "\")";
        return false;
    }
    if (root.contains("version")) {
        const QJsonValue v = root.value("version");
        if (!v.isDouble() || v.toDouble() != std::floor(v.toDouble()) || v.toDouble() < 1) {
            error = "\"version\" is not a whole number";
            return false;
        }
        if (v.toDouble() > kVersion) {
            error = "written by a newer version of the program (library version " +
                    std::to_string(static_cast<long long>(v.toDouble())) + ")";
            return false;
        }
    }
    if (!root.value("materials").isArray()) {
        error = "not a material library (\"materials\" is missing or not a list)";
        return false;
    }

    TLibrarySnapshot snap;
    const QJsonArray materials = root.value("materials").toArray();
    for (qsizetype m = 0; m < materials.size(); ++m) {
        const std::string where = "material " + std::to_string(m + 1);
        if (!materials[m].isObject()) {
            error = where + " is not an object";
            return false;
        }
        const QJsonObject entry = materials[m].toObject();
        const QJsonValue nameValue = entry.value("name");
        const std::string name = S(nameValue.toString());
        if (!nameValue.isString() || name.empty()) {
            error = where + ": \"name\" is missing or empty";
            return false;
        }
        for (const auto &existing : snap.Materials)
            if (existing == name) {
                error = "the material name \"" + name + "\" appears twice";
                return false;
            }
        const int number = static_cast<int>(snap.Materials.size());
        snap.Materials.push_back(name);

        const QJsonValue pensValue = entry.value("pens");
        if (pensValue.isUndefined())
            continue; // a material without pens may leave the list out
        if (!pensValue.isArray()) {
            error = "material \"" + name + "\": \"pens\" is not a list";
            return false;
        }
        const QJsonArray pens = pensValue.toArray();
        for (qsizetype p = 0; p < pens.size(); ++p) {
            const std::string penWhere = "material \"" + name + "\", pen record " + std::to_string(p + 1);
            if (!pens[p].isObject()) {
                error = penWhere + " is not an object";
                return false;
            }
            auto rec = std::make_unique<TPens>();
            if (!ReadPen(pens[p].toObject(), number, penWhere, *rec, error))
                return false;
            // A number clamped onto another record's number updates that
            // record, as adding it in the editor would.
            TPens *same = nullptr;
            for (auto &r : snap.PenTable)
                if (r->Material == number && r->pen == rec->pen)
                    same = r.get();
            if (same) {
                LogEntry("Material library: " + penWhere + " repeats pen " + std::to_string(rec->pen) +
                         "; the later record is used");
                same->AssignValues(*rec);
            } else {
                snap.PenTable.push_back(std::move(rec));
            }
        }
    }
    int selected = 0;
    const QJsonValue sel = root.value("selectedMaterial");
    selected = sel.isDouble() ? static_cast<int>(std::clamp(sel.toDouble(), -1.0, 1e9)) : 0;
    snap.Selected = NormalisedSelection(selected, static_cast<int>(snap.Materials.size()));
    out = std::move(snap);
    return true;
}

// -------------------------------------------------------------- files ---

bool ReadLibraryFile(const std::string &path, TLibrarySnapshot &out, std::string &error)
{
    QFile file(Q(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = "the file cannot be read: " + S(file.errorString());
        return false;
    }
    if (file.size() > kMaxFileSize) {
        error = "the file is too large to be a material library";
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = "the file cannot be read: " + S(file.errorString());
        return false;
    }
    return LibraryFromJson(bytes.toStdString(), out, error);
}

bool WriteLibraryFile(const TMaterialLibrary &library, const std::string &path, std::string &error)
{
    const std::string json = LibraryToJson(library);
    return WriteBytes(Q(path), QByteArray(json.data(), static_cast<qsizetype>(json.size())), error);
}

void InstallLibrary(TMaterialLibrary &library, TLibrarySnapshot &&snapshot)
{
    library.Assign(std::move(snapshot.Materials), std::move(snapshot.PenTable), snapshot.Selected);
}

// -------------------------------------------------------------- store ---

TLibraryStore::TLibraryStore(TMaterialLibrary &library, std::string path)
    : library_(library), path_(std::move(path))
{
}

void TLibraryStore::Load()
{
    loadProblem_.clear();
    protected_ = false;
    library_.Clear();
    if (!QFileInfo::exists(Q(path_)))
        return; // first run: an empty library

    TLibrarySnapshot snap;
    std::string reason;
    if (ReadLibraryFile(path_, snap, reason)) {
        InstallLibrary(library_, std::move(snap));
        return;
    }

    // Keep the file for the operator to repair, with a copy beside it.
    const std::string badPath = path_ + ".bad";
    std::string copyNote = "a copy was saved as\r\n\"" + badPath + "\".";
    QFile::remove(Q(badPath));
    QFile source(Q(path_));
    if (!source.copy(Q(badPath)))
        copyNote = "no copy could be made (" + S(source.errorString()) + ").";

    loadProblem_ = "The material library could not be loaded from\r\n\"" + path_ + "\":\r\n" + reason +
                   "\r\n\r\nThe file is left as it is and " + copyNote +
                   "\r\nThe program starts with an empty material library.";
    LogEntry("Material library not loaded from \"" + path_ + "\": " + reason);
    protected_ = true;
}

std::string TLibraryStore::TakeLoadProblem()
{
    std::string message;
    message.swap(loadProblem_);
    return message;
}

LibrarySaveResult TLibraryStore::Save(std::string &error)
{
    if (protected_) {
        if (library_.MaterialCount() == 0)
            return LibrarySaveResult::Kept; // nothing worth replacing it with
        const std::string question =
            "The material library file\r\n\"" + path_ +
            "\"\r\ncould not be read when the program started and has been left as it is.\r\n"
            "Replace it with the current library of " +
            DescribeLibrarySize(library_.MaterialCount(), library_.PenCount()) + "?";
        if (!GetDialogs().Confirm(question)) {
            LogEntry("Material library not saved: the unreadable file \"" + path_ + "\" was kept");
            return LibrarySaveResult::Kept;
        }
    }
    if (!WriteLibraryFile(library_, path_, error)) {
        LogEntry("Material library not saved to \"" + path_ + "\": " + error);
        return LibrarySaveResult::Failed;
    }
    protected_ = false;
    return LibrarySaveResult::Written;
}

bool TLibraryStore::Export(const std::string &path, std::string &error) const
{
    if (!WriteLibraryFile(library_, path, error)) {
        LogEntry("Material library not exported to \"" + path + "\": " + error);
        return false;
    }
    LogEntry("Material library exported to \"" + path + "\"");
    return true;
}

} // namespace grittor
