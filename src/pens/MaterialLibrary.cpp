#include "pens/MaterialLibrary.h"

#include "foundation/option.h"

#include <atomic>

namespace grittor {

namespace {
std::atomic<int> g_selectedMaterial{-1};
}

int SelectedMaterial() { return g_selectedMaterial.load(); }
void SetSelectedMaterial(int material) { g_selectedMaterial.store(material); }

TPens *FindPen(int material, int pen)
{
    for (auto &rec : Options().PenTable)
        if (rec->Material == material && rec->pen == pen)
            return rec.get();
    return nullptr;
}

std::vector<TPens *> PensOfMaterial(int material)
{
    std::vector<TPens *> out;
    for (auto &rec : Options().PenTable)
        if (rec->Material == material)
            out.push_back(rec.get());
    return out;
}

} // namespace grittor
