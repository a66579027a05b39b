#include "pens/MaterialLibrary.h"

#include <algorithm>

namespace grittor {

const TPens *TMaterialPens::Find(int pen) const
{
    for (const TPens &rec : Pens)
        if (rec.pen == pen)
            return &rec;
    return nullptr;
}

std::array<bool, 11> TMaterialPens::BorderFlags() const
{
    std::array<bool, 11> flags{};
    for (const TPens &rec : Pens)
        if (rec.pen >= 0 && rec.pen < static_cast<int>(flags.size())) // the setter keeps pen within 0..10
            flags[static_cast<size_t>(rec.pen)] = rec.border != 0;
    return flags;
}

TPenColors TMaterialPens::PenColors() const
{
    TPenColors colors;
    colors.fill(NoPenColor);
    for (const TPens &rec : Pens) {
        if (rec.pen < 0 || rec.pen >= PenColorSlots)
            continue;
        const int color = std::clamp<int>(rec.Color, 0, PenColorCount - 1);
        colors[static_cast<size_t>(rec.pen)] = PenColorTable[color].Value;
    }
    return colors;
}

int NormalisedSelection(int selected, int count)
{
    if (selected >= 0 && selected < count)
        return selected;
    return count > 0 ? 0 : -1;
}

const std::string &TMaterialLibrary::MaterialName(int material) const
{
    static const std::string none;
    return IsMaterialIndex(material) ? names_[static_cast<size_t>(material)] : none;
}

int TMaterialLibrary::FindMaterial(const std::string &name) const
{
    const auto it = std::find(names_.begin(), names_.end(), name);
    return it == names_.end() ? -1 : static_cast<int>(it - names_.begin());
}

int TMaterialLibrary::AddMaterial(const std::string &name)
{
    if (name.empty() || MaterialNameExists(name))
        return -1;
    names_.push_back(name);
    return MaterialCount() - 1;
}

bool TMaterialLibrary::RenameMaterial(int material, const std::string &name)
{
    if (!IsMaterialIndex(material) || name.empty() || MaterialNameExists(name))
        return false;
    names_[static_cast<size_t>(material)] = name;
    return true;
}

void TMaterialLibrary::DeleteMaterial(int material)
{
    if (!IsMaterialIndex(material))
        return;
    std::erase_if(table_, [material](const std::unique_ptr<TPens> &r) { return r->Material == material; });
    for (auto &rec : table_)
        if (rec->Material > material)
            --rec->Material;
    names_.erase(names_.begin() + material);

    int selected = selected_;
    if (selected > material)
        --selected;
    const int count = MaterialCount();
    if (selected < 0 || selected >= count)
        selected = count > 0 ? (material < count ? material : 0) : -1;
    selected_ = selected;
}

TPens *TMaterialLibrary::FindPen(int material, int pen)
{
    return const_cast<TPens *>(static_cast<const TMaterialLibrary &>(*this).FindPen(material, pen));
}

const TPens *TMaterialLibrary::FindPen(int material, int pen) const
{
    for (const auto &rec : table_)
        if (rec->Material == material && rec->pen == pen)
            return rec.get();
    return nullptr;
}

std::vector<TPens *> TMaterialLibrary::PensOfMaterial(int material)
{
    std::vector<TPens *> out;
    for (auto &rec : table_)
        if (rec->Material == material)
            out.push_back(rec.get());
    return out;
}

std::vector<const TPens *> TMaterialLibrary::PensOfMaterial(int material) const
{
    std::vector<const TPens *> out;
    for (const auto &rec : table_)
        if (rec->Material == material)
            out.push_back(rec.get());
    return out;
}

int TMaterialLibrary::CountPensOfMaterial(int material) const
{
    return static_cast<int>(
        std::count_if(table_.begin(), table_.end(), [material](const auto &r) { return r->Material == material; }));
}

TPens &TMaterialLibrary::FindOrAddPen(int material, int pen)
{
    if (TPens *found = FindPen(material, pen))
        return *found;
    auto rec = std::make_unique<TPens>();
    rec->Material = material;
    rec->pen = pen;
    TPens &ref = *rec;
    table_.push_back(std::move(rec));
    return ref;
}

TPens *TMaterialLibrary::PenAt(int index)
{
    return index >= 0 && index < PenCount() ? table_[static_cast<size_t>(index)].get() : nullptr;
}

bool TMaterialLibrary::RemovePen(const TPens *record)
{
    const auto it =
        std::find_if(table_.begin(), table_.end(), [record](const auto &p) { return p.get() == record; });
    if (it == table_.end())
        return false;
    table_.erase(it);
    return true;
}

int TMaterialLibrary::CopyPens(int from, int to, const std::vector<int> &pens)
{
    int copied = 0;
    for (int number : pens) {
        const TPens *source = FindPen(from, number);
        if (!source)
            continue;
        TPens &dest = FindOrAddPen(to, number);
        dest.AssignValues(*source);
        dest.Material = to;
        ++copied;
    }
    return copied;
}

TMaterialPens TMaterialLibrary::Pens(int material) const
{
    TMaterialPens out;
    if (!IsMaterialIndex(material))
        return out;
    out.Index = material;
    out.Name = names_[static_cast<size_t>(material)];
    for (const auto &rec : table_)
        if (rec->Material == material)
            out.Pens.push_back(*rec);
    return out;
}

void TMaterialLibrary::Assign(std::vector<std::string> names, std::vector<std::unique_ptr<TPens>> table, int selected)
{
    names_ = std::move(names);
    table_ = std::move(table);
    selected_ = NormalisedSelection(selected, MaterialCount());
}

} // namespace grittor
