#pragma once
// Fonts and text output of the software GDI. Glyphs are rasterised by QtGui into a coverage mask
// and painted through the DC's clip, so the 4th byte of 32-bit surfaces stays 0.
#include "WinGdi.h"

constexpr int LF_FACESIZE = 32;

// 60 bytes, as Windows lays it out.
struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTA) == 60);
using LOGFONT = LOGFONTA;
using LPLOGFONTA = LOGFONTA*;

constexpr LONG FW_DONTCARE = 0;
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

constexpr BYTE ANSI_CHARSET = 0;
constexpr BYTE DEFAULT_CHARSET = 1;
constexpr BYTE OUT_DEFAULT_PRECIS = 0;
constexpr BYTE CLIP_DEFAULT_PRECIS = 0;
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE DRAFT_QUALITY = 1;
constexpr BYTE PROOF_QUALITY = 2;
constexpr BYTE NONANTIALIASED_QUALITY = 3;
constexpr BYTE ANTIALIASED_QUALITY = 4;
constexpr BYTE CLEARTYPE_QUALITY = 5;
constexpr BYTE DEFAULT_PITCH = 0;
constexpr BYTE FIXED_PITCH = 1;
constexpr BYTE VARIABLE_PITCH = 2;
constexpr BYTE FF_DONTCARE = 0;

constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;

HFONT CreateFontIndirectA(const LOGFONTA* lf);
inline HFONT CreateFontIndirect(const LOGFONTA* lf) { return CreateFontIndirectA(lf); }

// Uses the DC's font, text colour, background colour and mode, and text alignment.
BOOL TextOutA(HDC hdc, int x, int y, LPCSTR text, int length);
BOOL GetTextExtentPoint32A(HDC hdc, LPCSTR text, int length, SIZE* size);
// Lines break at line feeds and, with DT_WORDBREAK, between words; every line is the font's
// height. Returns the height of the text (with DT_VCENTER or DT_BOTTOM: the offset of its
// bottom from the rectangle's top).
int DrawTextA(HDC hdc, LPCSTR text, int length, LPRECT rect, UINT format);

namespace tikora::gdi {
// The font every DC starts with (DEFAULT_GUI_FONT): 11 pixels high, normal weight.
HFONT DefaultFont();
// The logical font behind a font handle; false for anything else.
bool GetLogFont(HFONT font, LOGFONTA* out);
}  // namespace tikora::gdi
