#include "service/ReadAndDisplay.h"

namespace grittor {

TReadAndDisplayForm::TReadAndDisplayForm(QWidget *parent) : QDialog(parent)
{
    setObjectName("ReadAndDisplayForm");
    setWindowTitle("Read And Display Bit File");
}

} // namespace grittor
