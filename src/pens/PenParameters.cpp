#include "pens/PenParameters.h"

#include "foundation/LogOutput.h"
#include "pens/PenForm.h"
#include "pens/SelectMaterialForm.h"

namespace grittor {

void PenParameters1Click(QWidget *parent, TLibraryStore &store)
{
    LogEntry("PenParameters1MenuClick");
    {
        TSelectMaterialForm materials(store, parent);
        materials.ShowModal();
    }
    TPenForm pens(store, parent);
    pens.ShowModal();
}

} // namespace grittor
