// The main window's pen parameters command.
#pragma once

class QWidget;

namespace grittor {

class TLibraryStore;

// Writes "PenParameters1MenuClick" to the debug log, shows the material
// window modally and then the pen editor for the chosen material.
void PenParameters1Click(QWidget *parent, TLibraryStore &store);

} // namespace grittor
