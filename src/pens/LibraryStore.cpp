#include "pens/LibraryStore.h"

#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "pens/JsonTree.h"
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
#include <unordered_map>
#include <unordered_set>

namespace grittor {

namespace {

const char *const kFileName = "Grittor Materials.json";
const char *const kFormat = "Grittor material library";
constexpr int kVersion = 1;
// Far beyond any real library (20,000 materials of 11 pens as the program
// writes them take about 110 MB); keeps a wrongly chosen file from filling
// memory.
constexpr qint64 kMaxFileSize = 256LL * 1024 * 1024;

// Material names and messages are UTF-8 text from the file to the screen and
// the command line (files written before held the same characters, so they
// read the same).  File names are the system's bytes.
QString Q(const std::string &s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string S(const QString &s)
{
    return s.toUtf8().toStdString();
}
QString QPath(const std::string &path)
{
    return QFile::decodeName(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
}
std::string SPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
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

// The fields of one pen record.  `where` names the record in a message; it
// is made only when a field is wrong.
class FieldReader {
public:
    FieldReader(const TJsonTree &tree, TJsonTree::Node obj, const std::string &material, qsizetype record,
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

    static std::string PenWhere(const std::string &material, qsizetype record)
    {
        return "material \"" + material + "\", pen record " + std::to_string(record + 1);
    }

private:
    const TJsonTree &tree_;
    TJsonTree::Node obj_;
    const std::string &material_;
    qsizetype record_;
    std::string &error_;
};

// One pen record, assigned in the editor's order so that passes come before
// Times and radius and vertper before the margins.
bool ReadPen(const TJsonTree &tree, TJsonTree::Node obj, int material, const std::string &materialName,
             qsizetype record, TPens &rec, std::string &error)
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
        error = "the folder \"" + SPath(info.absolutePath()) + "\" cannot be created";
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
    // Each material's records in table order, found in one pass.
    std::vector<std::vector<const TPens *>> byMaterial(materials.size());
    for (const auto &rec : penTable)
        if (rec->Material >= 0 && static_cast<size_t>(rec->Material) < materials.size())
            byMaterial[static_cast<size_t>(rec->Material)].push_back(rec.get());
    QJsonArray list;
    for (size_t m = 0; m < materials.size(); ++m) {
        QJsonArray pens;
        for (const TPens *rec : byMaterial[m])
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
    if (!tree.IsMissing(format) && (tree.KindOf(format) != Kind::String || tree.Text(format) != kFormat)) {
        error = "not a material library (\"format\" is not \"" + std::string(kFormat) + "\")";
        return false;
    }
    const TJsonTree::Node version = tree.Member(root, "version");
    if (!tree.IsMissing(version)) {
        const double v = tree.KindOf(version) == Kind::Number ? tree.Number(version) : 0;
        if (tree.KindOf(version) != Kind::Number || v != std::floor(v) || v < 1) {
            error = "\"version\" is not a whole number";
            return false;
        }
        if (v > kVersion) {
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
    qsizetype m = 0;
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
        qsizetype p = 0;
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
                LogEntry("Material library: " + FieldReader::PenWhere(name, p) + " repeats pen " +
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

bool ReadLibraryFile(const std::string &path, TLibrarySnapshot &out, std::string &error)
{
    QFile file(QPath(path));
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
    return WriteBytes(QPath(path), QByteArray(json.data(), static_cast<qsizetype>(json.size())), error);
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
    if (!QFileInfo::exists(QPath(path_)))
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
    QFile::remove(QPath(badPath));
    QFile source(QPath(path_));
    if (!source.copy(QPath(badPath)))
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
