// The metafile player's Windows-metafile records.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PxImageWMFPlayer.h"

namespace tikora::metafile {

void Player::PlayWindows() {
    const std::vector<uint8_t>& b = mf_.bytes;
    const PxLeReader r(b.data(), b.size());
    if (b.size() < 18) return;
    objects_.assign(r.U16(10), GdiObjectDesc{});
    st_.winOrgX = mf_.boxLeft;
    st_.winOrgY = mf_.boxTop;
    st_.winExtX = mf_.boxWidth;
    st_.winExtY = mf_.boxHeight;
    st_.pen = SolidPen(0);
    st_.brush = BrushDesc::Of(RGB(255, 255, 255));
    size_t pos = std::max<size_t>(18, static_cast<size_t>(r.U16(2)) * 2);
    while (pos + 6 <= b.size()) {
        const uint64_t bytes = static_cast<uint64_t>(r.U32(pos)) * 2;
        const uint16_t function = r.U16(pos + 4);
        if (bytes < 6 || bytes > b.size() - pos || function == 0) break;
        recData_ = b.data() + pos + 6;
        recSize_ = static_cast<size_t>(bytes - 6);
        clipKnown_ = false;  // the record may change the clip region
        if (!WindowsRecord(function, Params(recData_, recSize_)) || exhausted_) break;
        pos += static_cast<size_t>(bytes);
    }
}

void Player::CreateWindowsObject(const GdiObjectDesc& obj) {
    for (GdiObjectDesc& slot : objects_)
        if (slot.kind == GdiObjectDesc::Free) {
            slot = obj;
            return;
        }
}

std::vector<POINT> Player::WindowsPoints(const Params& p, size_t off, uint32_t count) const {
    std::vector<POINT> pts;
    count = static_cast<uint32_t>(std::min<size_t>(count, (p.Size() > off ? p.Size() - off : 0) / 4));
    pts.reserve(count);
    for (uint32_t i = 0; i < count; i++) pts.push_back(Map(p.I16(off + 4 * i), p.I16(off + 4 * i + 2)));
    return pts;
}

void Player::WindowsText(const Params& p, double x, double y, size_t textAt, size_t length, uint32_t options,
                         const double* rect, size_t dxAt) {
    if (!p.Has(textAt, length)) return;
    const std::u16string text = Narrow(p, textAt, length);
    std::vector<double> dx;
    for (size_t i = 0; i < length && dxAt && p.Has(dxAt + 2 * i, 2); i++) dx.push_back(p.I16(dxAt + 2 * i));
    if (dx.size() < length) dx.clear();
    Text(x, y, text, dx, options, rect);
}

FontDesc Player::WindowsFont(const Params& p) const {
    FontDesc f;
    f.height = p.I16(0);
    f.width = p.I16(2);
    f.escapement = p.I16(4);
    f.weight = p.I16(8);
    f.italic = p.U8(10) != 0;
    f.underline = p.U8(11) != 0;
    f.strikeOut = p.U8(12) != 0;
    std::u16string face;
    for (size_t i = 18; i < 18 + 32 && p.Has(i, 1) && p.U8(i) != 0; i++) face += FromCp1252(p.U8(i));
    f.face = Utf8(face);
    return f;
}

// False ends the playing: the record is malformed.
bool Player::WindowsRecord(uint16_t function, const Params& p) {
    const size_t size = p.Size();
    switch (function) {
        case 0x001E:
            Save();
            break;  // SaveDC
        case 0x0127:
            Restore(p.I16(0));
            break;  // RestoreDC
        case 0x0104:
            st_.rop2 = std::clamp<int32_t>(p.U16(0), 1, 16);
            break;  // SetROP2
        case 0x0106:
            st_.polyFill = p.U16(0) == WINDING ? WINDING : ALTERNATE;
            break;
        case 0x0201:
            st_.bkColor = p.U32(0) & 0x01FFFFFF;
            break;
        case 0x0209:
            st_.textColor = p.U32(0) & 0x01FFFFFF;
            break;
        case 0x0102:
            st_.bkMode = p.U16(0) == TRANSPARENT ? TRANSPARENT : OPAQUE;
            break;
        case 0x012E:
            st_.textAlign = p.U16(0);
            break;
        case 0x0108:
            st_.charExtra = p.I16(0);
            break;
        case 0x020B:
            st_.winOrgX = p.I16(2);
            st_.winOrgY = p.I16(0);
            break;  // SetWindowOrg
        case 0x020C:
            st_.winExtX = p.I16(2);
            st_.winExtY = p.I16(0);
            break;  // SetWindowExt
        case 0x020F:
            st_.winOrgX += p.I16(2);
            st_.winOrgY += p.I16(0);
            break;    // OffsetWindowOrg
        case 0x0410:  // ScaleWindowExt
            if (p.I16(4) != 0 && p.I16(0) != 0) {
                st_.winExtX = st_.winExtX * p.I16(6) / p.I16(4);
                st_.winExtY = st_.winExtY * p.I16(2) / p.I16(0);
            }
            break;
        case 0x0214:
            st_.curX = p.I16(2);
            st_.curY = p.I16(0);
            break;      // MoveTo
        case 0x0213: {  // LineTo
            const double x = p.I16(2), y = p.I16(0);
            LineOn({Map(x, y)}, x, y);
            break;
        }
        case 0x041B:
            Rect(p.I16(6), p.I16(4), p.I16(2), p.I16(0));
            break;
        case 0x0418:
            Ellipse(p.I16(6), p.I16(4), p.I16(2), p.I16(0));
            break;
        case 0x061C:
            RoundRect(p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(2), p.I16(0));
            break;
        case 0x0817:  // Arc
        case 0x081A:  // Pie
        case 0x0830:  // Chord
            Arc(function == 0x0817   ? ArcKind::Open
                : function == 0x081A ? ArcKind::Pie
                                     : ArcKind::Chord,
                p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(2), p.I16(0));
            break;
        case 0x041F:
            SetPixelAt(p.I16(6), p.I16(4), p.U32(0) & 0x01FFFFFF);
            break;
        case 0x0324: {  // Polygon
            if (p.U16(0) > size / 4) return false;
            Shape(WindowsPoints(p, 2, p.U16(0)), true, true);
            break;
        }
        case 0x0325:
            if (p.U16(0) > size / 4) return false;
            Shape(WindowsPoints(p, 2, p.U16(0)), false, false);
            break;      // Polyline
        case 0x0538: {  // PolyPolygon
            const uint32_t polys = p.U16(0);
            if (polys > size / 2) return false;
            size_t off = 2 + 2 * static_cast<size_t>(polys);
            std::vector<std::vector<POINT>> all;
            for (uint32_t i = 0; i < polys && off < size; i++) {
                const uint32_t n = p.U16(2 + 2 * static_cast<size_t>(i));
                all.push_back(WindowsPoints(p, off, n));
                off += 4 * static_cast<size_t>(n);
            }
            PolyPolygon(all);
            break;
        }
        case 0x061D:  // PatBlt
            PatternBlt(p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.U32(0));
            break;
        case 0x0521: {  // TextOut
            const size_t n = p.U16(0), padded = (n + 1) & ~size_t(1);
            if (n > size) return false;
            WindowsText(p, p.I16(4 + padded), p.I16(2 + padded), 2, n, 0, nullptr, 0);
            break;
        }
        case 0x0A32: {  // ExtTextOut
            const size_t n = p.U16(4);
            const uint32_t options = p.U16(6);
            const bool hasRect = options & (ETO_OPAQUE | ETO_CLIPPED);
            const double rect[4] = {static_cast<double>(p.I16(8)), static_cast<double>(p.I16(10)),
                                    static_cast<double>(p.I16(12)), static_cast<double>(p.I16(14))};
            const size_t textAt = hasRect ? 16 : 8, padded = (n + 1) & ~size_t(1);
            if (n > size) return false;
            WindowsText(p, p.I16(2), p.I16(0), textAt, n, options, hasRect ? rect : nullptr, textAt + padded);
            break;
        }
        case 0x0940:    // DIBBitBlt
        case 0x0B41: {  // DIBStretchBlt
            const bool stretch = function == 0x0B41;
            const size_t plain = stretch ? 22 : 18;  // the form without a bitmap
            const uint32_t rop = p.U32(0);
            if (size <= plain) {
                PatternBlt(p.I16(plain - 2), p.I16(plain - 4), p.I16(plain - 6), p.I16(plain - 8), rop);
                break;
            }
            Dib dib;
            const size_t at = stretch ? 20 : 16;
            if (!PackedDib(at, DIB_RGB_COLORS, dib)) break;
            if (stretch)
                DrawDib(dib, p.I16(18), p.I16(16), p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), rop);
            else
                DrawDib(dib, p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(10), p.I16(8), rop);
            break;
        }
        case 0x0922:    // BitBlt
        case 0x0B23: {  // StretchBlt
            const bool stretch = function == 0x0B23;
            const size_t plain = stretch ? 22 : 18;
            const uint32_t rop = p.U32(0);
            if (size <= plain) {
                PatternBlt(p.I16(plain - 2), p.I16(plain - 4), p.I16(plain - 6), p.I16(plain - 8), rop);
                break;
            }
            Dib dib;
            if (!Bitmap16(stretch ? 20 : 16, dib)) break;
            if (stretch)
                DrawDib(dib, p.I16(18), p.I16(16), p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), rop);
            else
                DrawDib(dib, p.I16(14), p.I16(12), p.I16(10), p.I16(8), p.I16(6), p.I16(4), p.I16(10), p.I16(8), rop);
            break;
        }
        case 0x0F43: {  // StretchDIB
            Dib dib;
            if (!PackedDib(22, p.U16(4), dib)) break;
            // Its source rectangle counts a bottom-up bitmap's rows from the bottom.
            const int32_t sh = p.I16(6), sy = p.I16(10);
            DrawDib(dib, p.I16(20), p.I16(18), p.I16(16), p.I16(14), p.I16(12), TopRow(dib, sy, sh), p.I16(8), sh,
                    p.U32(0));
            break;
        }
        case 0x0D33: {  // SetDIBitsToDevice
            Dib dib;
            const uint8_t* at = RecordBytes(18, 0);
            if (!at || !ReadDib(at, size - 18, nullptr, 0, p.U16(0), dib, p.U16(2))) break;
            const int32_t w = p.I16(12), h = p.I16(10);
            const int64_t sy = int64_t{p.I16(6)} - p.U16(4);
            DrawDib(dib, p.I16(16), p.I16(14), w, h, p.I16(8), TopRow(dib, sy, h), w, h, SRCCOPY);
            break;
        }
        case 0x012D: {  // SelectObject
            const uint16_t i = p.U16(0);
            if (i < objects_.size()) Select(objects_[i]);
            break;
        }
        case 0x012C: {  // SelectClipRegion
            const uint16_t i = p.U16(0);
            if (i < objects_.size() && objects_[i].kind == GdiObjectDesc::Region)
                SelectRegion(objects_[i]);
            else
                SelectClipRgn(dc_, nullptr);
            break;
        }
        case 0x0234: {  // SelectPalette
            const uint16_t i = p.U16(0);
            if (i < objects_.size() && objects_[i].kind == GdiObjectDesc::Palette) st_.palette = objects_[i].palette;
            break;
        }
        case 0x0416:
        case 0x0415:  // IntersectClipRect, ExcludeClipRect
            ClipRect(p.I16(6), p.I16(4), p.I16(2), p.I16(0), function == 0x0416 ? RGN_AND : RGN_DIFF);
            break;
        case 0x0220:
            OffsetClip(p.I16(2), p.I16(0));
            break;
        case 0x0228:    // FillRegion
        case 0x012B: {  // PaintRegion
            const uint16_t ri = p.U16(0), bi = p.U16(2);
            if (ri >= objects_.size() || objects_[ri].kind != GdiObjectDesc::Region) break;
            BrushDesc brush = st_.brush;
            if (function == 0x0228) {
                if (bi >= objects_.size() || objects_[bi].kind != GdiObjectDesc::Brush) break;
                brush = objects_[bi].brush;
            }
            if (!Afford(kRegionRectCost * static_cast<int64_t>(objects_[ri].rects.size()))) break;
            HRGN all = LogicalRectsRgn(objects_[ri].rects);
            FillRegion(all, brush);
            DeleteObject(all);
            break;
        }
        case 0x01F0: {  // DeleteObject
            const uint16_t i = p.U16(0);
            if (i < objects_.size()) objects_[i] = GdiObjectDesc{};
            break;
        }
        case 0x02FA: {  // CreatePenIndirect
            GdiObjectDesc obj;
            obj.kind = GdiObjectDesc::Pen;
            obj.pen = MakePen(p.U16(0), p.I16(2), p.U32(6));
            CreateWindowsObject(obj);
            break;
        }
        case 0x02FC: {  // CreateBrushIndirect
            GdiObjectDesc obj;
            obj.kind = GdiObjectDesc::Brush;
            obj.brush = MakeBrush(p.U16(0), p.U32(2), p.U16(6));
            CreateWindowsObject(obj);
            break;
        }
        case 0x0142:    // DIBCreatePatternBrush
        case 0x01F9: {  // CreatePatternBrush
            GdiObjectDesc obj;
            obj.kind = GdiObjectDesc::Brush;
            Dib dib;
            bool ok;
            if (function == 0x0142) {
                ok = PackedDib(4, p.U16(0) == BS_PATTERN ? DIB_RGB_COLORS : p.U16(2), dib);
            } else {
                // The bitmap's header with a pointer's room, 18 reserved bytes, then its rows.
                ok = p.U8(8) == 1 && Bitmap16At(p.I16(2), p.I16(4), p.I16(6), p.U8(9), 32, dib);
            }
            obj.brush = ok ? TileBrush(dib, function == 0x01F9 && dib.Info()->bmiHeader.biBitCount == 1)
                           : BrushDesc::Of(RGB(128, 128, 128));
            CreateWindowsObject(obj);
            break;
        }
        case 0x02FB: {  // CreateFontIndirect
            GdiObjectDesc obj;
            obj.kind = GdiObjectDesc::Font;
            obj.font = WindowsFont(p);
            CreateWindowsObject(obj);
            break;
        }
        case 0x00F7:  // CreatePalette
            CreateWindowsObject(PaletteObject(p, 2, 4));
            break;
        case 0x06FF: {  // CreateRegion
            GdiObjectDesc obj;
            obj.kind = GdiObjectDesc::Region;
            const int32_t scans = p.I16(10);
            size_t off = 22;
            for (int32_t s = 0; s < scans && p.Has(off, 6); s++) {
                const size_t count = p.U16(off);
                const LONG top = p.I16(off + 2), bottom = p.I16(off + 4);
                for (size_t j = 0; j + 1 < count && p.Has(off + 6 + 2 * j, 4); j += 2)
                    obj.rects.push_back(RECT{p.I16(off + 6 + 2 * j), top, p.I16(off + 8 + 2 * j), bottom});
                off += 6 + 2 * count + 2;
            }
            if (scans <= 0) obj.rects.push_back(RECT{p.I16(14), p.I16(16), p.I16(18), p.I16(20)});
            CreateWindowsObject(obj);
            break;
        }
        default:
            break;
    }
    return true;
}

}  // namespace tikora::metafile
