// A shaped, frameless window on a real X server (Xvfb), photographed with ImageMagick's import.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ExtCtrls.h"
#include "Forms.h"

namespace {

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

TEST(XvfbSmoke, ShapedWindowOnScreen) {
  if (!std::getenv("TIKORA_UNDER_XVFB")) {
    if (!Have("xvfb-run") || !Have("import")) GTEST_SKIP() << "xvfb-run or ImageMagick missing";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    std::string cmd = std::string("TIKORA_UNDER_XVFB=1 QT_QPA_PLATFORM=xcb xvfb-run -a -s '-screen 0 640x480x24' '") + self +
                      "' --gtest_filter=XvfbSmoke.*";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    return;
  }
  Application->Initialize();
  auto* form = new TForm(nullptr);
  form->SetBorderStyle(bsNone);
  form->SetBounds(100, 100, 200, 200);
  form->SetColor(clRed);
  POINT tri[3] = {{0, 0}, {200, 0}, {0, 200}};
  SetWindowRgn(form->Handle(), CreatePolygonRgn(tri, 3, WINDING), TRUE);
  form->Show();
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 1500) Application->ProcessMessages();
  std::string shot = std::string(std::getenv("TIKORA_TEST_TMP") ? std::getenv("TIKORA_TEST_TMP") : "/tmp") + "/xvfb-shot.png";
  std::system(("mkdir -p \"$(dirname '" + shot + "')\"").c_str());
  ASSERT_EQ(std::system(("import -window root '" + shot + "'").c_str()), 0);
  QImage img(QString::fromStdString(shot));
  ASSERT_FALSE(img.isNull());
  QPoint origin = form->Widget()->mapToGlobal(QPoint(0, 0));
  QRgb inside = img.pixel(origin + QPoint(20, 20));
  QRgb outside = img.pixel(origin + QPoint(180, 180));
  EXPECT_EQ(qRed(inside), 255);
  EXPECT_EQ(qGreen(inside), 0);
  EXPECT_NE(outside & 0xFFFFFF, inside & 0xFFFFFF) << "outside the shape the screen shows through";
  delete form;
}

}  // namespace
