// The material library: the material names, the pen table (every pen record
// of every material) and the selected material.  One instance is made by the
// program's entry point (grittor, grittor-cli) and handed to the windows that
// edit it; the rest of the program receives what it needs of it as a
// TMaterialPens value (a copy of one material's records), never the library.
#pragma once

#include "foundation/option.h"
#include "pens/TPens.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace grittor {

// One material's name and pen records, copied out of the library: what a
// plot's display, its outline collection and its job need of a material.
// An empty value (no material chosen) has no records; every pen then uses
// the settings' defaults.
struct TMaterialPens {
    int Index = -1;
    std::string Name;
    std::vector<TPens> Pens; // in pen-table order

    // The record of pen number `pen`, or nullptr.
    const TPens *Find(int pen) const;
    // The record a plot pen uses: plot pens above 9 share the record of
    // their last digit.
    const TPens *ForPlotPen(int plotPen) const { return plotPen < 0 ? nullptr : Find(plotPen % 10); }
    // Border flag per pen record number 0..10.
    std::array<bool, 11> BorderFlags() const;
    // The plot's line colours on screen: each record's colour at its pen
    // number, NoPenColor for pens without a record.
    TPenColors PenColors() const;
};

class TMaterialLibrary {
public:
    TMaterialLibrary() = default;
    TMaterialLibrary(const TMaterialLibrary &) = delete;
    TMaterialLibrary &operator=(const TMaterialLibrary &) = delete;

    // ---- materials
    int MaterialCount() const { return static_cast<int>(names_.size()); }
    bool IsMaterialIndex(int material) const { return material >= 0 && material < MaterialCount(); }
    // "" for a number that is not a material.
    const std::string &MaterialName(int material) const;
    const std::vector<std::string> &MaterialNames() const { return names_; }
    // The number of the material of that name (compared exactly), or -1.
    int FindMaterial(const std::string &name) const;
    bool MaterialNameExists(const std::string &name) const { return FindMaterial(name) >= 0; }
    // Appends a material and returns its number; -1 (nothing changed) when
    // the name is empty or already present.
    int AddMaterial(const std::string &name);
    // Renames a material; false (nothing changed) when the number is not a
    // material, or the name is empty or already present (its own included).
    // Pen records keep their material number and so follow the rename.
    bool RenameMaterial(int material, const std::string &name);
    // Removes a material and its pen records; the records of later
    // materials move down one number with it.  The selected material
    // follows its record: a later one moves down, the deleted one becomes
    // whatever moved into its place, or the first material, or none.
    void DeleteMaterial(int material);

    // ---- the selected material (-1 for none)
    int Selected() const { return selected_; }
    void SetSelected(int material) { selected_ = material; }

    // ---- pen records
    const std::vector<std::unique_ptr<TPens>> &PenTable() const { return table_; }
    int PenCount() const { return static_cast<int>(table_.size()); }
    // First record whose Material and pen equal the arguments, or nullptr.
    TPens *FindPen(int material, int pen);
    const TPens *FindPen(int material, int pen) const;
    // The records of one material, in pen-table order.
    std::vector<TPens *> PensOfMaterial(int material);
    std::vector<const TPens *> PensOfMaterial(int material) const;
    int CountPensOfMaterial(int material) const;
    // The record of (material, pen); a new record, appended with only
    // Material and pen set, when there is none.
    TPens &FindOrAddPen(int material, int pen);
    // The record at `index` of the pen table, or nullptr.
    TPens *PenAt(int index);
    // Removes one record of the pen table; false when it is not there.
    bool RemovePen(const TPens *record);
    // Copies the records of the given pen numbers from one material to
    // another, updating the destination's record or appending one; numbers
    // without a record in `from` are skipped.  Returns how many were copied.
    int CopyPens(int from, int to, const std::vector<int> &pens);

    // ---- as values
    // A copy of one material's records (an empty value for -1 or a number
    // that is not a material).
    TMaterialPens Pens(int material) const;
    TMaterialPens SelectedPens() const { return Pens(selected_); }

    // Replaces everything: names, records (their Material numbers index
    // `names`) and the selection (normalised to a material, or -1 when
    // there are none).
    void Assign(std::vector<std::string> names, std::vector<std::unique_ptr<TPens>> table, int selected);
    void Clear() { Assign({}, {}, -1); }

private:
    std::vector<std::string> names_;
    std::vector<std::unique_ptr<TPens>> table_;
    int selected_ = -1;
};

// The selection as a library keeps it: a material of `count`, else the
// first one, else -1.
int NormalisedSelection(int selected, int count);

} // namespace grittor
