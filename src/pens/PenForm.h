// The pen editor ("Pen Parameter"): the pen records of one material, with
// the blast parameters of the chosen record in edits beside the list.
#pragma once

#include "pens/CloseQueryDialog.h"

#include <functional>
#include <map>
#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace grittor {

class TLibraryStore;
class TMaterialLibrary;
class TPens;
class TPenListBox;
class TPenListDelegate;
class TRadioGroup;

class TPenForm : public TCloseQueryDialog {
    Q_OBJECT
public:
    // Edits the records of the library of `store` and saves it there on closing.
    explicit TPenForm(TLibraryStore &store, QWidget *parent = nullptr);
    ~TPenForm() override;

    // Runs FormShow, then the modal loop through ModalRunner.
    int ShowModal();
    // How the window is shown modally; tests replace it so nothing blocks.
    static std::function<int(TPenForm &)> ModalRunner;

    void FormShow();
    void UpdateList();
    void PenListClick();
    void ColorListCBChange();
    void ScanLineChange();
    // Stores the edits as the record of the pen number; false (with a
    // message, nothing stored) when the pen number or the colour is refused.
    bool AddButtonClick();
    void DeleteButtonClick();
    void CopyButtonClick();
    bool Changed();
    void ClearChanged();
    // True when the window may close.
    bool FormCloseQuery() override;
    void FormClose() override;

    // The material being edited.
    int CurrentMaterial = -1;
    // Radio and colour indexes when the editor was last loaded or saved.
    int SavedBorder = -1;
    int SavedColor = -1;
    int SavedFill = -1;

    // Controls, by their names.
    QGroupBox *PenGroupBox = nullptr;
    QLabel *PenListHeaderLabel = nullptr;
    QListWidget *PenList = nullptr;
    QLineEdit *PenNumber = nullptr;
    QLineEdit *DrawSpeed = nullptr;
    QLineEdit *Radius = nullptr;
    QLineEdit *ScanLine = nullptr;
    QLineEdit *Margin = nullptr;
    QLineEdit *Marginy = nullptr;
    QLineEdit *CenterOffset = nullptr;
    QLineEdit *passes = nullptr;
    QLineEdit *Times = nullptr;
    QLineEdit *Extra = nullptr;
    QLineEdit *VertPer = nullptr;
    QComboBox *ColorListCB = nullptr;
    TRadioGroup *border = nullptr;
    TRadioGroup *Fill = nullptr;
    QLabel *MarginXLabel = nullptr;
    QLabel *MarginYLabel = nullptr;
    QPushButton *AddButton = nullptr;
    QPushButton *DeleteButton = nullptr;
    QPushButton *CopyButton = nullptr;
    QPushButton *OKButton = nullptr;

protected:

private:
    void FormCreate();
    void BuildControls();
    void LoadDefaults();
    void LoadRecord(const TPens &rec);
    // Selects the line of a record without running PenListClick; false when
    // the record has no line.
    bool SelectRecordLine(const TPens *rec);
    TPens *RecordOfRow(int row) const;
    TMaterialLibrary &Library() const;
    // Shows a value in an edit and remembers the exact value behind the
    // rounded text, so an edit the operator leaves alone stores the value
    // it was loaded with, not its rounded text.
    void ShowExact(QLineEdit *edit, const std::string &text, long double value);
    long double DecimalField(QLineEdit *edit) const;
    int32_t InchField(QLineEdit *edit) const;

    struct Shown {
        QString text;
        long double value = 0;
    };
    std::map<const QLineEdit *, Shown> shown_;
    const TPens *loaded_ = nullptr; // the record the edits were loaded from
    TPenListBox *listBox_ = nullptr;
    TPenListDelegate *delegate_ = nullptr;
    TLibraryStore &store_;
};

} // namespace grittor
