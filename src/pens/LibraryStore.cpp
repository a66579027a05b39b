#include "pens/LibraryStore.h"

#include "foundation/Dialogs.h"
#include "foundation/LogOutput.h"
#include "pens/LibraryFormat.h"
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
    root.insert("format", kLibraryFormat);
    root.insert("version", kLibraryVersion);
    root.insert("selectedMaterial", NormalisedSelection(selected, static_cast<int>(materials.size())));
    root.insert("materials", list);
    return QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}


// -------------------------------------------------------------- files ---

bool ReadLibraryFile(const std::string &path, TLibrarySnapshot &out, std::string &error)
{
    out = TLibrarySnapshot{};
    std::string bytes;
    if (!ReadLibraryBytes(path, bytes, error) || !LibraryFromJson(bytes, out, error))
        return false;
    for (const std::string &note : out.Notes)
        LogEntry(note);
    return true;
}


bool WriteLibraryFile(const TMaterialLibrary &library, const std::string &path, std::string &error)
{
    const std::string json = LibraryToJson(library);
    return WriteBytes(QPath(path), QByteArray(json.data(), static_cast<qsizetype>(json.size())), error);
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
