// The practice-tool column and the pop-up lists: the tools' controls and the engine's tool
// settings, the drum-beat and MIDI-file choosers, the favourite time signatures, settings files.
#include <algorithm>
#include <cmath>

#include "FileFunctions.h"
#include "HostPath.h"
#include "PxImage.h"
#include "SysUtils.h"
#include "Talarmsetup.h"
#include "Tdevelopervariables.h"
#include "Tmainform.h"
#include "Tmetronomgame.h"
#include "Tmidicontent.h"
#include "Tsettingsform.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "UserStore.h"

namespace {

AnsiString ProgramFolder() { return IncludeTrailingPathDelimiter(GetCurrentDir()); }

// A dialog for the user's own files that would start in the program's folder starts in the
// per-user folder when the program's folder cannot be written (an installation owned by another
// user), so that what is saved is written, listed and found there.
void StartWhereTheUserMayWrite(TOpenDialog* dialog) {
    const AnsiString name = dialog->FileName();
    const AnsiString folder = name.IsEmpty() ? GetCurrentDir() : ExtractFileDir(name);
    if (!tikora::SameHostPath(folder, GetCurrentDir()) || tikora::FolderWritable(folder)) return;
    const AnsiString store = tikora::UserStoreFolder();
    if (store.IsEmpty() || !ForceDirectories(store)) return;
    dialog->SetInitialDir(store);
    if (!name.IsEmpty()) dialog->SetFileName(IncludeTrailingPathDelimiter(store) + ExtractFileName(name));
}

// The file a name leads to, as the title shows it: where it was actually written or read.
AnsiString ActualFile(const AnsiString& name) { return AnsiString(HostPath(name)); }

// A count of beats or bars typed by the user: never below 1, since the tools divide and count
// down by it.
int ToolCount(const AnsiString& text) { return std::max(1, StrToIntDef(text, 1)); }

// The ramp's step in bpm keeps its sign (a falling ramp slows down); only 0 and what is not a
// number become 1, since a step of 0 would be no ramp at all.
int ToolStep(const AnsiString& text) {
    int step = StrToIntDef(text.Trim(), 0);
    return step == 0 ? 1 : step;
}

const char* const kBrowse = "Browse...";
const char* const kBrowseAndAdd = "Browse and add...";

}  // namespace

TMainForm::FileTool TMainForm::DrumTool() const { return {DrumBeatList, DrumBeatButton, CheckBox3, "Drums\\"}; }
TMainForm::FileTool TMainForm::MidiTool() const { return {MidiFileList, MidiFileButton, CheckBox4, "Midi\\"}; }

// ---- Tool settings between the controls and the engine

void TMainForm::ShowToolSettings() {
    TMetronomeGame& e = *engine_;
    CheckBox1->SetChecked(e.Tool1Enabled);
    CheckBox2->SetChecked(e.Tool2Enabled);
    CheckBox5->SetChecked(e.Tool3Enabled);
    CheckBox3->SetChecked(e.Tool4Enabled);
    CheckBox4->SetChecked(e.Tool5Enabled);
    Tool1_Play->SetCaption(IntToStr(e.Tool1PlayBeats));
    Tool1_Rest->SetCaption(IntToStr(e.Tool1RestBeats));
    Tool2_BPM_delta->SetCaption(IntToStr(e.Tool2BPMDelta));
    Tool2_Bars->SetCaption(IntToStr(e.Tool2Bars));
    if (TempoCalculator) {
        TempoCalculator->TempoVal->SetValue(e.Tool3Tempo);
        TempoCalculator->NumberOfBarVal->SetValue(e.Tool3Bars);
        // The duration is stored in minutes (0:29 as 0.4833333); read back to the whole second, a
        // value the user set comes back unchanged however often it is stored.
        const long seconds = std::lround(std::max(0.0, static_cast<double>(e.Tool3Duration)) * 60);
        TempoCalculator->DurationMin->SetValue(static_cast<int>(seconds / 60));
        TempoCalculator->DurationSec->SetValue(static_cast<int>(seconds % 60));
    }
    DrumBeatButton->SetText(ExtractFileName(e.Tool4MidiFile));
    DrumBeatButton->SetCaption(ExtractFilePath(e.Tool4MidiFile));
    MidiFileButton->SetText(ExtractFileName(e.Tool5MidiFile));
    MidiFileButton->SetCaption(ExtractFilePath(e.Tool5MidiFile));
    Tool5_Transp->SetCaption(e.GetSettingsTag()->GetValueAsString("Transpose"));
    ShowFilePicture();
}

void TMainForm::ApplyFileTool(const FileTool& tool, bool& enabled, AnsiString& file) {
    AnsiString path = tool.button->Caption() + tool.button->Text() + ".mid";
    if (tool.checkBox->Checked() && !FileExists(path)) {
        if (!tool.button->Text().IsEmpty()) {
            MessageBeep(0);
            ShowMessage("File not found: " + path);
            tool.button->SetText("");
            tool.button->SetCaption("");
        }
        tool.checkBox->SetChecked(false);
    }
    enabled = tool.checkBox->Checked();
    file = tool.button->Caption() + tool.button->Text();
}

void TMainForm::ApplyToolSettings() {
    TMetronomeGame& e = *engine_;
    ApplyFileTool(DrumTool(), e.Tool4Enabled, e.Tool4MidiFile);
    ApplyFileTool(MidiTool(), e.Tool5Enabled, e.Tool5MidiFile);
    e.Tool1Enabled = CheckBox1->Checked();
    e.Tool1PlayBeats = ToolCount(Tool1_Play->Caption());
    e.Tool1RestBeats = ToolCount(Tool1_Rest->Caption());
    e.Tool2Enabled = CheckBox2->Checked();
    e.Tool2BPMDelta = StrToIntDef(Tool2_BPM_delta->Caption(), 1);
    e.Tool2Bars = ToolCount(Tool2_Bars->Caption());
    e.Tool3Enabled = CheckBox5->Checked();
    if (TempoCalculator) {
        e.Tool3Tempo = TempoCalculator->TempoVal->Value();
        e.Tool3Bars = TempoCalculator->NumberOfBarVal->Value();
        e.Tool3Duration =
            static_cast<float>(TempoCalculator->DurationMin->Value() + TempoCalculator->DurationSec->Value() / 60.0);
    }
    e.GetSettingsTag()->SetInteger("Transpose", StrToIntDef(Tool5_Transp->Caption(), 0));
}

void TMainForm::CheckBox1Click(TObject* Sender) {
    StopButtonClick(this);
    auto* box = dynamic_cast<TZelPanel*>(Sender);
    if (!box) return;
    box->SetChecked(!box->Checked());
    if (box == CheckBox3 && box->Checked()) {
        CheckBox4->SetChecked(false);
        LoadToolFileMeter(DrumBeatButton->Caption() + DrumBeatButton->Text());
    }
    if (box == CheckBox4 && box->Checked()) {
        CheckBox3->SetChecked(false);
        LoadToolFileMeter(MidiFileButton->Caption() + MidiFileButton->Text());
    }
    if (box == CheckBox3 || box == CheckBox4) ShowFilePicture();
}

void TMainForm::LoadToolFileMeter(const AnsiString& path) {
    if (!SettingsChecked(4)) return;
    if (engine_->LoadMidiFile(path + ".mid", true)) {
        ShowTimeSignature();
        ShowTempo(true);
    }
}

void TMainForm::Tool2_BarsClick(TObject* Sender) {
    auto* label = dynamic_cast<TLabel*>(Sender);
    if (!label) return;
    AnsiString value = label->Caption();
    if (InputQuery("Enter new value", "NOTE: Restart the metronome to apply changes!", value))
        label->SetCaption(IntToStr(label == Tool2_BPM_delta ? ToolStep(value) : ToolCount(value)));
}

void TMainForm::Tool5_TranspClick(TObject*) {
    AnsiString value = Tool5_Transp->Caption();
    if (InputQuery("Transpose", "Enter value between -12 and 12", value)) SetTransposition(StrToIntDef(value, 0));
}

// ---- Favourite time signatures

void TMainForm::FillTimeSignatureList() {
    TStringList rows;
    engine_->GetTimeSignatureList(&rows);
    rows.Add("Edit list...");
    TimeSignatureList->SetItems(&rows);
}

void TMainForm::TimeSignatureButtonClick(TObject*) {
    if (TimeSignatureList->Items()->Count() == 0) FillTimeSignatureList();
    TimeSignatureList->SetVisible(!TimeSignatureList->Visible());
    if (TimeSignatureList->Visible()) {
        TimeSignatureList->BringToFront();
        TimeSignatureList->SetMouseCapture(true);
    }
}

void TMainForm::TimeSignatureListMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
    TimeSignatureList->SetVisible(false);
    TimeSignatureList->SetMouseCapture(false);
}

void TMainForm::TimeSignatureListClick(TObject*) {
    TimeSignatureList->SetVisible(false);
    TStringList* items = TimeSignatureList->Items();
    int index = TimeSignatureList->ItemIndex();
    if (index < 0 || index >= items->Count()) return;
    auto apply = [this](const AnsiString& text) {
        if (engine_->SetTimeSignature(text)) {
            engine_->Restart();
            engine_->PrepareTools();
            ShowTimeSignature();
        }
    };
    if (index < items->Count() - 1) {
        apply(items->Strings(index));
        return;
    }
    TListBox* list = TSListEdit->List;
    list->Items()->Clear();
    for (int i = 0; i < items->Count() - 1; ++i) list->Items()->Add(items->Strings(i));
    list->SetItemIndex(list->Items()->IndexOf(engine_->TimeSignatureText));
    if (TSListEdit->ShowModal() == mrOk && list->ItemIndex() >= 0) apply(list->Items()->Strings(list->ItemIndex()));

    TDVContext* settings = engine_->GetSettingsTag();
    TStringList ids;
    settings->EnumListIDs("TimeSignature", &ids);
    for (int i = 0; i < ids.Count(); ++i) settings->RemoveTag("TimeSignature[" + ids.Strings(i) + "]");
    TStringList lines;
    for (int i = 0; i < list->Items()->Count(); ++i)
        lines.Add("TimeSignature[" + IntToStr(i + 1) + "]=\"" + list->Items()->Strings(i) + "\"");
    settings->LoadFromStrings(&lines, 0, -1);
    FillTimeSignatureList();
}

// ---- Accompaniment files

void TMainForm::ScanFolder(TStringList* list, const AnsiString& pattern, bool cutExtension) {
    list->Clear();
    TSearchRec found;
    for (int rc = FindFirst(pattern, 0, found); rc == 0; rc = FindNext(found)) {
        AnsiString name = found.Name;
        if (name == "." || name == "..") continue;
        if (cutExtension) {
            int dot = name.LastDelimiter(".");
            if (dot > 0) name = name.SubString(1, dot - 1);
        }
        list->Add(name);
    }
    FindClose(found);
}

void TMainForm::ShowListPage(TStrings* rows, TStrings* names, int page) {
    rows->Clear();
    int count = names->Count();
    if (count <= 10) {
        for (int i = 0; i < count; ++i) rows->Add(names->Strings(i));
        return;
    }
    page = std::max(page, 0);
    for (int i = 0; i < 10; ++i) rows->Add("");
    auto name = [&](int index) { return index < count ? names->Strings(index) : AnsiString(); };
    if (page == 0) {
        for (int r = 0; r <= 8; ++r) rows->SetStrings(r, name(r));
    } else {
        rows->SetStrings(0, "<<< Previous page");
        for (int r = 1; r <= 8; ++r) rows->SetStrings(r, name(8 * page + r));
    }
    if (count > 8 * page + 9) rows->SetStrings(9, ">>> Next page");
}

void TMainForm::FillFileList(const FileTool& tool) {
    folderScan_ = std::make_unique<TStringList>();
    ScanFolder(folderScan_.get(), ProgramFolder() + tool.folder + "*.mid", true);
    TStringList rows;
    ShowListPage(&rows, folderScan_.get(), tool.list->Tag());
    rows.Add(kBrowse);
    rows.Add(kBrowseAndAdd);
    tool.list->SetItems(&rows);
}

void TMainForm::FillDrumBeatList() {
    DrumBeatList->SetTag(0);
    FillFileList(DrumTool());
}

void TMainForm::FillMidiFileList() {
    MidiFileList->SetTag(0);
    FillFileList(MidiTool());
}

void TMainForm::SelectButtonRow(const FileTool& tool) {
    tool.list->SetItemIndex(tool.list->Items()->IndexOf(tool.button->Text()));
}

void TMainForm::PlaceFileList(const FileTool& tool) {
    int rows = tool.list->Items()->Count();
    tool.list->SetBounds(
        GlobalPanel->Left() + RightPanel->Left() + tool.button->Left(),
        GlobalPanel->Top() + RightPanel->Top() + tool.button->Top() + tool.button->Height() - 11 * rows,
        tool.list->Width(), tool.list->Height());
}

void TMainForm::FileButtonClick(const FileTool& tool) {
    tool.list->SetTag(0);
    ListHideTimer->SetTag(0);
    FillFileList(tool);
    if (!TimeSignatureList->Visible()) tool.list->SetVisible(true);
    PlaceFileList(tool);
    if (tool.list->Visible()) {
        tool.list->BringToFront();
        tool.list->SetMouseCapture(true);
    }
    SelectButtonRow(tool);
}

void TMainForm::DrumBeatButtonClick(TObject*) { FileButtonClick(DrumTool()); }
void TMainForm::MidiFileButtonClick(TObject*) { FileButtonClick(MidiTool()); }

void TMainForm::FileListClick(const FileTool& tool) {
    TStringList* rows = tool.list->Items();
    int index = tool.list->ItemIndex();
    if (index < 0 || index >= rows->Count()) return;
    AnsiString row = rows->Strings(index);
    if (index >= rows->Count() - 2) {
        if (!MidiOpen->Execute()) return;
        AnsiString path = MidiOpen->FileName();
        if (row == kBrowseAndAdd) {
            CopyIntoFolder(ProgramFolder() + tool.folder, path);
            if (path.IsEmpty()) return;
        }
        AnsiString name = ChangeFileExt(ExtractFileName(path), "");
        rows->Insert(rows->Count() - 1, name);
        tool.button->SetText(name);
        tool.button->SetCaption(ExtractFilePath(path));
    } else if (row.SubString(1, 3) == ">>>" || row.SubString(1, 3) == "<<<") {
        tool.list->SetTag(tool.list->Tag() + (row.SubString(1, 3) == ">>>" ? 1 : -1));
        // The browse rows stay last on every page, so that the last two rows always mean browsing.
        TStringList page;
        ShowListPage(&page, folderScan_.get(), tool.list->Tag());
        page.Add(kBrowse);
        page.Add(kBrowseAndAdd);
        tool.list->SetItems(&page);
        ListHideTimer->SetTag(1);
        SelectButtonRow(tool);
        return;
    } else if (row.IsEmpty()) {
        ListHideTimer->SetTag(1);
        SelectButtonRow(tool);
        return;
    } else {
        tool.button->SetCaption(ProgramFolder() + tool.folder);
        tool.button->SetText(row);
    }
    if (tool.checkBox->Checked()) LoadToolFileMeter(tool.button->Caption() + tool.button->Text());
    ShowFilePicture();
}

void TMainForm::DrumBeatListClick(TObject*) { FileListClick(DrumTool()); }
void TMainForm::MidiFileListClick(TObject*) { FileListClick(MidiTool()); }

void TMainForm::DrumBeatListMouseUp(TObject*, TMouseButton, TShiftState, int, int) { ListHideTimer->SetEnabled(true); }
void TMainForm::MidiFileListMouseUp(TObject*, TMouseButton, TShiftState, int, int) { ListHideTimer->SetEnabled(true); }

void TMainForm::ListHideTimerTimer(TObject*) {
    if (ListHideTimer->Tag() == 1) {
        for (TZelList* list : {DrumBeatList, MidiFileList})
            if (list->Visible()) list->SetMouseCapture(true);
    } else {
        DrumBeatList->SetVisible(false);
        MidiFileList->SetVisible(false);
        DrumBeatList->SetMouseCapture(false);
        MidiFileList->SetMouseCapture(false);
    }
    ListHideTimer->SetEnabled(false);
    ListHideTimer->SetTag(0);
}

void TMainForm::CopyIntoFolder(const AnsiString& folder, AnsiString& path) {
    if (tikora::SameHostPath(ExtractFilePath(path), IncludeTrailingPathDelimiter(folder))) return;
    ForceDirectories(folder);
    AnsiString target = IncludeTrailingPathDelimiter(folder) + ExtractFileName(path);
    AnsiString ext = ExtractFileExt(target);
    AnsiString base = target.SubString(1, target.Length() - ext.Length());
    AnsiString suffix;
    for (int n = 1; FileExists(base + suffix + ext); ++n) suffix = "(" + IntToStr(n) + ")";
    target = base + suffix + ext;
    if (CopyFileA(path.c_str(), target.c_str(), FALSE)) {
        path = target;
    } else {
        ShowMessage("Unable copy file " + path);
        path = "";
    }
}

void TMainForm::ShowFilePicture() {
    AnsiString file;
    if (CheckBox3->Checked())
        file = DrumBeatButton->Caption() + DrumBeatButton->Text() + ".png";
    else if (CheckBox4->Checked())
        file = MidiFileButton->Caption() + MidiFileButton->Text() + ".png";
    if (file.IsEmpty() || !FileExists(file)) {
        MemoImage->SetVisible(false);
        Memo->SetVisible(true);
        return;
    }
    try {
        TBitmap* bitmap = MemoImage->Picture()->Bitmap();
        bitmap->SetSize(MemoImage->Width(), MemoImage->Height());
        RECT area{0, 0, MemoImage->Width(), MemoImage->Height()};
        RECT under{MemoImage->Left(), MemoImage->Top(), MemoImage->Left() + MemoImage->Width(),
                   MemoImage->Top() + MemoImage->Height()};
        bitmap->Canvas()->CopyRect(area, LeftImage->Picture()->Bitmap()->Canvas(), under);
        PxImage picture;
        if (!picture.Load(HostPath(file).c_str(), 0)) throw Exception("Error while loading " + file);
        picture.Draw(bitmap->Canvas()->Handle(), 0, 0);
        MemoImage->SetVisible(true);
        MemoImage->Invalidate();
        Memo->SetVisible(false);
    } catch (Exception&) {
        ShowMessage("Error while loading " + file);
    }
}

// ---- Settings files

void TMainForm::LoadButtonClick(TObject*) {
    StopButtonClick(this);
    StartWhereTheUserMayWrite(OpenD);
    if (!OpenD->Execute()) return;
    engine_->LoadPreset(OpenD->FileName());
    SetCaption(Application->Title() + " - " + ActualFile(OpenD->FileName()));
    // The memo belongs to the loaded settings too; showing the old one would let the next memo edit
    // overwrite the loaded text.
    AnsiString memo;
    engine_->GetMemo(memo);
    Memo->SetText(memo);
    FillTimeSignatureList();
    ShowTempo(true);
    ShowTimeSignature();
    ShowToolSettings();
    // So does the alarm: its set-up, the practice timer and the dialog's fields follow the file.
    if (AlarmSetup) AlarmSetup->FormCreate(AlarmSetup);
}

void TMainForm::SaveButtonClick(TObject*) {
    StopButtonClick(this);
    StartWhereTheUserMayWrite(SaveD);
    if (!SaveD->Execute()) return;
    ApplyToolSettings();
    engine_->SavePreset(SaveD->FileName());
    SetCaption(Application->Title() + " - " + ActualFile(SaveD->FileName()));
}
