#pragma once
// The list editor of the favourite time signatures, kept sorted by numerator.
#include "Dialogs.h"
#include "Forms.h"
#include "StdCtrls.h"

class TTSListEdit : public TForm {
public:
    explicit TTSListEdit(TComponent* Owner);

    TListBox* List;
    TButton* Button1;  // Edit
    TButton* Button2;  // Delete
    TButton* Button3;  // Add
    TButton* Button4;  // Close
    TButton* Button5;  // Select

    void FormCreate(TObject* Sender);
    void FormKeyDown(TObject* Sender, WORD& Key, TShiftState Shift);
    void Button1Click(TObject* Sender);
    void Button2Click(TObject* Sender);
    void Button3Click(TObject* Sender);
    void Button4Click(TObject* Sender);
    void Button5Click(TObject* Sender);
    void ListDblClick(TObject* Sender);

    // Stable: entries with equal numerators keep their order; the selection moves with its entry.
    void SortList();
};

extern TTSListEdit* TSListEdit;
