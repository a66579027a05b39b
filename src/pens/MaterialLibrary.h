// The material library and the pen table as the rest of the program reads
// them: the selected material and the pen records of a material.
#pragma once

#include "pens/TPens.h"

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

} // namespace grittor
