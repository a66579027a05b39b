#include "service/Memory.h"

namespace grittor {

TMemoryForm::TMemoryForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("MemoryForm");
    setWindowTitle("Memory Dump");
}

} // namespace grittor
