#include "pens/PenParameters.h"

#include "foundation/LogOutput.h"
#include "pens/PenForm.h"
#include "pens/SelectMaterialForm.h"

namespace grittor {

void PenParameters1Click(QWidget *parent)
{
    LogEntry("PenParameters1MenuClick");
    {
        TSelectMaterialForm materials(parent);
        materials.ShowModal();
    }
    TPenForm pens(parent);
    pens.ShowModal();
}

} // namespace grittor
