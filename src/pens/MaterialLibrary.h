// The material library and the pen table as the rest of the program uses
// them: the selected material, the pen records of a material, and the
// library operations of the material window.  The lists themselves belong to
// the settings object (Options().Materials and Options().PenTable).
#pragma once

#include "pens/TPens.h"

#include <string>
#include <vector>

namespace grittor {

// The material chosen when the material window last closed; -1 for none.
// The job queue sets it to a queued job's material before running the job.
int SelectedMaterial();
void SetSelectedMaterial(int material);

// First record of the pen table whose Material and pen equal the arguments,
// or nullptr.
TPens *FindPen(int material, int pen);

// The records of one material, in pen-table order.
std::vector<TPens *> PensOfMaterial(int material);

// Number of pen records of one material.
int CountPensOfMaterial(int material);

// The record of (material, pen); a new record, appended to the pen table with
// only Material and pen set, when there is none.
TPens &FindOrAddPen(int material, int pen);

// Copies the records of the given pen numbers from one material to another,
// updating the destination's record or appending one; numbers without a
// record in `from` are skipped.  Returns how many were copied.
int CopyPens(int from, int to, const std::vector<int> &pens);

int MaterialCount();
bool IsMaterialIndex(int material);
// Names are compared exactly, letter case included.
bool MaterialNameExists(const std::string &name);

// Appends a material and returns its number; -1 (nothing changed) when the
// name is empty or already present.
int AddMaterial(const std::string &name);

// Renames a material; false (nothing changed) when the number is not a
// material, or the name is empty or already present (its own name included).
// Pen records keep their material number and so follow the rename.
bool RenameMaterial(int material, const std::string &name);

// Removes a material and its pen records; the records of later materials
// move down one number with it.  The selected material follows its record:
// a later one moves down, the deleted one becomes whatever moved into its
// place, or the first material, or none.
void DeleteMaterial(int material);

} // namespace grittor
