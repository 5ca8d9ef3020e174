// Forms: the order of their events, modal showing, keys through the form, window flags, and the
// exception display of the event dispatch.
#include <QAbstractButton>
#include <QTest>
#include <QWindow>

#include <stdexcept>

#include "ExtCtrls.h"
#include "FormsTestSupport.h"

using namespace tikora::forms;
using namespace formstest;

namespace {

// A form whose published handlers log what runs, and with which sizes.
class LogForm : public TForm {
public:
    LogForm(TComponent* owner, std::vector<std::string>* log, std::string formName = "form")
        : TForm(owner), name(std::move(formName)), log_(log) {
        edit = new TEdit(this);
        edit->SetParent(this);
        for (auto [event, text] :
             {std::pair{&OnCreate, "Create"}, {&OnShow, "Show"}, {&OnActivate, "Activate"}, {&OnHide, "Hide"}})
            *event = [this, t = std::string(text)](TObject*) { log_->push_back(t); };
        OnResize = [this](TObject*) {
            log_->push_back("Resize " + std::to_string(Width()) + "x" + std::to_string(Height()));
        };
        OnCanResize = [this](TObject*, int& w, int& h, bool& resize) {
            log_->push_back("CanResize " + std::to_string(w) + "x" + std::to_string(h));
            w = std::max(w, 100), h = std::max(h, 80), resize = w <= 1000;
        };
        OnClose = [this](TObject*, TCloseAction& action) { log_->push_back("Close"), action = closeAction; };
        OnDestroy = [log, n = name](TObject*) { log->push_back("Destroy " + n); };
    }
    ~LogForm() override { log_->push_back("~" + name); }
    TCloseAction closeAction = caHide;
    std::string name;
    TEdit* edit;

private:
    std::vector<std::string>* log_;
};

using FormFixture = FormTest;

TEST_F(FormFixture, EventOrder) {
    auto* f = new LogForm(nullptr, &log);
    f->AfterConstruction();
    EXPECT_EQ(Take(), "Create");
    struct Case {
        const char* name;
        std::function<void()> act;
        const char* events;
        int width, height;
    };
    const Case cases[] = {
        {"placed", [&] { f->SetBounds(10, 10, 300, 200); }, "CanResize 300x200 Resize 300x200", 300, 200},
        {"shown", [&] { f->Show(); }, "Show Activate", 300, 200},
        {"smaller than allowed", [&] { f->SetWidth(40); }, "CanResize 40x200 Resize 100x200", 100, 200},
        {"refused", [&] { f->SetWidth(2000); }, "CanResize 2000x200", 100, 200},
        {"the user's resize", [&] { f->Widget()->resize(50, 50); }, "CanResize 50x50 Resize 100x80", 100, 80},
        {"moved only", [&] { f->SetLeft(30); }, "", 100, 80},
    };
    for (const Case& c : cases) {
        c.act();
        Pump();
        EXPECT_EQ(std::tuple(Take(), f->Width(), f->Height(), f->Widget()->width()),
                  std::tuple(c.events, c.width, c.height, c.width))
            << c.name;
    }

    struct Step {
        const char* name;
        TCloseAction action;
        std::function<void()> act;
        const char* events;
        bool visible;
    };
    const Step steps[] = {
        {"caNone keeps the form", caNone, [&] { f->Close(); }, "Close", true},
        {"caHide", caHide, [&] { f->Close(); }, "Close Hide", false},
        {"shown again", caHide, [&] { f->Show(); }, "Show Activate", true},
        {"the window manager's close button", caHide, [&] { f->Widget()->close(); }, "Close Hide", false},
        {"caFree", caFree, [&] { f->Show(), Take(), f->Close(); }, "Close Hide", false},
    };
    for (const Step& s : steps) {
        f->closeAction = s.action;
        s.act();
        EXPECT_EQ(std::tuple(Take(), f->Visible(), f->Widget()->isVisible(), f->Active()),
                  std::tuple(s.events, s.visible, s.visible, s.visible))
            << s.name;
    }
    Pump();
    EXPECT_EQ(Take(), "Destroy form ~form") << "caFree frees the form once its handlers are done";
}

TEST_F(FormFixture, DestroyOfOwnedFormsAndMainForm) {
    auto* owner = new TForm(nullptr);
    new LogForm(owner, &log, "a");
    new LogForm(owner, &log, "b");
    delete owner;
    EXPECT_EQ(Take(), "Destroy b ~b Destroy a ~a")
        << "owned forms go in reverse order of creation, each with OnDestroy before any destructor";
}

// What the user does while a modal form is up, and the result it closes with: the buttons, Enter
// and Escape with the focus where the case says.
TEST_F(FormFixture, ShowModalResults) {
    auto* f = new LogForm(nullptr, &log);
    f->AfterConstruction();
    auto* memo = Add<TMemo>(f);
    auto *ok = Add<TButton>(f), *cancel = Add<TButton>(f), *other = Add<TButton>(f);
    ok->SetModalResult(mrOk), ok->SetDefault(true);
    cancel->SetModalResult(mrCancel), cancel->SetCancel(true);
    cancel->OnClick = [&](TObject*) { log.push_back("cancel"); };
    other->OnClick = [&](TObject*) { log.push_back("other"); };
    auto click = [](TButton* b) { static_cast<QAbstractButton*>(b->Widget())->click(); };
    auto key = [&](TWinControl* c, int k) { Key(c, k, Qt::NoModifier, k == Qt::Key_Escape ? "\x1b" : "\r"); };
    Take();
    struct Case {
        const char* name;
        std::function<void()> user;
        int result;
        const char* clicks;
        bool withCancel = true;
    };
    const Case cases[] = {
        {"OK button clicked", [&] { click(ok); }, mrOk, ""},
        {"Cancel button clicked", [&] { click(cancel); }, mrCancel, " cancel"},
        {"Enter in an edit clicks the Default button", [&] { key(f->edit, Qt::Key_Return); }, mrOk, ""},
        {"Enter on the keypad too", [&] { key(f->edit, Qt::Key_Enter); }, mrOk, ""},
        {"Escape clicks the Cancel button", [&] { key(f->edit, Qt::Key_Escape); }, mrCancel, " cancel"},
        {"Escape without a Cancel button closes with mrCancel",
         [&] {
             key(f->edit, Qt::Key_Escape);
             EXPECT_EQ(f->ModalResult(), mrCancel) << "set by the key, not by the dialog's end";
         },
         mrCancel, "", false},
        {"Enter on another button clicks that one, which keeps the form up",
         [&] {
             key(other, Qt::Key_Return);
             EXPECT_EQ(f->ModalResult(), mrNone);
             ok->Click();
         },
         mrOk, " other"},
        {"Enter in a memo is a line break",
         [&] {
             key(memo, Qt::Key_Return);
             EXPECT_EQ(f->ModalResult(), mrNone);
             f->SetModalResult(mrYes);
         },
         mrYes, ""},
        {"a message shown meanwhile keeps the form up",
         [&] {
             ShowMessage("Invalid tempo!\nEnter value between 40 and 500.");
             const DialogRequest& shown = DialogLog().back();
             EXPECT_EQ(std::tuple(f->ModalResult(), shown.kind == DialogKind::MessageBox, shown.text),
                       std::tuple(mrNone, true, AnsiString("Invalid tempo!\nEnter value between 40 and 500.")));
             ok->Click();
         },
         mrOk, ""},
        {"closed", [&] { f->Close(); }, mrCancel, ""},
    };
    for (const Case& c : cases) {
        cancel->SetVisible(c.withCancel);
        ScriptDialog([&](const DialogRequest& r) {
            EXPECT_EQ(std::tuple(r.form, r.kind == DialogKind::Modal, f->Visible()), std::tuple(f, true, true))
                << c.name;
            log.push_back("user");
            c.user();
            return DialogAnswer{0, ""};
        });
        f->edit->SetText("");
        EXPECT_EQ(f->ShowModal(), c.result) << c.name;
        EXPECT_EQ(std::tuple(f->ModalResult(), Take(), f->Visible()),
                  std::tuple(c.result, std::string("Show Activate user") + c.clicks + " Close Hide", false))
            << c.name;
    }
    EXPECT_EQ(f->edit->Text(), "") << "the swallowed keys did not reach the edit";
    EXPECT_EQ(memo->Text(), "\r\n") << "the memo took its Enter";
    EXPECT_EQ(f->ShowModal(), mrCancel) << "unscripted modal forms cancel headless";
    EXPECT_FALSE(f->Visible());
    f->Show();
    EXPECT_THROW(f->ShowModal(), EInvalidOperation);
    delete f;
}

// A modal form opening another: each belongs to the form that opened it (the window manager keeps
// it above that one), and only the newest takes clicks and keys as the window system hands them
// in; the forms behind it take them again once it closes.
TEST_F(FormFixture, NestedModalFormsTakeTheInputInTurn) {
    auto* outer = new TForm(nullptr);
    auto* inner = new TForm(nullptr);
    std::map<TForm*, TEdit*> edits;
    for (TForm* f : {form, outer, inner}) {
        f->SetBounds(f->Left(), f->Top(), 200, 100);
        auto* button = Add<TButton>(f, 10, 10, 80, 25);
        button->OnClick = [this, f, outer](TObject*) {
            log.push_back(f == form ? "main" : f == outer ? "outer" : "inner");
        };
        edits[f] = Add<TEdit>(f, 10, 50, 80, 20);
    }
    auto window = [](TForm* f) { return f->Widget()->windowHandle(); };
    // Clicks every shown form's button and types into its edit, through the window system.
    auto touchAll = [&] {
        for (TForm* f : {form, outer, inner}) {
            if (!f->Visible()) continue;
            edits[f]->SetText("");
            edits[f]->SetFocus();
            QTest::keyClick(window(f), Qt::Key_X);
            if (!edits[f]->Text().IsEmpty()) log.push_back("typed");
            QTest::mouseClick(window(f), Qt::LeftButton, {}, QPoint(50, 22));
        }
        return Take();
    };
    EXPECT_EQ(touchAll(), "typed main");
    // A dialog to the window system while modal (the window manager learns whose it is only for
    // dialogs), without a minimise button; an ordinary window again afterwards.
    auto kind = [&](TForm* f) {
        Qt::WindowFlags flags = window(f)->flags();
        return std::to_string(flags & Qt::WindowType_Mask) + (flags & Qt::WindowMinimizeButtonHint ? " min" : "");
    };
    ScriptDialog([&](const DialogRequest&) {
        EXPECT_EQ(window(outer)->transientParent(), window(form));
        EXPECT_EQ(kind(outer), std::to_string(Qt::Dialog));
        EXPECT_EQ(touchAll(), "typed outer");
        ScriptDialog([&](const DialogRequest&) {
            EXPECT_EQ(window(inner)->transientParent(), window(outer));
            EXPECT_EQ(touchAll(), "typed inner");
            return DialogAnswer{mrOk, ""};
        });
        EXPECT_EQ(inner->ShowModal(), mrOk);
        EXPECT_EQ(touchAll(), "typed outer");
        return DialogAnswer{mrOk, ""};
    });
    EXPECT_EQ(outer->ShowModal(), mrOk);
    EXPECT_EQ(touchAll(), "typed main");
    outer->Show();
    EXPECT_EQ(window(outer)->transientParent(), nullptr) << "shown as an ordinary window";
    EXPECT_EQ(kind(outer), std::to_string(Qt::Window) + " min");
    EXPECT_EQ(touchAll(), "typed main typed outer");
    delete inner;
    delete outer;
}

TEST_F(FormFixture, KeysThroughTheForm) {
    auto* f = new LogForm(nullptr, &log);
    f->AfterConstruction();
    f->Show();
    auto down = [&](const char* who) {
        return [this, who](TObject*, WORD& k, TShiftState s) {
            log.push_back(who + std::to_string(k) + (s.Contains(ssShift) ? "S" : "") + (s.Contains(ssAlt) ? "A" : ""));
        };
    };
    auto press = [&](const char* who, char& c) {
        log.push_back(who + (c == 27 ? std::string("Esc") : std::string(1, c)));
    };
    f->OnKeyDown = down("formDown ");
    f->OnKeyPress = [&](TObject*, char& c) { press("formPress ", c), c = c == 'q' ? 0 : c; };
    f->edit->OnKeyDown = down("editDown ");
    f->edit->OnKeyPress = [&](TObject*, char& c) { press("editPress ", c), c = c == ',' ? '.' : c == 'x' ? 0 : c; };
    struct Case {
        bool preview;
        int key;
        Qt::KeyboardModifiers mods;
        const char* text;
        const char* events;
    };
    const Case cases[] = {
        {false, Qt::Key_A, Qt::NoModifier, "a", "editDown 65 editPress a"},
        {true, Qt::Key_A, Qt::NoModifier, "a", "formDown 65 editDown 65 formPress a editPress a"},
        {true, Qt::Key_Escape, Qt::NoModifier, "\x1b", "formDown 27 editDown 27 formPress Esc editPress Esc"},
        {true, Qt::Key_Q, Qt::NoModifier, "q", "formDown 81 editDown 81 formPress q"},  // the form swallows it
        {false, Qt::Key_Escape, Qt::NoModifier, "\x1b", "editDown 27 editPress Esc"},
        {true, Qt::Key_BraceRight, Qt::ShiftModifier, "}", "formDown 221S editDown 221S formPress } editPress }"},
        {false, Qt::Key_Comma, Qt::NoModifier, ",", "editDown 188 editPress ,"},  // typed as "."
        {false, Qt::Key_X, Qt::NoModifier, "x", "editDown 88 editPress x"},       // swallowed by the edit
    };
    Take();
    for (const Case& c : cases) {
        f->SetKeyPreview(c.preview);
        Key(f->edit, c.key, c.mods, c.text);
        EXPECT_EQ(Take(), c.events) << c.preview << " " << c.text;
    }
    EXPECT_EQ(f->edit->Text(), "aa}.") << "keys swallowed do not reach the edit, a changed one arrives changed";
    Key(f->edit, Qt::Key_R, Qt::AltModifier, "r");
    EXPECT_EQ(Take(), "") << "Alt keys are system keys";

    // The application sees key messages first, and may take or change them.
    auto* events = new TApplicationEvents(form);
    events->OnMessage = [&](tagMSG& m, bool& handled) {
        if (m.message == WM_SYSKEYDOWN) m.message = WM_KEYDOWN;
        handled = handled || (m.message == WM_KEYDOWN && m.wParam == VK_F1 + 6);
    };
    f->SetKeyPreview(true);
    Key(f->edit, Qt::Key_F7);
    Key(f->edit, Qt::Key_F6);
    EXPECT_EQ(Take(), "formDown 117 editDown 117");
    Key(f->edit, Qt::Key_R, Qt::AltModifier, "r");
    EXPECT_EQ(Take(), "formDown 82A editDown 82A formPress r editPress r") << "made an ordinary key";
    delete events;
    Key(f->edit, Qt::Key_F7);
    EXPECT_EQ(Take(), "formDown 118 editDown 118") << "a destroyed TApplicationEvents no longer takes messages";

    // The virtual key each key gives, whatever the character the keyboard makes of it.
    f->SetKeyPreview(false);
    f->edit->OnKeyPress = nullptr;
    struct Vk {
        int key;
        Qt::KeyboardModifiers mods;
        int vk;
    };
    const Vk keys[] = {
        {Qt::Key_BracketRight, Qt::NoModifier, 221},     {Qt::Key_BraceLeft, Qt::ShiftModifier, 219},
        {Qt::Key_Minus, Qt::NoModifier, VK_OEM_MINUS},   {Qt::Key_Equal, Qt::NoModifier, VK_OEM_PLUS},
        {Qt::Key_Plus, Qt::KeypadModifier, VK_ADD},      {Qt::Key_Minus, Qt::KeypadModifier, VK_SUBTRACT},
        {Qt::Key_7, Qt::KeypadModifier, VK_NUMPAD0 + 7}, {Qt::Key_7, Qt::NoModifier, '7'},
        {Qt::Key_Ampersand, Qt::ShiftModifier, '7'},     {Qt::Key_F8, Qt::NoModifier, VK_F1 + 7},
        {Qt::Key_Space, Qt::NoModifier, VK_SPACE},       {Qt::Key_Enter, Qt::KeypadModifier, VK_RETURN},
        {Qt::Key_O, Qt::ControlModifier, 'O'},
    };
    for (const Vk& c : keys) {
        Key(f->edit, c.key, c.mods);
        EXPECT_EQ(Take(), "editDown " + std::to_string(c.vk) + (c.mods & Qt::ShiftModifier ? "S" : "")) << c.key;
    }
    delete f;
}

TEST_F(FormFixture, WindowFlagsReachTheWidget) {
    auto* f = new TForm(nullptr);
    f->SetFormStyle(fsStayOnTop);
    f->SetBorderStyle(bsNone);
    f->SetWindowState(wsMaximized);
    f->Show();
    Pump();
    QWidget* w = f->Widget();
    EXPECT_EQ(w->windowFlags() & (Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint),
              Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint);
    EXPECT_TRUE(w->windowState() & Qt::WindowMaximized);
    f->SetFormStyle(fsNormal);
    EXPECT_FALSE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->isVisible()) << "changing flags keeps a shown window shown";
    f->SetWindowState(wsNormal);
    EXPECT_FALSE(w->windowState() & Qt::WindowMaximized);
    f->Hide();
    f->SetWindowState(wsMinimized);
    f->Show();
    EXPECT_TRUE(w->windowState() & Qt::WindowMinimized) << "a state set while hidden applies when shown";
    EXPECT_EQ(f->WindowState(), wsMinimized);
    f->SetCaption("Tikora - song.tkra");
    EXPECT_EQ(w->windowTitle().toStdString(), "Tikora - song.tkra");
    delete f;
    // A form with a SetText of its own still gets its caption as its title.
    struct Editor : TForm {
        using TForm::TForm;
        void SetText(const AnsiString& entry) { parsed = entry; }
        AnsiString parsed;
    } editor(nullptr);
    editor.SetCaption("Time signature editor");
    EXPECT_EQ(editor.Widget()->windowTitle().toStdString(), "Time signature editor");
    EXPECT_EQ(editor.Caption(), "Time signature editor");
    EXPECT_TRUE(editor.parsed.IsEmpty());
}

TEST_F(FormFixture, ExceptionsGoToTheExceptionDisplay) {
    // A panel whose clicks and posted WM_USER messages raise what the case gives.
    std::function<void()> thrower;
    struct Raiser : TPanel {
        using TPanel::TPanel;
        std::function<void()>* raise = nullptr;
        void Dispatch(TMessage& m) override {
            if (m.Msg == WM_USER) (*raise)();
            TPanel::Dispatch(m);
        }
    };
    auto* panel = Make<Raiser>(10, 10, 50, 50);
    panel->raise = &thrower;
    panel->OnClick = [&](TObject*) { thrower(); };
    struct Case {
        const char* name;
        std::function<void()> raise;
        const char* shown;
    };
    const Case cases[] = {
        {"class library exception", [] { throw Exception("Error while loading x.png"); }, "Error while loading x.png."},
        {"message already ending in a full stop", [] { throw Exception("Invalid value."); }, "Invalid value."},
        {"standard exception", [] { throw std::runtime_error("bad state"); }, "bad state."},
        {"abort is silent", [] { throw EAbort("quiet"); }, nullptr},
    };
    for (const Case& c : cases) {
        for (bool posted : {false, true}) {
            ClearDialogLog();
            thrower = c.raise;
            if (posted)
                PostMessageA(panel->Handle(), WM_USER, 0, 0);
            else
                Click(panel, 3, 3);
            Pump();
            ASSERT_EQ(DialogLog().size(), c.shown ? 1u : 0u) << c.name << (posted ? ", posted" : "");
            if (c.shown) {
                EXPECT_EQ(std::tuple(DialogLog()[0].text, (DialogLog()[0].flags & MB_ICONSTOP) != 0),
                          std::tuple(AnsiString(c.shown), true))
                    << c.name << (posted ? ", posted" : "");
            }
        }
    }
    EXPECT_FALSE(panel->MouseCapture()) << "the capture went with the release despite the exception";

    // The application's exception events see them instead.
    auto* events = new TApplicationEvents(form);
    std::vector<std::string> caught;
    events->OnException = [&](TObject* sender, Exception* e) {
        caught.push_back(e->Message.str() + (sender == panel ? " from panel" : ""));
    };
    ClearDialogLog();
    for (const Case& c : cases) {
        thrower = c.raise;
        Click(panel, 3, 3);
    }
    EXPECT_EQ(Join(caught), "Error while loading x.png from panel Invalid value. from panel bad state from panel");
    EXPECT_TRUE(DialogLog().empty());
}

}  // namespace
