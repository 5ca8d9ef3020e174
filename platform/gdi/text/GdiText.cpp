#include "GdiText.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

// The forms layer defines this to create its QApplication; a program without forms gets a plain
// QGuiApplication, since fonts need one.
extern "C" void tikora_create_gui_application() __attribute__((weak));

namespace tikora::gdi {
namespace {

void EnsureGuiApplication() {
    if (QCoreApplication::instance()) return;
    if (tikora_create_gui_application) {
        tikora_create_gui_application();
        return;
    }
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tikora";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

// Face names of the Windows originals mean "the desktop's sans-serif face" here.
QString FamilyFor(const char* face, size_t limit = LF_FACESIZE, bool utf8 = false) {
    std::string f(face, strnlen(face, limit));
    if (f.empty() || f == "MS Sans Serif" || f == "Microsoft Sans Serif" || f == "MS Shell Dlg" ||
        f == "MS Shell Dlg 2" || f == "Tahoma" || f == "System")
        return QStringLiteral("DejaVu Sans");
    return utf8 ? QString::fromUtf8(f.c_str()) : QString::fromLatin1(f.c_str());
}

class TextFont : public GdiFont {
public:
    explicit TextFont(const LOGFONTA& logFont) : lf(logFont) {
        EnsureGuiApplication();
        font.setFamily(FamilyFor(lf.lfFaceName));
        // A negative height is the character height; a positive one the cell height, of which the
        // internal leading is roughly a fifth.
        int px = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight > 0 ? std::max(1, lf.lfHeight * 4 / 5) : 11;
        font.setPixelSize(std::max(1, px));
        if (lf.lfWeight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp<LONG>(lf.lfWeight, 100, 900)));
        font.setItalic(lf.lfItalic != 0);
        font.setUnderline(lf.lfUnderline != 0);
        font.setStrikeOut(lf.lfStrikeOut != 0);
        font.setKerning(false);
        bool smooth = lf.lfQuality == ANTIALIASED_QUALITY || lf.lfQuality == CLEARTYPE_QUALITY || lf.lfQuality == 6;
        font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
        font.setHintingPreference(QFont::PreferFullHinting);
    }
    int GetObjectData(int cb, void* out) const override {
        if (!out) return static_cast<int>(sizeof(LOGFONTA));
        if (cb < static_cast<int>(sizeof(LOGFONTA))) return 0;
        std::memcpy(out, &lf, sizeof(LOGFONTA));
        return static_cast<int>(sizeof(LOGFONTA));
    }

    LOGFONTA lf;
    QFont font;
};

TextFont* FontOf(HDC hdc) {
    HGDIOBJ obj = GetCurrentObject(hdc, OBJ_FONT);
    GdiObject* live = Lookup(obj);
    if (live && live->Kind() == ObjectKind::Font) {
        if (auto* f = dynamic_cast<TextFont*>(live)) return f;
    }
    return static_cast<TextFont*>(DefaultFont());
}

QString ToQString(LPCSTR text, int length) {
    if (!text) return {};
    if (length < 0) length = static_cast<int>(std::strlen(text));
    return QString::fromLatin1(text, length);
}

// Draws one run of text with its top-left corner at the logical point (x, y).
void DrawRun(HDC hdc, TextFont* f, int x, int y, const QString& s) {
    if (s.isEmpty()) return;
    QFontMetrics fm(f->font);
    int w = fm.horizontalAdvance(s);
    int h = fm.height();
    if (GetBkMode(hdc) == OPAQUE) FillSolidRect(hdc, RECT{x, y, x + w, y + h}, GetBkColor(hdc));
    // Italic and overhanging glyphs reach past the advance; leave room for them.
    int pad = std::max(2, h / 3);
    QImage mask(w + 2 * pad, h, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setFont(f->font);
        p.setPen(QColor(0, 0, 0, 255));
        p.drawText(pad, fm.ascent(), s);
    }
    POINT org{x - pad, y};
    LPtoDP(hdc, &org, 1);
    BlendCoverage(hdc, org.x, org.y, mask.width(), mask.height(), mask.constBits(),
                  static_cast<int>(mask.bytesPerLine()), GetTextColor(hdc));
}

// Removes the mnemonic marks: "&&" stands for "&", a single "&" marks the next character.
std::string StripPrefix(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            if (i + 1 < s.size() && s[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += s[i];
    }
    return out;
}

std::vector<std::string> BreakLines(const std::string& text, UINT format, const QFontMetrics& fm, int width) {
    std::vector<std::string> paragraphs;
    if (format & DT_SINGLELINE) {
        std::string one;
        for (char c : text)
            if (c != '\r' && c != '\n') one += c;
        paragraphs.push_back(one);
        return paragraphs;
    }
    std::string cur;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            paragraphs.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    paragraphs.push_back(cur);
    if (!(format & DT_WORDBREAK)) return paragraphs;

    std::vector<std::string> lines;
    auto widthOf = [&](const std::string& s) {
        return fm.horizontalAdvance(QString::fromLatin1(s.data(), static_cast<int>(s.size())));
    };
    for (const std::string& para : paragraphs) {
        // Words keep their leading blanks; a line never starts with the blanks it broke at.
        std::string line;
        size_t i = 0;
        while (i < para.size()) {
            size_t j = i;
            while (j < para.size() && para[j] == ' ') ++j;
            while (j < para.size() && para[j] != ' ') ++j;
            std::string word = para.substr(i, j - i);
            std::string candidate = line + word;
            if (!line.empty() && widthOf(candidate) > width) {
                lines.push_back(line);
                size_t k = word.find_first_not_of(' ');
                line = k == std::string::npos ? std::string() : word.substr(k);
            } else {
                line = candidate;
            }
            i = j;
        }
        lines.push_back(line);
    }
    return lines;
}

// One run of metafile text (see TextRun): the font is made for the run, the glyphs go through a
// coverage mask no larger than the part of the DC's pixels that the turned cell covers.
bool RenderTextRun(HDC hdc, const TextRun& run, int x, int y, bool draw, TextRunMetrics* metrics) {
    if (!Lookup(hdc) || !run.text || run.length <= 0) return false;
    EnsureGuiApplication();
    QFont font;
    font.setFamily(FamilyFor(run.face ? run.face : "", 4 * LF_FACESIZE, true));
    const int px = run.height < 0 ? -run.height : run.height > 0 ? std::max(1, run.height * 4 / 5) : 12;
    font.setPixelSize(std::clamp(px, 1, 4000));
    if (run.weight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp(run.weight, 100, 900)));
    font.setItalic(run.italic);
    font.setUnderline(run.underline);
    font.setStrikeOut(run.strikeOut);
    font.setKerning(false);
    font.setStyleStrategy(QFont::PreferAntialias);
    if (run.width > 0) {
        const int average = QFontMetrics(font).averageCharWidth();
        if (average > 0) font.setStretch(std::clamp(run.width * 100 / average, 1, 4000));
    }
    const QFontMetrics fm(font);
    const QString s = QString::fromUtf16(run.text, run.length);
    // Where each piece starts along the baseline: the whole run at once, or character by character
    // when the run brings its own advances or extra spacing.
    std::vector<std::pair<int, QString>> pieces;
    int advance = 0;
    if (!run.advances && run.charExtra == 0) {
        pieces.emplace_back(0, s);
        advance = fm.horizontalAdvance(s);
    } else {
        for (int i = 0; i < s.size(); ++i) {
            const int n = s[i].isHighSurrogate() && i + 1 < s.size() ? 2 : 1;
            const QString ch = s.mid(i, n);
            pieces.emplace_back(advance, ch);
            const int own = run.advances ? run.advances[i] : fm.horizontalAdvance(ch);
            advance += own + run.charExtra;
            if (n == 2 && run.advances) advance += run.advances[i + 1];
            i += n - 1;
        }
    }
    if (metrics) *metrics = TextRunMetrics{advance, fm.ascent(), fm.descent()};
    if (!draw) return true;

    SurfaceView view;
    if (!GetDCSurface(hdc, &view)) return false;
    const double a = run.angle * 3.14159265358979 / 180, c = std::cos(a), sn = std::sin(a);
    const int pad = std::max(2, fm.height() / 3);
    double x0 = 1e18, y0 = 1e18, x1 = -1e18, y1 = -1e18;
    for (double u : {double(-pad), double(std::max(advance, 0) + pad)})
        for (double v : {0.0, double(fm.height())}) {
            const double bx = x + u * c + v * sn, by = y - u * sn + v * c;
            x0 = std::min(x0, bx), y0 = std::min(y0, by), x1 = std::max(x1, bx), y1 = std::max(y1, by);
        }
    const int left = static_cast<int>(std::max(std::floor(x0), 0.0));
    const int top = static_cast<int>(std::max(std::floor(y0), 0.0));
    const int right = static_cast<int>(std::min(std::ceil(x1), double(view.width)));
    const int bottom = static_cast<int>(std::min(std::ceil(y1), double(view.height)));
    if (left >= right || top >= bottom) return true;
    QImage mask(right - left, bottom - top, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.translate(x - left, y - top);
        p.rotate(-run.angle);
        p.setFont(font);
        p.setPen(QColor(0, 0, 0, 255));
        for (const auto& [at, text] : pieces) p.drawText(QPointF(at, fm.ascent()), text);
    }
    BlendCoverage(hdc, left, top, mask.width(), mask.height(), mask.constBits(), static_cast<int>(mask.bytesPerLine()),
                  run.color);
    return true;
}

// Linking the text part in gives the metafile player its text.
[[maybe_unused]] const bool kRendererInstalled = [] {
    SetTextRunRenderer(&RenderTextRun);
    return true;
}();

}  // namespace

HFONT DefaultFont() {
    static HFONT font = [] {
        LOGFONTA lf{};
        lf.lfHeight = -11;
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        std::strcpy(lf.lfFaceName, "MS Sans Serif");
        GdiObject* obj = RegisterObject(std::make_unique<TextFont>(lf));
        // Registering it as a stock object marks it so and takes it out of the live count.
        RegisterStockObject(DEFAULT_GUI_FONT, obj);
        RegisterStockObject(SYSTEM_FONT, obj);
        RegisterStockObject(ANSI_VAR_FONT, obj);
        return static_cast<HFONT>(obj);
    }();
    return font;
}

bool GetLogFont(HFONT font, LOGFONTA* out) {
    GdiObject* obj = Lookup(font);
    auto* f = obj ? dynamic_cast<TextFont*>(obj) : nullptr;
    if (!f || !out) return false;
    *out = f->lf;
    return true;
}

}  // namespace tikora::gdi

using tikora::gdi::TextFont;

HFONT CreateFontIndirectA(const LOGFONTA* lf) {
    if (!lf) return nullptr;
    tikora::gdi::DefaultFont();
    return static_cast<HFONT>(tikora::gdi::RegisterObject(std::make_unique<TextFont>(*lf)));
}

BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int length, SIZE* size) {
    if (!size || !tikora::gdi::Lookup(hdc)) return FALSE;
    TextFont* f = tikora::gdi::FontOf(hdc);
    QFontMetrics fm(f->font);
    size->cx = fm.horizontalAdvance(tikora::gdi::ToQString(text, length));
    size->cy = fm.height();
    return TRUE;
}

BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    if (!tikora::gdi::Lookup(hdc)) return FALSE;
    TextFont* f = tikora::gdi::FontOf(hdc);
    QString s = tikora::gdi::ToQString(text, length);
    QFontMetrics fm(f->font);
    UINT align = GetTextAlign(hdc);
    if ((align & TA_CENTER) == TA_CENTER)
        x -= fm.horizontalAdvance(s) / 2;
    else if (align & TA_RIGHT)
        x -= fm.horizontalAdvance(s);
    if ((align & TA_BASELINE) == TA_BASELINE)
        y -= fm.ascent();
    else if (align & TA_BOTTOM)
        y -= fm.height();
    tikora::gdi::DrawRun(hdc, f, x, y, s);
    return TRUE;
}

int DrawTextA(HDC hdc, LPCSTR text, int length, LPRECT rect, UINT format) {
    if (!rect || !text || !tikora::gdi::Lookup(hdc)) return 0;
    TextFont* f = tikora::gdi::FontOf(hdc);
    QFontMetrics fm(f->font);
    std::string s = length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
    if (!(format & DT_NOPREFIX)) s = tikora::gdi::StripPrefix(s);
    int width = rect->right - rect->left;
    std::vector<std::string> lines = tikora::gdi::BreakLines(s, format, fm, width);
    int lineHeight = fm.height();
    int total = lineHeight * static_cast<int>(lines.size());
    auto widthOf = [&](const std::string& l) {
        return fm.horizontalAdvance(QString::fromLatin1(l.data(), static_cast<int>(l.size())));
    };

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const auto& l : lines) widest = std::max(widest, widthOf(l));
        rect->right = rect->left + widest;
        rect->bottom = rect->top + total;
        return total;
    }

    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - lineHeight;
    }
    int saved = 0;
    if (!(format & DT_NOCLIP)) {
        saved = SaveDC(hdc);
        IntersectClipRect(hdc, rect->left, rect->top, rect->right, rect->bottom);
    }
    int y = top;
    for (const auto& l : lines) {
        int w = widthOf(l);
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (width - w) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - w;
        tikora::gdi::DrawRun(hdc, f, x, y, QString::fromLatin1(l.data(), static_cast<int>(l.size())));
        y += lineHeight;
    }
    if (saved) RestoreDC(hdc, saved);
    if (format & (DT_VCENTER | DT_BOTTOM)) return top - rect->top + total;
    return total;
}
