#pragma once
// Helpers shared by the forms and controls tests: the event loop, a shown form, simulated mouse
// and keys, pixel reads, hand-made BMP files.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"

namespace formstest {

inline void Pump() { Application->ProcessMessages(); }

// Pumps until the condition holds; the limit only ends a run whose window system never answers
// (and fails the caller's check).
template <typename F>
bool WaitUntil(F cond, int limitMs = 5000) {
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < limitMs) Pump();
    return cond();
}

// Sends a Qt mouse event to a widget, or to the window that owns a control at the control's own
// coordinates.
inline void Mouse(QWidget* w, QEvent::Type type, QPointF p, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const bool up = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove;
    Qt::MouseButtons held = up ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent e(type, p, w->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : button, held, mods);
    QCoreApplication::sendEvent(w, &e);
}
inline void Mouse(TControl* c, QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
    TWinControl* w = dynamic_cast<TWinControl*>(c);
    if (!w) x += c->Left(), y += c->Top(), w = c->Parent();
    Mouse(w->Widget(), type, QPointF(x, y), button, mods);
}
inline void Click(TControl* c, int x, int y) {
    Mouse(c, QEvent::MouseButtonPress, x, y);
    Mouse(c, QEvent::MouseButtonRelease, x, y);
}

inline void Key(TWinControl* c, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(c->Widget(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QCoreApplication::sendEvent(c->Widget(), &release);
}

// A control made and placed on a parent, as a form's layout does.
template <typename T>
T* Add(TWinControl* parent, int left = 0, int top = 0, int width = 0, int height = 0) {
    auto* c = new T(parent);
    c->SetParent(parent);
    if (width > 0) c->SetBounds(left, top, width, height);
    return c;
}

inline std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += (s.empty() ? "" : " ") + x;
    return s;
}

// A picture as text: one character per pixel from f(x, y), "/" between the rows.
inline std::string PixelText(int w, int h, const std::function<char(int, int)>& f) {
    std::string s;
    for (int y = 0; y < h; ++y) {
        if (y) s += '/';
        for (int x = 0; x < w; ++x) s += f(x, y);
    }
    return s;
}

// How many pixels of the rectangle from (x0, y0) to (x1, y1), exclusive, pass the test.
inline int CountPixels(int x0, int y0, int x1, int y1, const std::function<bool(int, int)>& f) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += f(x, y);
    return n;
}

// A pixel of a DC as 0xRRGGBB.
inline uint32_t Rgb(HDC dc, int x, int y) {
    COLORREF c = GetPixel(dc, x, y);
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

// A BMP file: 24 or 32 bits with px giving 0xRRGGBB, or 1, 4 or 8 bits with px giving the index
// into the palette (0xRRGGBB entries); rows bottom-up unless topDown.
inline void WriteBmp(const std::string& path, int w, int h, int bits, const std::function<uint32_t(int, int)>& px,
                     const std::vector<uint32_t>& palette = {}, bool topDown = false) {
    std::string f = "BM";
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const uint32_t stride = static_cast<uint32_t>(((w * bits + 31) / 32) * 4),
                   off = 54 + 4 * static_cast<uint32_t>(palette.size());
    for (uint32_t v :
         {off + stride * h, 0u, off, 40u, static_cast<uint32_t>(w), static_cast<uint32_t>(topDown ? -h : h)})
        put(v, 4);
    put(1, 2);
    put(static_cast<uint32_t>(bits), 2);
    for (uint32_t v : {0u, stride * h, 2835u, 2835u, static_cast<uint32_t>(palette.size()), 0u}) put(v, 4);
    for (uint32_t c : palette) put(c & 0xFFFFFF, 4);
    for (int i = 0; i < h; ++i) {
        std::string row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            uint32_t v = px(x, topDown ? i : h - 1 - i);
            if (bits >= 24)
                for (int b = 0; b < 3; ++b)
                    row[static_cast<size_t>(x * bits / 8 + b)] = static_cast<char>((v >> (8 * b)) & 0xFF);
            else if (bits == 8)
                row[static_cast<size_t>(x)] = static_cast<char>(v);
            else if (bits == 4)
                row[static_cast<size_t>(x / 2)] |= static_cast<char>(x % 2 ? v : v << 4);
            else if (v)
                row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        }
        f += row;
    }
    std::ofstream(path, std::ios::binary) << f;
}

// A form for the test's controls, shown unless the test says; dialogs unscripted and their log
// empty at the start; a log of the test's own events.
struct FormTest : ::testing::Test {
    explicit FormTest(bool shown = true) : shown_(shown) {}
    void SetUp() override {
        Application->Initialize();
        tikora::forms::ClearDialogLog();
        tikora::forms::ClearDialogScript();
        form = new TForm(nullptr);
        form->SetBounds(10, 10, 400, 300);
        if (shown_) form->Show();
        Pump();
    }
    void TearDown() override {
        ReleaseCapture();
        tikora::forms::ClearDialogScript();
        delete form;
        Pump();
    }
    template <typename T>
    T* Make(int left = 0, int top = 0, int width = 0, int height = 0) {
        return Add<T>(form, left, top, width, height);
    }
    // The events logged since the last call.
    std::string Take() {
        std::string s = Join(log);
        log.clear();
        return s;
    }
    // A flat panel of one colour to draw controls on.
    TPanel* Plain(int w, int h, TColor colour) {
        auto* panel = Make<TPanel>(0, 0, w, h);
        panel->SetBevelOuter(bvNone);
        panel->SetColor(colour);
        return panel;
    }
    TForm* form = nullptr;
    std::vector<std::string> log;

private:
    bool shown_;
};

}  // namespace formstest
