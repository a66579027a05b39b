// The copy dialog of the pen editor: choose a material and the pens 0 to 9
// whose records are copied into the material being edited.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

class QComboBox;
class QDialogButtonBox;
class QListWidget;

namespace grittor {

class TMaterialLibrary;

class TCopyForm : public QDialog {
    Q_OBJECT
public:
    // Lists the materials of `library`.
    explicit TCopyForm(const TMaterialLibrary &library, QWidget *parent = nullptr);

    // Runs FormShow, then the modal loop through ModalRunner; the result is
    // QDialog::Accepted when the operator pressed OK.
    int ShowModal();
    // How the window is shown modally; tests replace it so nothing blocks.
    static std::function<int(TCopyForm &)> ModalRunner;

    void FormShow();

    // The chosen material (-1 for none) and the chosen pen numbers, ascending.
    int ChosenMaterial() const;
    std::vector<int> ChosenPens() const;

    // Controls, by their names.
    QComboBox *Material = nullptr;
    QListWidget *Pens = nullptr;
    QDialogButtonBox *Buttons = nullptr;

private:
    const TMaterialLibrary &library_;
};

} // namespace grittor
