#pragma once
// Helpers shared by the forms tests: the event loop, simulated mouse and keys, pixel reads.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <string>
#include <vector>

#include "Forms.h"

namespace formstest {

inline void Pump() { Application->ProcessMessages(); }

// Pumps until the condition holds (or a generous limit passes, which fails the caller's check).
template <typename F>
bool WaitUntil(F cond) {
  QElapsedTimer t;
  t.start();
  while (!cond() && t.elapsed() < 5000) Pump();
  return cond();
}

// Sends a Qt mouse event to the window that owns the control, at the control's own coordinates.
inline void Mouse(TControl* c, QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers mods = Qt::NoModifier) {
  TWinControl* w = dynamic_cast<TWinControl*>(c);
  if (!w) {
    x += c->Left();
    y += c->Top();
    w = c->Parent();
  }
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  if (type == QEvent::MouseMove) held = Qt::NoButton;
  QPointF p(x, y);
  QMouseEvent e(type, p, w->Widget()->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : button, held, mods);
  QCoreApplication::sendEvent(w->Widget(), &e);
}

inline void Key(TWinControl* c, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, mods, text);
  QCoreApplication::sendEvent(c->Widget(), &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods, text);
  QCoreApplication::sendEvent(c->Widget(), &release);
}

inline std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "" : " ") + x;
  return s;
}

// A pixel of a DC as 0xRRGGBB.
inline uint32_t Rgb(HDC dc, int x, int y) {
  COLORREF c = GetPixel(dc, x, y);
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace formstest
