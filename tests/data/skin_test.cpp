// The assembled pics folder against the one table of skin pictures, and the layout facts that the
// windows rely on: sizes, the white key of the shaped bitmaps, seamless keys on their panels, the
// small window's controls inside its shape, and a pendulum that swings inside its view.

#include "SkinPictures.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace tikora::skin;

QString picsDir() { return QStringLiteral(TIKORA_BINARY_DIR "/Tikora/pics/"); }

QString path(std::string_view name) { return picsDir() + QString::fromUtf8(name.data(), qsizetype(name.size())); }

const QImage& picture(const std::string& name) {
    static std::map<std::string, QImage> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, QImage(path(name)).convertToFormat(QImage::Format_RGB32)).first;
    return it->second;
}

bool isWhite(QRgb c) { return (c & 0xFFFFFF) == 0xFFFFFF; }

TEST(SkinTable, NamesAreUniqueAndMatchTheirKind) {
    std::set<std::string_view> names;
    for (const SkinPicture& p : kSkinPictures) {
        EXPECT_TRUE(names.insert(p.name).second) << p.name << " listed twice";
        const bool bmp = p.name.ends_with(".bmp");
        EXPECT_EQ(bmp, p.kind == PictureKind::KeyedBmp) << p.name;
        EXPECT_TRUE(bmp || p.name.ends_with(".png")) << p.name;
        EXPECT_GT(p.width, 0);
        EXPECT_GT(p.height, 0);
    }
}

TEST(SkinTable, EveryButtonHasItsStatesAndEveryMicroPictureIsHalfSize) {
    std::map<std::string, const SkinPicture*> byName;
    for (const SkinPicture& p : kSkinPictures) byName[std::string(p.name)] = &p;
    for (const auto& [name, p] : byName) {
        if (name.ends_with("Initial.png") && !name.starts_with("CheckBox") && name != "TikoraInitial.png" &&
            name != "ZelLogoInitial.png") {
            const std::string base = name.substr(0, name.size() - std::string("Initial.png").size());
            for (const char* state : {"Mouse.png", "Pressed.png"}) {
                auto it = byName.find(base + state);
                ASSERT_NE(it, byName.end()) << base << state;
                EXPECT_EQ(it->second->width, p->width) << base << state;
                EXPECT_EQ(it->second->height, p->height) << base << state;
            }
        }
    }
    // The micro set is the small window's set at half size, truncated.
    const std::map<std::string, std::pair<int, int>> micro = {{"05PlayInitial.png", {82 / 2, 73 / 2}},
                                                              {"05StopInitial.png", {73 / 2, 73 / 2}},
                                                              {"05PauseInitial.png", {82 / 2 - 1, 73 / 2}},
                                                              {"05Speaker2Initial.png", {59 / 2, 41 / 2}},
                                                              {"05VolumeBack.png", {109 / 2, 22 / 2}},
                                                              {"05Pendulum.bmp", {kRodWidth / 2, kRodHeight / 2}},
                                                              {"05Weight.bmp", {kWeightWidth / 2, kWeightHeight / 2}}};
    for (const auto& [name, size] : micro) {
        ASSERT_TRUE(byName.count(name)) << name;
        EXPECT_EQ(byName[name]->width, size.first) << name;
        EXPECT_EQ(byName[name]->height, size.second) << name;
    }
}

TEST(SkinFolder, EveryPictureExistsWithItsSize) {
    for (const SkinPicture& p : kSkinPictures) {
        const QImage img(path(p.name));
        ASSERT_FALSE(img.isNull()) << "missing or unreadable: " << p.name;
        EXPECT_EQ(img.width(), p.width) << p.name;
        EXPECT_EQ(img.height(), p.height) << p.name;
    }
}

TEST(SkinFolder, PictureListNamesExactlyThePictures) {
    QFile list(path(kPictureListName));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    std::set<std::string> listed;
    for (const QByteArray& line : list.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) listed.insert(line.trimmed().toStdString());
    std::set<std::string> expected;
    for (const SkinPicture& p : kSkinPictures) expected.insert(std::string(p.name));
    EXPECT_EQ(listed, expected);
}

TEST(SkinFolder, KeyedBitmapsAre24BitUncompressedBmp) {
    for (const SkinPicture& p : kSkinPictures) {
        if (p.kind != PictureKind::KeyedBmp) continue;
        QFile f(path(p.name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << p.name;
        const QByteArray head = f.read(54);
        ASSERT_EQ(head.size(), 54) << p.name;
        auto u16 = [&](int at) { return uint8_t(head[at]) | (uint8_t(head[at + 1]) << 8); };
        EXPECT_EQ(head.left(2), QByteArray("BM")) << p.name;
        EXPECT_EQ(u16(28), 24) << p.name;  // bits per pixel
        EXPECT_EQ(u16(30), 0) << p.name;   // no compression
    }
}

// The rod and the weight are drawn whole onto their corners; a white pixel would be a hole.
TEST(SkinPendulum, RodAndWeightHaveNoKeyColour) {
    for (const char* name : {"Pendulum.bmp", "Weight.bmp", "05Pendulum.bmp", "05Weight.bmp"}) {
        const QImage& img = picture(name);
        ASSERT_FALSE(img.isNull()) << name;
        int white = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) white += isWhite(img.pixel(x, y));
        EXPECT_EQ(white, 0) << name;
    }
}

struct PendulumCase {
    const char* prefix;
    int margin;
    int viewW, viewH;  // the view the pendulum is drawn into
};

// The corners as the engine computes them, at the widest swing (1 radian, the slowest tempo)
// with the weight at the top, and at rest.
TEST(SkinPendulum, SwingsInsideEveryViewAndLeavesARealScale) {
    const PendulumCase cases[] = {
        {"", kPendulumMargin, 566, 387},                                       // main window
        {"", kPendulumMargin, kSmallWidth + 2 * kSmallOffsetX, kSmallHeight},  // small window
        {"05", kMicroPendulumMargin, kSmallWidth / 2 + 2 * (kSmallOffsetX / 2), kSmallHeight / 2},
    };
    for (const PendulumCase& c : cases) {
        const std::string prefix = c.prefix;
        const QImage& rod = picture(prefix + "Pendulum.bmp");
        const QImage& weight = picture(prefix + "Weight.bmp");
        const int H = rod.height(), W = rod.width(), Hd = weight.height(), Wd = weight.width();
        EXPECT_GE(H - 3 * c.margin - Hd, H / 3) << "too little room for the tempo scale: " << prefix;
        const double cx = c.viewW / 2 + 1, cy = c.viewH + 2 * c.margin;
        const std::vector<std::pair<int, int>> corners = {{-W / 2, H}, {W / 2, H},        {-Wd / 2, H},
                                                          {Wd / 2, H}, {-Wd / 2, H - Hd}, {Wd / 2, H - Hd}};
        for (double a : {-1.0, 0.0, 1.0}) {
            for (const auto& [x, y] : corners) {
                const double px = cx + x * std::cos(a) + y * std::sin(a);
                const double py = cy - (y * std::cos(a) - x * std::sin(a));
                EXPECT_GE(px, 0) << prefix << " angle " << a;
                EXPECT_LT(px, c.viewW) << prefix << " angle " << a;
                EXPECT_GE(py, 0) << prefix << " angle " << a;
            }
        }
    }
}

TEST(SkinPendulum, TheThreeLightsShareOneSize) {
    for (const std::string prefix : {"", "05"}) {
        const QImage& red = picture(prefix + "MTopRed.png");
        for (const char* name : {"MTopGreen.png", "MTopGreenLight.png"}) {
            EXPECT_EQ(picture(prefix + name).size(), red.size()) << prefix << name;
            EXPECT_NE(picture(prefix + name), red) << prefix << name;
        }
    }
}

// The small window's shape: background above, control area below, white outside.
QImage smallWindow(const std::string& prefix) {
    const QImage& bg = picture(prefix + "MetronomeSmall.bmp");
    const QImage& ctrl = picture(prefix + "MetronomeSmallCtrlArea.bmp");
    QImage all(bg.width(), bg.height() + ctrl.height(), QImage::Format_RGB32);
    for (int y = 0; y < all.height(); ++y)
        for (int x = 0; x < all.width(); ++x)
            all.setPixel(
                x, y,
                y < bg.height() ? bg.pixel(x, y) : (x < ctrl.width() ? ctrl.pixel(x, y - bg.height()) : 0xFFFFFFFF));
    return all;
}

// Every white pixel must be reachable from the border through white: no white inside the shape.
int whiteHoles(const QImage& img) {
    const int w = img.width(), h = img.height();
    std::vector<char> seen(size_t(w) * h, 0);
    std::vector<QPoint> stack;
    for (int x = 0; x < w; ++x) stack.insert(stack.end(), {QPoint(x, 0), QPoint(x, h - 1)});
    for (int y = 0; y < h; ++y) stack.insert(stack.end(), {QPoint(0, y), QPoint(w - 1, y)});
    while (!stack.empty()) {
        const QPoint p = stack.back();
        stack.pop_back();
        if (p.x() < 0 || p.y() < 0 || p.x() >= w || p.y() >= h) continue;
        char& s = seen[size_t(p.y()) * w + p.x()];
        if (s || !isWhite(img.pixel(p))) continue;
        s = 1;
        stack.insert(stack.end(), {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
    }
    int holes = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) holes += isWhite(img.pixel(x, y)) && !seen[size_t(y) * w + x];
    return holes;
}

struct SmallControl {
    const char* picture;  // placed at its natural size
    QRect at;             // in window coordinates, the margin of x offset included where it applies
};

struct SmallWindowCase {
    const char* prefix;
    int offset;
    std::vector<SmallControl> controls;
};

std::vector<SmallWindowCase> smallWindows() {
    const int o = kSmallOffsetX, m = kSmallOffsetX / 2;
    return {
        {"",
         o,
         {{"PlayInitial.png", QRect(32 + o, 352, 82, 73)},
          {"StopInitial.png", QRect(113 + o, 352, 73, 73)},
          {"PauseInitial.png", QRect(186 + o, 352, 82, 73)},
          {"Speaker2Initial.png", QRect(197 + o, 434, 59, 41)},
          {"VolumeBack.png", QRect(212, 444, 109, 22)},
          {"MaximizeInitial.png", QRect(257 + o, 471, 14, 14)},
          {"CloseInitial.png", QRect(273 + o, 471, 14, 14)}}},
        {"05",
         m,
         {{"05PlayInitial.png", QRect(16 + m, 176, 41, 36)},
          {"05StopInitial.png", QRect(56 + m, 176, 36, 36)},
          {"05PauseInitial.png", QRect(93 + m + 1, 176, 40, 36)},
          {"05Speaker2Initial.png", QRect(72 + m, 215, 29, 20)},
          {"05VolumeBack.png", QRect(80, 220, 54, 11)},
          {"MaximizeInitial.png", QRect(109 + m, 227, 14, 14)},
          {"CloseInitial.png", QRect(125 + m, 227, 14, 14)}}},
    };
}

TEST(SkinSmallWindow, ShapeHasNoWhiteInsideAndHoldsEveryControl) {
    for (const SmallWindowCase& c : smallWindows()) {
        const QImage shape = smallWindow(c.prefix);
        EXPECT_EQ(whiteHoles(shape), 0) << c.prefix;
        // The shape's top holds the light, where the engine draws it in the small view.
        const QImage& light = picture(std::string(c.prefix) + "MTopRed.png");
        const int viewW = shape.width() + 2 * c.offset;
        const QRect lightAt((viewW - light.width()) / 2 + 2 - c.offset, 0, light.width(), light.height());
        for (const QPoint& p : {lightAt.topLeft(), lightAt.topRight(), lightAt.bottomLeft(), lightAt.bottomRight()})
            EXPECT_FALSE(isWhite(shape.pixel(p))) << c.prefix << " light corner";
        for (const SmallControl& ctl : c.controls) {
            const QImage& pic = picture(ctl.picture);
            ASSERT_EQ(pic.size(), ctl.at.size()) << ctl.picture;
            const QRect inShape = ctl.at.translated(-c.offset, 0);
            ASSERT_TRUE(shape.rect().contains(inShape)) << ctl.picture;
            const QRect inner = inShape.adjusted(2, 2, -2, -2);
            for (const QPoint& p :
                 {inner.topLeft(), inner.topRight(), inner.bottomLeft(), inner.bottomRight(), inner.center()})
                EXPECT_FALSE(isWhite(shape.pixel(p))) << ctl.picture << " outside the window's shape";
            // Drawn over the same colour as the control area under it: no visible seam.
            EXPECT_EQ(pic.pixel(0, 0), shape.pixel(inShape.topLeft()))
                << ctl.picture << " corner differs from the area";
            EXPECT_EQ(pic.pixel(pic.width() - 1, pic.height() - 1), shape.pixel(inShape.bottomRight()))
                << ctl.picture << " corner differs from the area";
        }
    }
}

struct PanelKey {
    const char* panel;
    const char* picture;
    QRect at;
};

// Keys are opaque pictures; their edges carry the panel's own pixels so they sit seamlessly.
TEST(SkinMainWindow, KeysCarryThePanelUnderThem) {
    const PanelKey keys[] = {
        {"ControllsArea.png", "SaveInitial.png", QRect(215, 55, 55, 35)},
        {"ControllsArea.png", "LoadMouse.png", QRect(215, 20, 55, 35)},
        {"ControllsArea.png", "ArrowDown2Pressed.png", QRect(451, 20, 23, 70)},
        {"ControllsArea.png", "TimeSignatureInitial.png", QRect(482, 20, 55, 70)},
        {"ControllsArea.png", "AlarmPressed.png", QRect(668, 55, 73, 35)},
        {"ControllsArea.png", "AboutInitial.png", QRect(805, 55, 63, 35)},
        {"ControllsArea.png", "TikoraInitial.png", QRect(8, 34, 198, 39)},
        {"ControllsArea.png", "ZelLogoMouse.png", QRect(878, 29, 129, 54)},
        {"ControllsArea.png", "1-16.png", QRect(278, 20, 43, 70)},
        {"MetronomeCtrlArea.png", "PlayInitial.png", QRect(164, 21, 82, 73)},
        {"MetronomeCtrlArea.png", "StopPressed.png", QRect(246, 21, 73, 73)},
        {"MetronomeCtrlArea.png", "PausePressed.png", QRect(319, 21, 82, 73)},
        {"MetronomeCtrlArea.png", "SpeakerInitial.png", QRect(336, 102, 59, 41)},
        {"MetronomeCtrlArea.png", "VolumeBack.png", QRect(211, 113, 109, 22)},
        {"MetronomeCtrlArea.png", "MinimizeInitial.png", QRect(405, 140, 14, 14)},
        {"QuickStartArea.png", "6-8Initial.png", QRect(144, 70, 33, 55)},
        {"QuickStartArea.png", "176-PrestoMouse.png", QRect(36, 221, 141, 28)},
        {"QuickStartArea.png", "TapTempoPressed.png", QRect(15, 281, 182, 53)},
        {"PracticeToolsArea.png", "CheckBox51Initial.png", QRect(40, 227, 21, 21)},
        {"PracticeToolsArea.png", "CheckBox42Initial.png", QRect(40, 335, 21, 21)},
        {"PracticeToolsArea.png", "TempoCalculatorInitial.png", QRect(68, 224, 127, 28)},
        {"PracticeToolsArea.png", "UseMidiFileInitial.png", QRect(68, 362, 127, 28)},
    };
    for (const PanelKey& k : keys) {
        const QImage& panel = picture(k.panel);
        const QImage& pic = picture(k.picture);
        ASSERT_EQ(pic.size(), k.at.size()) << k.picture;
        ASSERT_TRUE(panel.rect().contains(k.at)) << k.picture;
        EXPECT_EQ(pic.pixel(0, 0), panel.pixel(k.at.topLeft())) << k.picture;
        EXPECT_EQ(pic.pixel(pic.width() - 1, pic.height() - 1), panel.pixel(k.at.bottomRight())) << k.picture;
    }
}

TEST(SkinMainWindow, MemoAreaIsOnePlainColour) {
    const QImage& left = picture("QuickStartArea.png");
    const QRgb memo = left.pixel(120, 446);
    int other = 0;
    for (int y = 355; y < 355 + 216; ++y)
        for (int x = 25; x < 25 + 187; ++x) other += left.pixel(x, y) != memo;
    EXPECT_EQ(other, 0);
    // Light enough for dark memo text to read well on it.
    EXPECT_GT(qGray(memo), 180);
}

TEST(SkinMainWindow, ButtonStatesLookDifferent) {
    for (const SkinPicture& p : kSkinPictures) {
        const std::string name(p.name);
        if (!name.ends_with("Initial.png")) continue;
        const std::string base = name.substr(0, name.size() - std::string("Initial.png").size());
        if (base.starts_with("CheckBox") && base.ends_with('2')) continue;  // the checked look, compared below
        std::vector<std::string> states = {name};
        for (const char* s : {"Mouse.png", "Pressed.png"})
            if (QFile::exists(path(base + s))) states.push_back(base + s);
        if (base.starts_with("CheckBox")) states.push_back(base.substr(0, base.size() - 1) + "2Initial.png");
        for (size_t i = 0; i < states.size(); ++i)
            for (size_t j = i + 1; j < states.size(); ++j)
                EXPECT_NE(picture(states[i]), picture(states[j])) << states[i] << " looks like " << states[j];
    }
}

}  // namespace
