// Keeping the material library between runs: the material names and every
// pen record in one JSON file in the per-user settings folder.
//
// The file is read once, when the program starts (TLibraryStore::Load), and
// written (through a temporary file that is then renamed over it) when the
// pen editor or the material window closes.  A file that cannot be read or
// parsed is left as it is, copied to "<file>.bad", and the program starts
// with an empty library; the problem goes to the debug log and is handed
// once to the interface.  Values read from any file go through the record's
// setters, so a hand-edited value out of range is clamped, not trusted.
//
// The file, one object per material holding its pens (units as stored:
// radius and ScanLine in plotter units, margin and vertper in inches).  An
// Extended value that a plain JSON number cannot carry exactly is written as
// a string of digits; either form is read.
//
//   { "format": "Grittor material library", "version": 1, "selectedMaterial": 0,
//     "materials": [ { "name": "Granite", "pens": [
//       { "pen": 1, "blowspeed": 12, "border": false, "fill": true, "Color": 13,
//         "radius": 381, "ScanLine": 1200, "vertper": 0.25, "CenterOffset": 0.4,
//         "extra": 0.5, "passes": 3, "Times": 1, "margin": { "x": 0, "y": 0 } } ] } ] }
#pragma once

#include "pens/MaterialLibrary.h"
#include "pens/TPens.h"

#include <memory>
#include <string>
#include <vector>

namespace grittor {

// "<settings folder>/Grittor Materials.json".
std::string MaterialLibraryPath(const std::string &settingsFolder);

// A whole library read from a file and not yet in use.
struct TLibrarySnapshot {
    std::vector<std::string> Materials;
    std::vector<std::unique_ptr<TPens>> PenTable;
    int Selected = -1; // a material number, or -1 when there are none
    // What was read otherwise than written (a pen repeated within a
    // material), one debug-log line each.
    std::vector<std::string> Notes;
    int PenCount() const { return static_cast<int>(PenTable.size()); }
};

// The library as JSON text, and back.  Parsing is all or nothing: on failure
// `error` says where and `out` is left empty.
std::string LibraryToJson(const TMaterialLibrary &library);
bool LibraryFromJson(const std::string &json, TLibrarySnapshot &out, std::string &error);

// Reads and parses a library file, its notes written to the debug log; false
// with a reason when it cannot.
bool ReadLibraryFile(const std::string &path, TLibrarySnapshot &out, std::string &error);
// The bytes of a library file (a regular file of at most 256 MiB); false
// with a reason when it cannot be read.
bool ReadLibraryBytes(const std::string &path, std::string &bytes, std::string &error);
// Writes a library to `path` atomically; false with a reason when it cannot.
bool WriteLibraryFile(const TMaterialLibrary &library, const std::string &path, std::string &error);

// Replaces a library's contents (and its selected material) by a snapshot.
void InstallLibrary(TMaterialLibrary &library, TLibrarySnapshot &&snapshot);

enum class LibrarySaveResult { Written, Kept, Failed };

// A library together with the file it lives in.  A file that could not be
// read at start is protected: it is only replaced after the operator agrees
// (and an empty library never replaces it).
class TLibraryStore {
public:
    TLibraryStore(TMaterialLibrary &library, std::string path);

    TMaterialLibrary &Library() { return library_; }
    const TMaterialLibrary &Library() const { return library_; }
    const std::string &Path() const { return path_; }

    // Reads the file into the library (an absent file: an empty library).
    // A file that cannot be read or parsed is left as it is, copied to
    // "<file>.bad", the library is emptied and the problem is kept for
    // TakeLoadProblem.
    void Load();
    // The problem met by the last Load, once; empty afterwards and when
    // there was none.
    std::string TakeLoadProblem();
    // Writes the library to its file.  `error` is set for Failed.
    LibrarySaveResult Save(std::string &error);
    // Writes the library to a file of the operator's choosing.
    bool Export(const std::string &path, std::string &error) const;

private:
    TMaterialLibrary &library_;
    std::string path_;
    std::string loadProblem_;
    bool protected_ = false;
};

// "3 materials and 12 pens", "1 material and 1 pen".
std::string DescribeLibrarySize(int materials, int pens);

} // namespace grittor
