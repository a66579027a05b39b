// The material window: adds, renames and deletes materials, chooses the one
// the pen editor, the plot colours and the job use, and exports or imports
// the whole library.
#pragma once

#include "pens/CloseQueryDialog.h"

#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace grittor {

class TLibraryStore;
class TMaterialLibrary;

class TSelectMaterialForm : public TCloseQueryDialog {
    Q_OBJECT
public:
    // Edits the library of `store` and saves it there on closing.
    explicit TSelectMaterialForm(TLibraryStore &store, QWidget *parent = nullptr);
    ~TSelectMaterialForm() override;

    // Runs FormShow, then the modal loop through ModalRunner.
    int ShowModal();
    // How the window is shown modally; tests replace it so nothing blocks.
    static std::function<int(TSelectMaterialForm &)> ModalRunner;

    void FormShow();
    void RefreshMaterialList();
    // True when the window may close; sets the selected material either way.
    bool FormCloseQuery() override;
    void FormClose() override;

    void AddButtonClick();
    void ChangeNameButtonClick();
    void DeleteButtonClick();
    void ExportButtonClick();
    void ImportButtonClick();

    // Controls, by their names.
    QGroupBox *MaterialGroup = nullptr;
    QListWidget *MaterialList = nullptr;
    QLabel *NewMaterialLabel = nullptr;
    QLineEdit *NewMaterialName = nullptr;
    QPushButton *AddButton = nullptr;
    QPushButton *ChangeNameButton = nullptr;
    QPushButton *DeleteButton = nullptr;
    QPushButton *ExportButton = nullptr;
    QPushButton *ImportButton = nullptr;
    QPushButton *OKButton = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    std::string NewName() const;
    TMaterialLibrary &Library();

    TLibraryStore &store_;
};

} // namespace grittor
