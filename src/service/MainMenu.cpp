#include "service/MainMenu.h"

namespace grittor {

TMainMenuFrm::TMainMenuFrm(QWidget *parent) : QDialog(parent)
{
    setObjectName("MainMenuFrm");
    setWindowTitle("Main Menu");
}

} // namespace grittor
