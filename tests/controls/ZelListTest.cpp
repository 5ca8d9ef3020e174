#include "ControlsTestUtil.h"
#include "Zellist.h"

using namespace ctest;

namespace {

constexpr Rgb kIdle = 0xFF0000, kMove = 0xFFFF00, kDown = 0x00FF00, kSelected = 0x0000FF;

struct ZelListTest : SkinTest {
    void SetUp() override {
        SkinTest::SetUp();
        Pictures(50, 20, {{"idle", kIdle}, {"move", kMove}, {"down", kDown}, {"selected", kSelected}});
    }
    // A vertical list of the skin's pictures, loaded as a form does, then given its items.
    TZelList* MakeList(std::initializer_list<const char*> items = {}, bool selectedPicture = true) {
        auto* l = Make<TZelList>(10, 10, 30, 30);
        l->SetTextMarginY(0), l->SetPicOnMouseMove(Pic("move")), l->SetPicOnMouseDown(Pic("down"));
        if (selectedPicture) l->SetPicOnSelected(Pic("selected"));
        l->SetPicOnIdle(Pic("idle"));
        l->OnChange = [this](TObject*) { ++changes; };
        l->OnClick = [this](TObject*) { ++clicks; };
        l->Loaded();
        for (const char* item : items) l->Items()->Add(item);
        return l;
    }
    // The picture each cell shows, one letter per cell, read at the cell's top-left corner.
    std::string Cells(TZelList* l) {
        l->Repaint();
        return formstest::PixelText(l->Items()->Count(), 1, [l](int i, int) {
            int x = l->Horizontal() ? i * l->CellWidth() + 1 : 1, y = l->Horizontal() ? 1 : i * l->CellHeight() + 1;
            Rgb c = SurfaceAt(l, x, y);
            return c == kIdle ? 'i' : c == kMove ? 'm' : c == kDown ? 'd' : c == kSelected ? 's' : '?';
        });
    }
    int changes = 0, clicks = 0;
};

}  // namespace

TEST_F(ZelListTest, LayoutAndPaging) {
    TZelList* l = MakeList();
    EXPECT_EQ(l->Width(), 30) << "no items: the size stays";
    struct Step {
        const char* what;
        std::function<void()> act;
        int width, height, itemIndex, changes;
    };
    const std::vector<Step> steps = {
        {"three items",
         [&] {
             for (auto s : {"2:4", "3:4", "4:4"}) l->Items()->Add(s);
         },
         50, 60, -1, 0},
        {"one more", [&] { l->Items()->Add("6:8"); }, 50, 80, -1, 0},
        {"select the last", [&] { l->SetItemIndex(3); }, 50, 80, 3, 0},
        {"next page of two drops the selection",
         [&] {
             l->Items()->BeginUpdate(), l->Items()->Clear(), l->Items()->Add("a.mid"), l->Items()->Add("b.mid"),
                 l->Items()->EndUpdate();
         },
         50, 40, -1, 1},
        {"select, then clear: size stays",
         [&] {
             l->SetItemIndex(0);
             l->Items()->Clear();
         },
         50, 40, -1, 2},
        {"horizontal",
         [&] {
             for (auto s : {"x", "y", "z"}) l->Items()->Add(s);
             l->SetHorizontal(true);
         },
         150, 20, -1, 2},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(std::tuple(l->Width(), l->Height(), l->ItemIndex(), changes),
                  std::tuple(s.width, s.height, s.itemIndex, s.changes))
            << s.what;
    }

    // A mouse-move picture set before the idle one measures nothing and lays nothing out.
    auto* early = Make<TZelList>(0, 0, 33, 33);
    early->Items()->Add("one");
    early->SetPicOnMouseMove(Pic("move"));
    EXPECT_EQ(std::tuple(early->CellWidth(), early->Width()), std::tuple(0, 33));
    early->SetPicOnIdle(Pic("idle"));
    EXPECT_EQ(std::pair(early->Width(), early->Height()), std::pair(50, 20));
}

TEST_F(ZelListTest, AutoWidth) {
    TZelList* l = MakeList();
    l->SetTextMarginX(14), l->SetMinAutoWidth(100), l->SetAutoWidth(true);
    l->Items()->Add("2:4");
    EXPECT_EQ(std::tuple(l->AutoWidthValue(), l->CellWidth(), l->Width(), l->PictureOnIdle()->Width()),
              std::tuple(100, 100, 100, 100))
        << "the pictures fitted to the cells too";

    TCanvas* c = l->Canvas();
    c->Font()->Assign(*l->FontOnIdle());
    const AnsiString wide = AnsiString::StringOfChar('W', 40), narrow = AnsiString::StringOfChar('i', 40);
    l->SetTextMoveX(3);
    l->Items()->Add(narrow);
    l->Items()->Add(wide);
    EXPECT_EQ(l->AutoWidthValue(), c->TextWidth(narrow + "HH") + 3) << "the first of equally long items decides";
    l->Items()->Delete(1);
    EXPECT_EQ(std::tuple(l->AutoWidthValue(), l->Width(), l->Height()),
              std::tuple(c->TextWidth(wide + "HH") + 3, l->AutoWidthValue(), 40));
}

TEST_F(ZelListTest, FittingPicturesToTheAutoWidth) {
    // Columns numbered in the blue byte, so each column of the result names its source column.
    auto numbered = [](int x, int) -> Rgb { return 0x100000u + static_cast<Rgb>(x); };
    struct Case {
        int width;
        std::vector<int> expected;
    };  // source column of each result column
    std::vector<int> widened, narrowed, tiny;
    for (int x = 0; x < 40; ++x) widened.push_back(x < 24 ? x : x < 34 ? 24 : x - 10);
    for (int x = 0; x < 40; ++x) narrowed.push_back(x < 30 ? x : x + 20);
    for (int x = 0; x < 4; ++x) tiny.push_back(x);
    for (Case c : {Case{30, widened}, Case{60, narrowed}, Case{4, tiny}}) {
        WriteBmp24(dir / "strip.bmp", c.width, 20, numbered);
        auto* l = Make<TZelList>();
        l->SetMinAutoWidth(40), l->SetAutoWidth(true);
        l->Items()->Add("");
        l->SetPicOnIdle(AnsiString(dir / "strip.bmp"));
        TBitmap* b = l->PictureOnIdle()->Bitmap();
        ASSERT_EQ(std::pair(l->AutoWidthValue(), b->Width()), std::pair(40, 40));
        for (size_t x = 0; x < c.expected.size(); ++x)
            EXPECT_EQ(FromColorRef(GetPixel(b->Canvas()->Handle(), static_cast<int>(x), 7)), numbered(c.expected[x], 0))
                << c.width << " column " << x;
        delete l;
    }
}

TEST_F(ZelListTest, PressHoverClick) {
    TZelList* l = MakeList({"2:4", "3:4", "4:4"});
    struct Step {
        const char* what;
        UINT msg;
        WPARAM keys;
        int x, y;
        std::string cells;
        int itemIndex, changes, clicks;
    };
    const std::vector<Step> steps = {
        {"hover over the second", WM_MOUSEMOVE, 0, 10, 25, "imi", -1, 0, 0},
        {"press the third", WM_LBUTTONDOWN, MK_LBUTTON, 10, 45, "imd", -1, 0, 0},
        {"moving while held changes no hot item", WM_MOUSEMOVE, MK_LBUTTON, 10, 5, "imd", -1, 0, 0},
        {"release selects it", WM_LBUTTONUP, 0, 10, 45, "ims", 2, 1, 1},
        {"the hot item over the pressed one is none", WM_LBUTTONDOWN, MK_LBUTTON, 10, 5, "dms", 2, 1, 1},
        {"", WM_MOUSEMOVE, 0, 10, 6, "dis", 2, 1, 1},
        {"click on the first", WM_LBUTTONUP, 0, 10, 6, "sii", 0, 2, 2},
        {"leave clears the hot item", WM_MOUSELEAVE, 0, 0, 0, "sii", 0, 2, 2},
        {"a press on the control's edge is ignored", WM_LBUTTONDOWN, MK_LBUTTON, 0, 25, "sii", 0, 2, 2},
        {"its click stores no item", WM_LBUTTONUP, 0, 0, 25, "iii", -1, 3, 3},
    };
    for (const Step& s : steps) {
        l->Perform(s.msg, s.keys, At(s.x, s.y));
        EXPECT_EQ(Cells(l), s.cells) << s.what;
        EXPECT_EQ(CountOf(l, 0xFFFFFF), 0) << s.what << ": the cells' pictures show behind the text";
        EXPECT_EQ(std::tuple(l->ItemIndex(), changes, clicks), std::tuple(s.itemIndex, s.changes, s.clicks)) << s.what;
    }
}

TEST_F(ZelListTest, StripSmallerThanControlAndMissingPictures) {
    // Larger than its strip: a press below the cells presses nothing, and the click stores -1.
    TZelList* l = MakeList({"a", "b"});
    l->SetBounds(10, 10, 50, 100);
    l->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(10, 70));
    EXPECT_EQ(l->PressedItem(), -1);
    l->Perform(WM_LBUTTONUP, 0, At(10, 70));
    EXPECT_EQ(l->ItemIndex(), -1);

    // Without an idle picture there are no cells: presses and moves are ignored.
    auto* bare = Make<TZelList>(0, 0, 40, 40);
    bare->SetPicOnMouseDown(Pic("down")), bare->SetPicOnMouseMove(Pic("move"));
    bare->Items()->Add("x");
    bare->Loaded();
    bare->Perform(WM_MOUSEMOVE, 0, At(5, 5));
    bare->Perform(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    EXPECT_EQ(std::tuple(bare->HotItem(), bare->PressedItem()), std::tuple(-1, -1));
    bare->Perform(WM_LBUTTONUP, 0, At(5, 5));

    // No selected picture: the selected cell shows the idle one, not stale pixels.
    TZelList* plain = MakeList({"a", "b"}, false);
    plain->SetItemIndex(1);
    EXPECT_EQ(Cells(plain), "ii");
}

TEST_F(ZelListTest, FailedPictureDoesNotRelayoutEveryPaint) {
    TZelList* l = MakeList();
    l->SetMinAutoWidth(60), l->SetAutoWidth(true);
    l->Items()->Add("a");
    ASSERT_EQ(l->CellWidth(), 60);
    EXPECT_THROW(l->SetPicOnSelected(Pic("nothing")), Exception);
    l->SetMinAutoWidth(70);  // the selected picture, without a name now, keeps 60 columns
    ASSERT_EQ(l->PictureOnSelected()->Width(), 60);
    // A relayout would re-read the idle picture from its file.
    WriteBmp24(dir / "idle.bmp", 50, 20, Solid(kDown));
    EXPECT_EQ(Cells(l), "i");
}
