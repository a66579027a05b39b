#include "pens/MaterialLibrary.h"

#include "foundation/option.h"

#include <algorithm>
#include <atomic>
#include <memory>

namespace grittor {

namespace {
std::atomic<int> g_selectedMaterial{-1};
}

int SelectedMaterial()
{
    return g_selectedMaterial.load();
}
void SetSelectedMaterial(int material)
{
    g_selectedMaterial.store(material);
}

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

int CountPensOfMaterial(int material)
{
    const auto &table = Options().PenTable;
    return static_cast<int>(
        std::count_if(table.begin(), table.end(), [material](const auto &r) { return r->Material == material; }));
}

TPens &FindOrAddPen(int material, int pen)
{
    if (TPens *found = FindPen(material, pen))
        return *found;
    auto rec = std::make_unique<TPens>();
    rec->Material = material;
    rec->pen = pen;
    TPens &ref = *rec;
    Options().PenTable.push_back(std::move(rec));
    return ref;
}

int CopyPens(int from, int to, const std::vector<int> &pens)
{
    int copied = 0;
    for (int number : pens) {
        const TPens *source = FindPen(from, number);
        if (!source)
            continue;
        TPens &dest = FindOrAddPen(to, number);
        // Passes before Times, radius and vertper before margin: their clamps
        // depend on them.
        dest.SetBlowSpeed(source->blowspeed);
        dest.border = source->border;
        dest.SetCenterOffset(source->CenterOffset);
        dest.SetColor(source->Color);
        dest.SetExtra(source->extra);
        dest.fill = source->fill;
        dest.Material = to;
        dest.SetPasses(source->passes);
        dest.SetPen(source->pen);
        dest.SetRadius(source->radius);
        dest.SetScanLine(source->ScanLine);
        dest.SetTimes(source->Times);
        dest.SetVertPer(source->vertper);
        dest.SetMargin(source->margin);
        ++copied;
    }
    return copied;
}

int MaterialCount()
{
    return static_cast<int>(Options().Materials.size());
}

bool IsMaterialIndex(int material)
{
    return material >= 0 && material < MaterialCount();
}

bool MaterialNameExists(const std::string &name)
{
    const auto &names = Options().Materials;
    return std::find(names.begin(), names.end(), name) != names.end();
}

int AddMaterial(const std::string &name)
{
    if (name.empty() || MaterialNameExists(name))
        return -1;
    auto &names = Options().Materials;
    names.push_back(name);
    return static_cast<int>(names.size()) - 1;
}

bool RenameMaterial(int material, const std::string &name)
{
    if (!IsMaterialIndex(material) || name.empty() || MaterialNameExists(name))
        return false;
    Options().Materials[static_cast<size_t>(material)] = name;
    return true;
}

void DeleteMaterial(int material)
{
    if (!IsMaterialIndex(material))
        return;
    Toption &o = Options();
    auto &table = o.PenTable;
    for (size_t i = 0; i < table.size();) {
        if (table[i]->Material == material) {
            table.erase(table.begin() + static_cast<std::ptrdiff_t>(i));
            continue; // the next record moved into this position
        }
        if (table[i]->Material > material)
            --table[i]->Material;
        ++i;
    }
    o.Materials.erase(o.Materials.begin() + material);

    int selected = SelectedMaterial();
    if (selected > material)
        --selected;
    const int count = static_cast<int>(o.Materials.size());
    if (selected < 0 || selected >= count)
        selected = count > 0 ? (material < count ? material : 0) : -1;
    SetSelectedMaterial(selected);
}

} // namespace grittor
