#include "Dialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <string>

#include "FormsPrivate.h"
#include "HostPath.h"

namespace tikora::forms {
namespace {
std::deque<DialogScript>& Script() {
    static std::deque<DialogScript> q;
    return q;
}
std::vector<DialogRequest>& Log() {
    static std::vector<DialogRequest> log;
    return log;
}
int g_beeps = 0;

QString Q(const AnsiString& s) { return QString::fromLatin1(s.c_str()); }
AnsiString A(const QString& s) { return AnsiString(s.toLatin1().toStdString()); }

// "Text files|*.txt|All|*.*" as Qt's "Text files (*.txt);;All (*.*)".
QString QtFilter(const AnsiString& filter) {
    QStringList parts = Q(filter).split('|');
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        out << parts[i] + " (" + QString(parts[i + 1]).replace(';', ' ') + ")";
    return out.join(";;");
}

// The window a message or question belongs to: shown over it, and modal like a form's dialog.
QWidget* Owner() {
    TForm* f = ActiveForm();
    return f ? f->Widget() : nullptr;
}

DialogAnswer RealDialog(const DialogRequest& r) {
    DialogAnswer a;
    switch (r.kind) {
        case DialogKind::MessageBox: {
            QMessageBox box(Owner());
            box.setWindowModality(Qt::ApplicationModal);
            box.setWindowTitle(Q(r.caption));
            box.setText(Q(r.text));
            UINT buttons = r.flags & 0xF;
            using B = QMessageBox::StandardButton;
            std::vector<std::pair<B, int>> map;
            if (buttons == MB_OKCANCEL)
                map = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
            else if (buttons == MB_YESNO)
                map = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
            else if (buttons == MB_YESNOCANCEL)
                map = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
            else if (buttons == MB_RETRYCANCEL)
                map = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
            else if (buttons == MB_ABORTRETRYIGNORE)
                map = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
            else
                map = {{QMessageBox::Ok, IDOK}};
            for (auto& [b, id] : map) box.addButton(b);
            box.exec();
            a.result = IDCANCEL;
            for (auto& [b, id] : map)
                if (box.clickedButton() == box.button(b)) a.result = id;
            return a;
        }
        case DialogKind::InputQuery: {
            bool ok = false;
            QString t = QInputDialog::getText(Owner(), Q(r.caption), Q(r.text), QLineEdit::Normal, Q(r.value), &ok);
            a.result = ok ? IDOK : IDCANCEL;
            a.text = ok ? A(t) : r.value;
            return a;
        }
        case DialogKind::OpenFile:
        case DialogKind::SaveFile: {
            QString f = r.kind == DialogKind::OpenFile
                            ? QFileDialog::getOpenFileName(Owner(), Q(r.caption), Q(r.value), QtFilter(r.text))
                            : QFileDialog::getSaveFileName(Owner(), Q(r.caption), Q(r.value), QtFilter(r.text));
            a.result = f.isEmpty() ? IDCANCEL : IDOK;
            a.text = A(f);
            return a;
        }
        case DialogKind::Modal: {
            QEventLoop loop;
            TForm* form = r.form;
            while (form->ModalResult() == mrNone && !Application->Terminated() && form->Visible())
                loop.processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
            a.result = form->ModalResult() ? form->ModalResult() : mrCancel;
            return a;
        }
    }
    return a;
}
}  // namespace

void ScriptDialog(DialogScript script) { Script().push_back(std::move(script)); }

void ScriptDialog(int result, const AnsiString& text) {
    ScriptDialog([result, text](const DialogRequest&) { return DialogAnswer{result, text}; });
}

void ClearDialogScript() { Script().clear(); }
int PendingDialogScripts() { return static_cast<int>(Script().size()); }
const std::vector<DialogRequest>& DialogLog() { return Log(); }
void ClearDialogLog() { Log().clear(); }
int MessageBeepCount() { return g_beeps; }

DialogAnswer DefaultAnswer(const DialogRequest& r) {
    switch (r.kind) {
        case DialogKind::MessageBox: {
            UINT buttons = r.flags & 0xF;
            int first = buttons == MB_OKCANCEL                             ? IDOK
                        : buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDYES
                        : buttons == MB_RETRYCANCEL                        ? IDRETRY
                        : buttons == MB_ABORTRETRYIGNORE                   ? IDABORT
                                                                           : IDOK;
            int second = buttons == MB_OKCANCEL || buttons == MB_RETRYCANCEL ? IDCANCEL
                         : buttons == MB_YESNO || buttons == MB_YESNOCANCEL  ? IDNO
                         : buttons == MB_ABORTRETRYIGNORE                    ? IDRETRY
                                                                             : IDOK;
            int third = buttons == MB_YESNOCANCEL ? IDCANCEL : buttons == MB_ABORTRETRYIGNORE ? IDIGNORE : second;
            int def = (r.flags & MB_DEFBUTTON3) ? third : (r.flags & MB_DEFBUTTON2) ? second : first;
            return DialogAnswer{def, ""};
        }
        case DialogKind::InputQuery:
            return DialogAnswer{IDCANCEL, r.value};
        case DialogKind::OpenFile:
        case DialogKind::SaveFile:
            return DialogAnswer{IDCANCEL, ""};
        case DialogKind::Modal:
            return DialogAnswer{mrCancel, ""};
    }
    return {};
}

DialogAnswer RunDialog(DialogRequest r) {
    Log().push_back(r);
    if (!Script().empty()) {
        DialogScript s = std::move(Script().front());
        Script().pop_front();
        return s(r);
    }
    if (HeadlessPlatform()) {
        std::fprintf(stderr, "[dialog] %s: %s\n", r.caption.c_str(), r.text.c_str());
        return DefaultAnswer(r);
    }
    return RealDialog(r);
}

}  // namespace tikora::forms

using namespace tikora::forms;

namespace {
// The program writes its paths with "\\"; a message shows them with the host's "/".
AnsiString HostSeparators(const char* text) {
    std::string s = text ? text : "";
    std::replace(s.begin(), s.end(), '\\', '/');
    return AnsiString(s);
}
}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    DialogRequest r;
    r.kind = DialogKind::MessageBox;
    r.text = HostSeparators(text);
    r.caption = caption ? caption : "Error";
    r.flags = type;
    return RunDialog(r).result;
}

void ShowMessage(const AnsiString& Msg) { MessageBoxA(nullptr, Msg.c_str(), Application->Title().c_str(), MB_OK); }

BOOL MessageBeep(UINT) {
    ++tikora::forms::g_beeps;
    if (!HeadlessPlatform()) QApplication::beep();
    return TRUE;
}

bool InputQuery(const AnsiString& ACaption, const AnsiString& APrompt, AnsiString& Value) {
    DialogRequest r;
    r.kind = DialogKind::InputQuery;
    r.caption = ACaption;
    r.text = APrompt;
    r.value = Value;
    DialogAnswer a = RunDialog(r);
    if (a.result != IDOK) return false;
    Value = a.text;
    return true;
}

bool TOpenDialog::Execute() {
    DialogRequest r;
    r.kind = saving_ ? DialogKind::SaveFile : DialogKind::OpenFile;
    r.caption = title_;
    r.text = filter_;
    // The program names folders and files its own way ("\", any case); the dialog takes host paths.
    r.value = AnsiString(HostPath(fileName_.IsEmpty() ? initialDir_ : fileName_));
    DialogAnswer a = RunDialog(r);
    if (a.result != IDOK) return false;
    fileName_ = a.text;
    // A name saved without an extension gets the default one.
    AnsiString ext = defaultExt_;
    while (!ext.IsEmpty() && (ext[1] == '*' || ext[1] == '.')) ext = ext.SubString(2, ext.Length() - 1);
    std::string name = fileName_.c_str();
    size_t base = name.find_last_of("/\\");
    base = base == std::string::npos ? 0 : base + 1;
    if (saving_ && !ext.IsEmpty() && base < name.size() && name.find('.', base) == std::string::npos)
        fileName_ = fileName_ + "." + ext;
    return true;
}
