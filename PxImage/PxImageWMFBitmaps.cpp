// The metafile player's bitmaps inside records: device-independent bitmaps (run-length ones
// unpacked), old-style bitmaps, and their drawing, blending and brush tiles.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "PxImageWMFPlayer.h"

namespace tikora::metafile {

namespace {

int64_t Stride(int64_t width, int64_t bits) { return ((width * bits + 31) / 32) * 4; }

// Unpacks run-length rows (8 or 4 bits a pixel) into 8-bit rows, bottom row first.
void UnpackRle(const uint8_t* in, size_t n, bool four, int32_t w, int32_t h, std::vector<uint8_t>& out) {
    const size_t stride = static_cast<size_t>(Stride(w, 8));
    out.assign(stride * static_cast<size_t>(h), 0);
    int32_t x = 0, y = 0;
    auto put = [&](uint8_t v) {
        if (x < w && y < h) out[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] = v;
        x = std::min(x + 1, w);
    };
    size_t i = 0;
    while (i + 1 < n && y < h) {
        const uint8_t count = in[i], value = in[i + 1];
        i += 2;
        if (count > 0) {
            for (uint32_t k = 0; k < count; k++) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
        } else if (value == 0) {  // end of line
            x = 0;
            y++;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // move by a delta
            if (i + 1 >= n) break;
            x = std::min(x + in[i], w);
            y = std::min(y + in[i + 1], h);
            i += 2;
        } else {  // `value` pixels as they stand, padded to a word
            const size_t bytes = four ? (value + 1u) / 2 : value;
            for (uint32_t k = 0; k < value && i + (four ? k / 2 : k) < n; k++) {
                const uint8_t b = in[i + (four ? k / 2 : k)];
                put(four ? (k & 1 ? b & 15 : b >> 4) : b);
            }
            i += (bytes + 1) & ~size_t(1);
        }
    }
}

}  // namespace

// The bytes [off, off + n) of the record being played, or null when they are not all in it.
const uint8_t* Player::RecordBytes(size_t off, size_t n) const {
    return off <= recSize_ && n <= recSize_ - off ? recData_ + off : nullptr;
}

// Reads a DIB whose header (and colour table) are `size` bytes at `data`; its rows are at
// `bits` (`bitsSize` bytes), or follow the colour table when `bits` is null. `lines`, when
// not 0, is how many rows the record holds.
bool Player::ReadDib(const uint8_t* data, size_t size, const uint8_t* bits, size_t bitsSize, uint32_t usage, Dib& dib,
                     uint32_t lines) {
    if (!data) return false;
    const PxLeReader r(data, size);
    const uint32_t headerSize = r.U32(0);
    int64_t width, height;
    uint32_t bpp, compression = BI_RGB, clrUsed = 0;
    size_t entry = usage == DIB_PAL_COLORS ? 2 : usage == kDibPalIndices ? 0 : 4;
    if (headerSize == 12) {
        width = r.U16(4);
        height = r.I16(6);
        bpp = r.U16(10);
        if (usage != DIB_PAL_COLORS && usage != kDibPalIndices) entry = 3;
    } else if (headerSize >= 40) {
        width = r.I32(4);
        height = r.I32(8);
        bpp = r.U16(14);
        compression = r.U32(16);
        clrUsed = r.U32(32);
    } else {
        return false;
    }
    if (r.Short() || headerSize > size) return false;
    if (lines != 0 && lines < (height < 0 ? -height : height)) height = height < 0 ? -int64_t(lines) : lines;
    const int64_t rows = height < 0 ? -height : height;
    const bool rle = (compression == BI_RLE8 && bpp == 8) || (compression == BI_RLE4 && bpp == 4);
    const bool fields = compression == BI_BITFIELDS && (bpp == 16 || bpp == 32);
    if (compression != BI_RGB && !rle && !fields) return false;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (width <= 0 || rows == 0 || (rle && height < 0)) return false;
    if (width * rows > (rle ? kMaxRlePixels : kMaxDibPixels)) return false;

    const uint64_t tableAt = headerSize + (fields && headerSize == 40 ? 12 : 0);
    const uint64_t colours = bpp <= 8 ? (clrUsed && clrUsed < (1u << bpp) ? clrUsed : 1u << bpp) : clrUsed;
    const uint64_t tableEnd = tableAt + colours * entry;
    if ((bpp <= 8 || fields) && tableEnd > size) return false;
    dib.info.assign(10 + 256, 0);
    const BITMAPINFOHEADER h{40,
                             static_cast<LONG>(width),
                             static_cast<LONG>(height),
                             1,
                             static_cast<WORD>(rle ? 8 : bpp),
                             fields ? BI_BITFIELDS : BI_RGB,
                             0,
                             0,
                             0,
                             bpp <= 8 ? static_cast<DWORD>(colours) : 0,
                             0};
    std::memcpy(dib.info.data(), &h, sizeof(h));
    if (fields) {
        for (size_t i = 0; i < 3; i++) dib.info[10 + i] = r.U32(40 + 4 * i);
    } else if (bpp <= 8) {
        for (size_t i = 0; i < colours; i++) {
            const size_t at = static_cast<size_t>(tableAt + i * entry);
            COLORREF c;
            if (usage == kDibPalIndices)
                c = Resolve(0x01000000u | static_cast<uint32_t>(i));
            else if (usage == DIB_PAL_COLORS)
                c = Resolve(0x01000000u | r.U16(at));
            else
                c = RGB(r.U8(at + 2), r.U8(at + 1), r.U8(at));
            dib.info[10 + i] = Rgb(c);
        }
    }
    if (!bits) {
        if (tableEnd > size) return false;
        bits = data + tableEnd;
        bitsSize = size - static_cast<size_t>(tableEnd);
    }
    dib.width = static_cast<int32_t>(width);
    dib.height = static_cast<int32_t>(height);
    if (rle) {
        // Unpacking costs the bitmap's whole size however short its data: a budget for all.
        if (width * rows > unpackBudget_) return false;
        unpackBudget_ -= width * rows;
        UnpackRle(bits, bitsSize, bpp == 4, dib.width, dib.height, dib.unpacked);
        dib.bits = dib.unpacked.data();
        return true;
    }
    if (static_cast<uint64_t>(Stride(width, bpp) * rows) > bitsSize) return false;
    dib.bits = bits;
    return true;
}

// A packed DIB (header, colours, rows) from `off` to the record's end.
bool Player::PackedDib(size_t off, uint32_t usage, Dib& dib) {
    const uint8_t* at = RecordBytes(off, 0);
    return at && ReadDib(at, recSize_ - off, nullptr, 0, usage, dib);
}

// An old-style bitmap (type, width, height, bytes a row, planes, bits a pixel, rows top down)
// as a DIB; a monochrome one takes the text and background colours.
bool Player::Bitmap16(size_t off, Dib& dib) {
    const uint8_t* at = RecordBytes(off, 10);
    if (!at) return false;
    const PxLeReader r(at, 10);
    if (r.U8(8) != 1 || !Bitmap16At(r.I16(2), r.I16(4), r.I16(6), r.U8(9), off + 10, dib)) return false;
    if (dib.Info()->bmiHeader.biBitCount == 1) {
        dib.info[10] = Rgb(Resolve(st_.textColor));
        dib.info[11] = Rgb(Resolve(st_.bkColor));
    }
    return true;
}

// The rows of an old-style bitmap at `rowsAt`, repacked as a top-down DIB (monochrome: black
// and white).
bool Player::Bitmap16At(int32_t w, int32_t h, int32_t rowBytes, int32_t bpp, size_t rowsAt, Dib& dib) {
    if (w <= 0 || h <= 0 || (bpp != 1 && bpp != 24 && bpp != 32)) return false;
    if (rowBytes < (w * bpp + 7) / 8) return false;
    const uint8_t* rows = RecordBytes(rowsAt, static_cast<size_t>(rowBytes) * h);
    if (!rows) return false;
    const size_t stride = static_cast<size_t>(Stride(w, bpp));
    dib.unpacked.assign(stride * h, 0);
    for (int32_t y = 0; y < h; y++)
        std::memcpy(&dib.unpacked[y * stride], rows + static_cast<size_t>(y) * rowBytes,
                    std::min<size_t>(stride, static_cast<size_t>(rowBytes)));
    dib.info.assign(10 + 2, 0);
    const BITMAPINFOHEADER hdr{40, w, -h, 1, static_cast<WORD>(bpp), BI_RGB, 0, 0, 0, bpp == 1 ? 2u : 0u, 0};
    std::memcpy(dib.info.data(), &hdr, sizeof(hdr));
    dib.info[11] = 0xFFFFFF;
    dib.bits = dib.unpacked.data();
    dib.width = w;
    dib.height = -h;
    return true;
}

// The top row of a source rectangle given as StretchDIBits takes it: from the bottom of a
// bottom-up DIB.
int32_t Player::TopRow(const Dib& dib, int64_t y, int64_t h) {
    const int64_t top = dib.height > 0 ? int64_t{dib.Rows()} - y - h : y;
    return static_cast<int32_t>(std::clamp<int64_t>(top, INT32_MIN / 2, INT32_MAX / 2));
}

// Draws source rectangle (sx, sy, sw, sh) of a DIB, counted from its top row, into the
// logical rectangle (x, y, w, h).
void Player::DrawDib(const Dib& dib, double x, double y, double w, double h, int32_t sx, int32_t sy, int32_t sw,
                     int32_t sh, uint32_t rop) {
    const POINT a = Map(x, y), b = Map(x + w, y + h);
    if (a.x == b.x || a.y == b.y || sw == 0 || sh == 0) return;
    // The pixels drawn, and the bitmap's own as they are read.
    const RECT box{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
    if (!Afford(VisibleArea(box) + int64_t{dib.width} * dib.Rows())) return;
    // StretchDIBits counts a bottom-up DIB's rows from its bottom.
    const int64_t fromBottom = dib.height > 0 ? int64_t(dib.height) - sy - sh : sy;
    const int32_t syDib = static_cast<int32_t>(std::clamp<int64_t>(fromBottom, INT32_MIN / 2, INT32_MAX / 2));
    WithSolidBrush([&] {
        StretchDIBits(dc_, a.x, a.y, b.x - a.x, b.y - a.y, sx, syDib, sw, sh, dib.bits, dib.Info(), DIB_RGB_COLORS,
                      rop);
    });
}

// A DIB drawn where a mask's set bits are, the destination kept elsewhere:
// D ^ S, then cleared where the mask is set, then ^ S again.
void Player::DrawMasked(const Dib& dib, Dib mask, double x, double y, double w, double h, int32_t sx, int32_t sy,
                        int32_t mx, int32_t my) {
    if (mask.Info()->bmiHeader.biBitCount != 1) return DrawDib(dib, x, y, w, h, sx, sy, dib.width, dib.Rows(), SRCCOPY);
    const int32_t sw = static_cast<int32_t>(w), sh = static_cast<int32_t>(h);
    DrawDib(dib, x, y, w, h, sx, sy, sw, sh, SRCINVERT);
    mask.info[10] = 0xFFFFFF;
    mask.info[11] = 0;
    DrawDib(mask, x, y, w, h, mx, my, sw, sh, SRCAND);
    DrawDib(dib, x, y, w, h, sx, sy, sw, sh, SRCINVERT);
}

// A DIB's pixels as 0xAARRGGBB, top row first: colours through a 32-bit DIB section, alpha
// from a 32-bit source's fourth byte (opaque for others).
bool Player::Pixels32(const Dib& dib, std::vector<uint32_t>& out) {
    const int32_t w = dib.width, h = dib.Rows();
    if (int64_t(w) * h > kMaxRlePixels) return false;
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) return false;
    const bool ok = SetDIBits(dc_, section, 0, static_cast<UINT>(h), dib.bits, dib.Info(), DIB_RGB_COLORS) > 0;
    if (ok) out.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + size_t(w) * h);
    DeleteObject(section);
    if (!ok) return false;
    const BITMAPINFOHEADER& hd = dib.Info()->bmiHeader;
    const bool alpha = hd.biBitCount == 32 && hd.biCompression == BI_RGB;
    const size_t stride = static_cast<size_t>(w) * 4;
    for (int32_t y = 0; y < h; y++) {
        const uint8_t* row = dib.bits + stride * static_cast<size_t>(dib.height > 0 ? h - 1 - y : y);
        for (int32_t x = 0; x < w; x++) {
            uint32_t& v = out[static_cast<size_t>(y) * w + x];
            v = (v & 0xFFFFFF) | (uint32_t{alpha ? row[4 * x + 3] : uint8_t{255}} << 24);
        }
    }
    return true;
}

// Source rectangle (sx, sy, sw, sh) of a DIB, from its top, blended over the logical
// rectangle: with a constant alpha, and with the source's own (premultiplied) alpha.
void Player::AlphaBlend(const Dib& dib, double x, double y, double w, double h, int32_t sx, int32_t sy, int32_t sw,
                        int32_t sh, uint32_t constant, bool perPixel) {
    tikora::gdi::SurfaceView view;
    std::vector<uint32_t> src;
    POINT a = Map(x, y), b = Map(x + w, y + h);
    const bool flipX = a.x > b.x, flipY = a.y > b.y;
    if (flipX) std::swap(a.x, b.x);
    if (flipY) std::swap(a.y, b.y);
    const int64_t dw = int64_t(b.x) - a.x, dh = int64_t(b.y) - a.y;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    // The pixels blended, the bitmap's own as they are read, and the clip's rectangles gone through.
    if (!Afford(kBlendCost * VisibleArea(RECT{a.x, a.y, b.x, b.y}) + int64_t{dib.width} * dib.Rows() +
                ClipWork(nullptr)))
        return;
    if (!tikora::gdi::GetDCSurface(dc_, &view) || view.bitCount != 32 || !Pixels32(dib, src)) return;
    for (const RECT& c : tikora::gdi::GetClipRects(dc_)) {
        const LONG l = std::max(c.left, a.x), t = std::max(c.top, a.y), r = std::min(c.right, b.x),
                   btm = std::min(c.bottom, b.y);
        for (LONG py = t; py < btm; py++) {
            const int64_t v = (2 * int64_t{py - a.y} + 1) * sh / (2 * dh);
            const int64_t srcY = sy + (flipY ? sh - 1 - v : v);
            if (srcY < 0 || srcY >= dib.Rows()) continue;
            uint32_t* row = reinterpret_cast<uint32_t*>(view.scan0 + int64_t(py) * view.pitch);
            for (LONG px = l; px < r; px++) {
                const int64_t u = (2 * int64_t{px - a.x} + 1) * sw / (2 * dw);
                const int64_t srcX = sx + (flipX ? sw - 1 - u : u);
                if (srcX < 0 || srcX >= dib.width) continue;
                const uint32_t s = src[static_cast<size_t>(srcY) * dib.width + static_cast<size_t>(srcX)];
                const uint32_t d = row[px];
                const uint32_t sa = perPixel ? (s >> 24) * constant / 255 : constant;
                uint32_t outPx = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    const uint32_t sc = (s >> shift) & 0xFF, dc = (d >> shift) & 0xFF;
                    // A premultiplied source adds its colour scaled by the constant alpha only.
                    const uint32_t v2 = perPixel ? std::min<uint32_t>(255, sc * constant / 255 + dc * (255 - sa) / 255)
                                                 : (sc * sa + dc * (255 - sa)) / 255;
                    outPx |= v2 << shift;
                }
                row[px] = outPx;
            }
        }
    }
}

// A brush's tile from a DIB, through a 32-bit DIB section.
std::shared_ptr<const Pattern> Player::TileOf(const Dib& dib, bool mono) {
    const int32_t w = dib.width, h = dib.Rows();
    if (int64_t(w) * h > kMaxPatternPixels) return nullptr;
    Dib src = dib;
    if (mono && src.Info()->bmiHeader.biBitCount == 1) {
        src.info[10] = 0;
        src.info[11] = 0xFFFFFF;
    }
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{40, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc_, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!section) return nullptr;
    auto tile = std::make_shared<Pattern>();
    tile->width = w;
    tile->height = h;
    tile->mono = mono;
    if (SetDIBits(dc_, section, 0, static_cast<UINT>(h), src.bits, src.Info(), DIB_RGB_COLORS) > 0) {
        const uint32_t* px = static_cast<const uint32_t*>(bits);
        tile->px.assign(px, px + static_cast<size_t>(w) * h);
        for (uint32_t& v : tile->px) v = mono ? ((v & 0xFFFFFF) ? 1 : 0) : (v & 0xFFFFFF);
    }
    DeleteObject(section);
    if (tile->px.empty()) return nullptr;
    return tile;
}

BrushDesc Player::TileBrush(const Dib& dib, bool mono) {
    BrushDesc b;
    b.style = BrushDesc::Tile;
    b.pattern = TileOf(dib, mono);
    if (!b.pattern) b = BrushDesc::Of(RGB(128, 128, 128));
    return b;
}

}  // namespace tikora::metafile
