// The tempo calculator, the tempo entry, the memo and the about box.
#include <cmath>
#include <string>
#include <vector>

#include "DialogTestSupport.h"
#include "Tmemoform.h"
#include "Tsettempoform.h"
#include "Tsplashscreen.h"
#include "Ttempocalculator.h"
#include "Ttslistedit.h"
#include "Ttslistitemeditor.h"

using namespace dialogtest;

namespace {

TEST(TempoRun, EachQuantityFromTheOtherTwo) {
    enum Asked { kMinutes, kBars, kTempo };
    struct Case {
        Asked asked;
        TTempoRun run;                // beats per bar, ramp, bars per step, step
        double bars, minutes, tempo;  // the asked one is the expected result
    };
    const Case cases[] = {
        {kMinutes, TTempoRun{4}, 15, 0.5, 120},
        {kMinutes, TTempoRun{3}, 40, 2.0, 60},
        {kMinutes, TTempoRun{4}, 0, 0.0, 120},
        // +5 every 2 bars from 100: two bars at 100, two at 105.
        {kMinutes, TTempoRun{4, true, 2, 5}, 4, 0.04 + 0.04 + 4.0 / 105 + 4.0 / 105, 100},
        // A ramp is played within 40..500, and so it is counted.
        {kMinutes, TTempoRun{4, true, 1, 50}, 3, 4.0 / 490 + 4.0 / 500 + 4.0 / 500, 490},
        {kMinutes, TTempoRun{4, true, 1, -100}, 3, 4.0 / 120 + 4.0 / 40 + 4.0 / 40, 120},
        // A bar of no beats still takes one.
        {kMinutes, TTempoRun{0}, 2, 2.0 / 60, 60},
        {kBars, TTempoRun{4}, 30, 1.0, 120},
        {kBars, TTempoRun{4}, 15, 0.5, 120},
        {kBars, TTempoRun{3}, 33, 1.0, 100},
        {kBars, TTempoRun{4}, 0, 0.0, 120},
        // Only whole bars count, with a ramp as without: 0.04 + 0.04 + 0.038 > 0.1.
        {kBars, TTempoRun{4, true, 2, 5}, 2, 0.1, 100},
        // A falling ramp stops at 40 bpm instead of running away: 0.04 + 0.08, then 0.1 a bar.
        {kBars, TTempoRun{4, true, 1, -50}, 10, 1.0, 100},
        {kBars, TTempoRun{5, true, 1, -1000}, 80, 10.0, 40},
        // A ramp of step 0 is no ramp: 30 bars of 1/30 minute fill the minute exactly.
        {kBars, TTempoRun{4, true, 1, 0}, 30, 1.0, 120},
        {kTempo, TTempoRun{4}, 15, 0.5, 120},
        {kTempo, TTempoRun{4}, 1, 1.0, 4},
        // Two steps of +5: the start lies half a step below the plain average.
        {kTempo, TTempoRun{4, true, 2, 5}, 4, 0.16, 97.5},
        // Fewer bars than one step: no ramp at all.
        {kTempo, TTempoRun{4, true, 2, 5}, 1, 0.01, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.asked << ": " << c.bars << " bars, " << c.minutes << " min, " << c.tempo);
        const int bars = static_cast<int>(c.bars), tempo = static_cast<int>(c.tempo);
        const double got = c.asked == kMinutes ? c.run.Minutes(bars, tempo)
                           : c.asked == kBars  ? c.run.Bars(c.minutes, tempo)
                                               : c.run.Tempo(bars, c.minutes);
        EXPECT_NEAR(got, c.asked == kMinutes ? c.minutes : c.asked == kBars ? c.bars : c.tempo, 1e-9);
    }
}

struct SmallDialogs : DialogFixture {
    void SetUp() override {
        DialogFixture::SetUp();
        tempo = Ensure(SetTempoForm);
        memo = Ensure(MemoForm);
    }
    TSetTempoForm* tempo = nullptr;
    TMemoForm* memo = nullptr;
};

TEST_F(SmallDialogs, TempoEntryAcceptsFortyToFiveHundred) {
    struct Case {
        const char* text;
        bool accepted;
        double value;
    };
    const Case cases[] = {
        {"120.6", true, 120.6}, {"120,6", true, 120.6},  {"40", true, 40},  {"500", true, 500},
        {"39.9", false, 39.9},  {"500.4", false, 500.4}, {"", false, 0},    {"abc", false, 0},
        {"1.2.3", false, 0},    {"nan", false, 0},       {"inf", false, 0}, {"1e2", true, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        tikora::forms::ClearDialogLog();
        tempo->SetModalResult(mrNone);
        tempo->Tempo->SetText(c.text);
        formstest::Click(tempo->Button1, 4, 4);
        EXPECT_NEAR(tempo->TempoValue(), c.value, 1e-9);
        EXPECT_EQ(tempo->ModalResult(), c.accepted ? mrOk : mrNone);
        EXPECT_EQ(Messages(), c.accepted ? std::vector<std::string>{}
                                         : std::vector<std::string>{"Invalid tempo!\nEnter value between 40 and 500."});
    }
    tempo->SetModalResult(mrNone);
}

TEST_F(SmallDialogs, TempoKeysAreFiltered) {
    // Typed into the field, the comma arrives as a point and letters not at all.
    WhileModal([this](TForm*) {
        tempo->Tempo->SetText("");
        Key(tempo->Tempo, Qt::Key_1, Qt::NoModifier, "1");
        Key(tempo->Tempo, Qt::Key_2, Qt::NoModifier, "2");
        Key(tempo->Tempo, Qt::Key_Comma, Qt::NoModifier, ",");
        Key(tempo->Tempo, Qt::Key_5, Qt::NoModifier, "5");
        Key(tempo->Tempo, Qt::Key_X, Qt::NoModifier, "x");
    });
    tempo->ShowModal();
    EXPECT_EQ(std::string(tempo->Tempo->Text().c_str()), "12.5");
}

// Escape in the field that has the focus cancels each dialog; its OK button accepts.
TEST_F(SmallDialogs, EscapeCancelsAndOkAccepts) {
    TTSListEdit* list = Ensure(TSListEdit);
    TTSListItemEditor* item = Ensure(TSListItemEditor);
    struct Case {
        TForm* form;
        TWinControl* focus;
        TWinControl* enter;  // where Enter gives OK: the field, or in the memo the OK button
    };
    const Case cases[] = {{tempo, tempo->Tempo, tempo->Tempo},
                          {memo, memo->Memo, memo->Button1},
                          {list, list->List, list->List},
                          {item, item->Numerator, item->Numerator}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form->Name().c_str());
        TModalResult seen = -1;
        WhileModal([&](TForm* f) {
            Key(c.focus, Qt::Key_Escape);
            seen = f->ModalResult();
        });
        c.form->ShowModal();
        EXPECT_EQ(seen, mrCancel);
        // What each OK needs: a tempo in range, a selected entry, a numerator.
        tempo->Tempo->SetText("100");
        list->List->Items()->Clear();
        list->List->Items()->Add("2:4");
        list->List->SetItemIndex(0);
        item->Numerator->SetText("3");
        WhileModal([&](TForm*) { Key(c.enter, Qt::Key_Return); });
        EXPECT_EQ(c.form->ShowModal(), mrOk);
    }
}

TEST(AboutBox, FileVersionHasFourParts) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"0.1.0", "0.1.0.0"}, {"1.2.3.4", "1.2.3.4"},
        {"2.5", "2.5.0.0"},   {"65535.0.0.1", "65535.0.0.1"},
        {"1", "?"},           {"", "?"},
        {"1.2.3.4.5", "?"},   {"1.x", "?"},
        {"65536.0", "?"},     {"1..2", "?"},
        {"1.2.", "?"},        {"-1.2", "?"},
    };
    for (const Case& c : cases) EXPECT_EQ(std::string(TSplashScreen::FormatFileVersion(c.in).c_str()), c.out) << c.in;
}

TEST_F(SmallDialogs, AboutBoxShowsItsVersionAndCloses) {
    TSplashScreen* box = Ensure(SplashScreen);
    const std::string version = box->VersionLabel->Caption().c_str();
    EXPECT_EQ(version, std::string("Version ") + box->GetFileVersionText().c_str());
    EXPECT_EQ(std::string(box->WindowsVersionLabel->Caption().c_str()), "Tikora");

    WhileModal([box](TForm*) { box->Image1->Click(); });
    EXPECT_EQ(box->ShowModal(), mrOk);

    // A click on the picture does nothing while the OK button is disabled; the timer still closes.
    box->HideButton->SetEnabled(false);
    WhileModal([box](TForm*) {
        box->SplashTimer->SetEnabled(true);
        formstest::Click(box->Image1, 4, 4);
        EXPECT_EQ(box->ModalResult(), mrNone);
        box->SplashTimer->Fire();
        EXPECT_FALSE(box->SplashTimer->Enabled());
    });
    EXPECT_EQ(box->ShowModal(), mrOk);
    box->HideButton->SetEnabled(true);
}

}  // namespace
