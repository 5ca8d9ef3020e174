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
#include <QSize>
#include <QString>

#include <algorithm>
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

// Every button has a pointer and a pressed picture of its size (the logos and check boxes may
// lack them), and the states of a button look different.
TEST(SkinTable, EveryButtonHasItsStatesOfOneSizeThatLookDifferent) {
    std::map<std::string, const SkinPicture*> byName;
    for (const SkinPicture& p : kSkinPictures) byName[std::string(p.name)] = &p;
    for (const auto& [name, p] : byName) {
        if (!name.ends_with("Initial.png")) continue;
        const std::string base = name.substr(0, name.size() - std::string("Initial.png").size());
        const bool box = base.starts_with("CheckBox"), all = !box && base != "Tikora" && base != "ZelLogo";
        if (box && base.ends_with('2')) continue;  // the checked look, compared below
        std::vector<std::string> states = {name};
        for (const char* state : {"Mouse.png", "Pressed.png"}) {
            auto it = byName.find(base + state);
            EXPECT_TRUE(it != byName.end() || !all) << base << state << " missing";
            if (it == byName.end()) continue;
            EXPECT_EQ(QSize(it->second->width, it->second->height), QSize(p->width, p->height)) << base << state;
            states.push_back(base + state);
        }
        if (box) states.push_back(base.substr(0, base.size() - 1) + "2Initial.png");
        for (size_t i = 0; i < states.size(); ++i)
            for (size_t j = i + 1; j < states.size(); ++j)
                EXPECT_NE(picture(states[i]), picture(states[j])) << states[i] << " looks like " << states[j];
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

// Each picture of the table: listed once, of its kind, in the folder with its size (keyed bitmaps
// as 24-bit uncompressed BMP); the picture list names exactly these.
TEST(SkinFolder, EveryPictureOfTheTableWithItsSizeAndFormat) {
    std::set<std::string> names;
    for (const SkinPicture& p : kSkinPictures) {
        EXPECT_TRUE(names.insert(std::string(p.name)).second) << p.name << " listed twice";
        const bool bmp = p.name.ends_with(".bmp");
        EXPECT_EQ(bmp, p.kind == PictureKind::KeyedBmp) << p.name;
        EXPECT_TRUE(bmp || p.name.ends_with(".png")) << p.name;
        QFile f(path(p.name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "missing: " << p.name;
        const QByteArray bytes = f.readAll();
        const QImage img = QImage::fromData(bytes);
        ASSERT_FALSE(img.isNull()) << "unreadable: " << p.name;
        EXPECT_EQ(img.size(), QSize(p.width, p.height)) << p.name;
        auto u16 = [&](int at) { return uint8_t(bytes[at]) | (uint8_t(bytes[at + 1]) << 8); };
        EXPECT_TRUE(!bmp || (bytes.startsWith("BM") && u16(28) == 24 && u16(30) == 0)) << p.name << ": not 24-bit, raw";
    }
    QFile list(path(kPictureListName));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    std::set<std::string> listed;
    for (const QByteArray& line : list.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) listed.insert(line.trimmed().toStdString());
    EXPECT_EQ(listed, names);
}

// The rod and the weight are drawn whole onto their corners; a white pixel would be a hole.
TEST(SkinPendulum, RodAndWeightHaveNoKeyColour) {
    for (const char* name : {"Pendulum.bmp", "Weight.bmp", "05Pendulum.bmp", "05Weight.bmp"}) {
        const QImage& img = picture(name);
        ASSERT_FALSE(img.isNull()) << name;
        const QRgb* px = reinterpret_cast<const QRgb*>(img.constBits());
        EXPECT_EQ(std::count_if(px, px + img.width() * img.height(), isWhite), 0) << name;
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

TEST(SkinSmallWindow, ShapeHasNoWhiteInsideAndTheLightOnIt) {
    for (const auto& [prefix, offset] : {std::pair<std::string, int>{"", kSmallOffsetX}, {"05", kSmallOffsetX / 2}}) {
        const QImage shape = smallWindow(prefix);
        EXPECT_EQ(whiteHoles(shape), 0) << prefix;
        // The shape's top holds the light, where the engine draws it in the small view.
        const QImage& light = picture(prefix + "MTopRed.png");
        const int viewW = shape.width() + 2 * offset;
        const QRect lightAt((viewW - light.width()) / 2 + 2 - offset, 0, light.width(), light.height());
        for (const QPoint& p : {lightAt.topLeft(), lightAt.topRight(), lightAt.bottomLeft(), lightAt.bottomRight()})
            EXPECT_FALSE(isWhite(shape.pixel(p))) << prefix << " light corner";
    }
}

struct PanelKey {
    const char* panel;  // a picture, or "small"/"05small": the small window's shape
    const char* picture;
    QRect at;
};

// Keys are opaque pictures drawn over the panel (never over its white outside); their edges carry
// the panel's own pixels so they sit seamlessly.
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
        // The small windows, in the coordinates of their shape (the window's less its x offset).
        {"small", "PlayInitial.png", QRect(32, 352, 82, 73)},
        {"small", "StopInitial.png", QRect(113, 352, 73, 73)},
        {"small", "PauseInitial.png", QRect(186, 352, 82, 73)},
        {"small", "Speaker2Initial.png", QRect(197, 434, 59, 41)},
        {"small", "VolumeBack.png", QRect(212 - kSmallOffsetX, 444, 109, 22)},
        {"small", "MaximizeInitial.png", QRect(257, 471, 14, 14)},
        {"small", "CloseInitial.png", QRect(273, 471, 14, 14)},
        {"05small", "05PlayInitial.png", QRect(16, 176, 41, 36)},
        {"05small", "05StopInitial.png", QRect(56, 176, 36, 36)},
        {"05small", "05PauseInitial.png", QRect(94, 176, 40, 36)},
        {"05small", "05Speaker2Initial.png", QRect(72, 215, 29, 20)},
        {"05small", "05VolumeBack.png", QRect(80 - kSmallOffsetX / 2, 220, 54, 11)},
        {"05small", "MaximizeInitial.png", QRect(109, 227, 14, 14)},
        {"05small", "CloseInitial.png", QRect(125, 227, 14, 14)},
    };
    const std::map<std::string, QImage> shapes = {{"small", smallWindow("")}, {"05small", smallWindow("05")}};
    for (const PanelKey& k : keys) {
        const QImage& panel = shapes.count(k.panel) ? shapes.at(k.panel) : picture(k.panel);
        const QImage& pic = picture(k.picture);
        ASSERT_EQ(pic.size(), k.at.size()) << k.picture;
        ASSERT_TRUE(panel.rect().contains(k.at)) << k.picture;
        const QRect in = k.at.adjusted(2, 2, -2, -2);
        for (const QPoint& p : {in.topLeft(), in.topRight(), in.bottomLeft(), in.bottomRight(), in.center()})
            EXPECT_FALSE(isWhite(panel.pixel(p))) << k.picture << " outside the window's shape";
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

}  // namespace
