#include <bit>
#include <cstring>

#include "GdiInternal.h"

namespace tikora::gdi {
namespace {

constexpr Px Pack(BYTE r, BYTE g, BYTE b) { return (Px(r) << 16) | (Px(g) << 8) | Px(b); }
constexpr BYTE R(Px p) { return static_cast<BYTE>(p >> 16); }
constexpr BYTE G(Px p) { return static_cast<BYTE>(p >> 8); }
constexpr BYTE B(Px p) { return static_cast<BYTE>(p); }
Px FromQuad(const RGBQUAD& q) { return Pack(q.rgbRed, q.rgbGreen, q.rgbBlue); }

BYTE Expand(DWORD value, DWORD mask) {
    if (!mask) return 0;
    int shift = std::countr_zero(mask);
    int bits = std::popcount(mask);
    DWORD v = (value & mask) >> shift;
    if (bits >= 8) return static_cast<BYTE>(v >> (bits - 8));
    return static_cast<BYTE>((v * 255 + ((1u << bits) - 1) / 2) / ((1u << bits) - 1));
}

DWORD Compress(BYTE c, DWORD mask) {
    if (!mask) return 0;
    int shift = std::countr_zero(mask);
    int bits = std::popcount(mask);
    DWORD v = bits >= 8 ? (DWORD(c) << (bits - 8)) : (DWORD(c) * ((1u << bits) - 1) + 127) / 255;
    return (v << shift) & mask;
}

bool PlainMasks32(const Surface& s) {
    return !s.bitfields || (s.masks[0] == 0xFF0000 && s.masks[1] == 0xFF00 && s.masks[2] == 0xFF);
}

// The static colours of the system palette, which DIB_PAL_COLORS indexes refer to.
constexpr RGBQUAD kSystemPalette[20] = {
    {0, 0, 0, 0},       {0, 0, 128, 0},     {0, 128, 0, 0},     {0, 128, 128, 0},   {128, 0, 0, 0},
    {128, 0, 128, 0},   {128, 128, 0, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {240, 202, 166, 0},
    {240, 251, 255, 0}, {164, 160, 160, 0}, {128, 128, 128, 0}, {0, 0, 255, 0},     {0, 255, 0, 0},
    {0, 255, 255, 0},   {255, 0, 0, 0},     {255, 0, 255, 0},   {255, 255, 0, 0},   {255, 255, 255, 0},
};

}  // namespace

int64_t DibStride(int64_t width, int bitCount) { return ((width * bitCount + 31) / 32) * 4; }

std::vector<RGBQUAD> DefaultPalette(int bitCount) {
    std::vector<RGBQUAD> p;
    if (bitCount == 1) {
        p = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    } else if (bitCount == 4) {
        static constexpr BYTE vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
        for (auto& c : vga) p.push_back(RGBQUAD{c[2], c[1], c[0], 0});
    } else if (bitCount == 8) {
        // Eight levels of red and green, four of blue.
        for (int i = 0; i < 256; ++i) {
            BYTE r = static_cast<BYTE>(((i >> 5) & 7) * 255 / 7);
            BYTE g = static_cast<BYTE>(((i >> 2) & 7) * 255 / 7);
            BYTE b = static_cast<BYTE>((i & 3) * 255 / 3);
            p.push_back(RGBQUAD{b, g, r, 0});
        }
    }
    return p;
}

int NearestIndex(const std::vector<RGBQUAD>& palette, Px p) {
    int best = 0;
    int64_t bestDist = INT64_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
        int dr = int(palette[i].rgbRed) - R(p), dg = int(palette[i].rgbGreen) - G(p),
            db = int(palette[i].rgbBlue) - B(p);
        int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
        if (d < bestDist) {
            bestDist = d;
            best = static_cast<int>(i);
            if (d == 0) break;
        }
    }
    return best;
}

void ReadRow(const Surface& s, LONG y, LONG x0, LONG n, Px* out) {
    const BYTE* row = s.Row(y);
    const size_t pal = s.palette.size();
    auto lookup = [&](unsigned idx) { return idx < pal ? FromQuad(s.palette[idx]) : Px(0); };
    switch (s.bitCount) {
        case 1:
            for (LONG i = 0; i < n; ++i) {
                LONG x = x0 + i;
                out[i] = lookup((row[x >> 3] >> (7 - (x & 7))) & 1);
            }
            break;
        case 4:
            for (LONG i = 0; i < n; ++i) {
                LONG x = x0 + i;
                out[i] = lookup((x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4));
            }
            break;
        case 8:
            for (LONG i = 0; i < n; ++i) out[i] = lookup(row[x0 + i]);
            break;
        case 16:
            for (LONG i = 0; i < n; ++i) {
                const BYTE* q = row + 2 * (x0 + i);
                DWORD v = DWORD(q[0]) | (DWORD(q[1]) << 8);
                out[i] = Pack(Expand(v, s.masks[0]), Expand(v, s.masks[1]), Expand(v, s.masks[2]));
            }
            break;
        case 24:
            for (LONG i = 0; i < n; ++i) {
                const BYTE* q = row + 3 * (x0 + i);
                out[i] = Pack(q[2], q[1], q[0]);
            }
            break;
        case 32:
            if (PlainMasks32(s)) {
                std::memcpy(out, row + 4 * static_cast<int64_t>(x0), static_cast<size_t>(n) * 4);
            } else {
                for (LONG i = 0; i < n; ++i) {
                    DWORD v;
                    std::memcpy(&v, row + 4 * (x0 + i), 4);
                    out[i] = Pack(Expand(v, s.masks[0]), Expand(v, s.masks[1]), Expand(v, s.masks[2]));
                }
            }
            break;
        default:
            std::fill(out, out + n, Px(0));
    }
}

namespace {
// Remembers the last colour looked up, since runs of one colour are the common case.
struct NearestCache {
    const std::vector<RGBQUAD>& pal;
    Px last = 0xFFFFFFFF;
    int idx = 0;
    int operator()(Px p) {
        p &= 0xFFFFFF;
        if (p != last) {
            last = p;
            idx = NearestIndex(pal, p);
        }
        return idx;
    }
};
}  // namespace

void WriteRow(Surface& s, LONG y, LONG x0, LONG n, const Px* in) {
    BYTE* row = s.Row(y);
    switch (s.bitCount) {
        case 1: {
            NearestCache near{s.palette};
            for (LONG i = 0; i < n; ++i) {
                LONG x = x0 + i;
                BYTE bit = static_cast<BYTE>(0x80 >> (x & 7));
                if (near(in[i]) & 1)
                    row[x >> 3] |= bit;
                else
                    row[x >> 3] &= static_cast<BYTE>(~bit);
            }
            break;
        }
        case 4: {
            NearestCache near{s.palette};
            for (LONG i = 0; i < n; ++i) {
                LONG x = x0 + i;
                BYTE v = static_cast<BYTE>(near(in[i]) & 0x0F);
                BYTE& b = row[x >> 1];
                b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | v) : static_cast<BYTE>((b & 0x0F) | (v << 4));
            }
            break;
        }
        case 8: {
            NearestCache near{s.palette};
            for (LONG i = 0; i < n; ++i) row[x0 + i] = static_cast<BYTE>(near(in[i]));
            break;
        }
        case 16:
            for (LONG i = 0; i < n; ++i) {
                DWORD v =
                    Compress(R(in[i]), s.masks[0]) | Compress(G(in[i]), s.masks[1]) | Compress(B(in[i]), s.masks[2]);
                row[2 * (x0 + i)] = static_cast<BYTE>(v);
                row[2 * (x0 + i) + 1] = static_cast<BYTE>(v >> 8);
            }
            break;
        case 24:
            for (LONG i = 0; i < n; ++i) {
                BYTE* q = row + 3 * (x0 + i);
                q[0] = B(in[i]);
                q[1] = G(in[i]);
                q[2] = R(in[i]);
            }
            break;
        case 32:
            if (!PlainMasks32(s)) {
                for (LONG i = 0; i < n; ++i) {
                    DWORD v = Compress(R(in[i]), s.masks[0]) | Compress(G(in[i]), s.masks[1]) |
                              Compress(B(in[i]), s.masks[2]);
                    std::memcpy(row + 4 * (x0 + i), &v, 4);
                }
            } else if (s.clearFourthByte) {
                uint32_t* q = reinterpret_cast<uint32_t*>(row) + x0;
                for (LONG i = 0; i < n; ++i) q[i] = in[i] & 0xFFFFFF;
            } else {
                std::memcpy(row + 4 * static_cast<int64_t>(x0), in, static_cast<size_t>(n) * 4);
            }
            break;
        default:
            break;
    }
}

Px ReadPx(const Surface& s, LONG x, LONG y) {
    Px p;
    ReadRow(s, y, x, 1, &p);
    return p;
}

void WritePx(Surface& s, LONG x, LONG y, Px p) { WriteRow(s, y, x, 1, &p); }

Px Representable(const Surface& s, Px p) {
    p &= 0xFFFFFF;
    if (s.bitCount <= 8) {
        if (s.palette.empty()) return 0;
        return FromQuad(s.palette[NearestIndex(s.palette, p)]);
    }
    if (s.bitCount == 16 || (s.bitCount == 32 && !PlainMasks32(s))) {
        DWORD v = Compress(R(p), s.masks[0]) | Compress(G(p), s.masks[1]) | Compress(B(p), s.masks[2]);
        return Pack(Expand(v, s.masks[0]), Expand(v, s.masks[1]), Expand(v, s.masks[2]));
    }
    return p;
}

bool DibView(const BITMAPINFO* bmi, UINT usage, const void* bits, Surface& out) {
    if (!bits || !DibFormat(bmi, usage, out)) return false;
    out.bits = static_cast<BYTE*>(const_cast<void*>(bits));
    return true;
}

bool DibFormat(const BITMAPINFO* bmi, UINT usage, Surface& out) {
    if (!bmi) return false;
    const BITMAPINFOHEADER& h = bmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN)
        return false;
    const WORD bpp = h.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return false;
    const int64_t height = h.biHeight < 0 ? -int64_t(h.biHeight) : int64_t(h.biHeight);
    const int64_t stride = DibStride(h.biWidth, bpp);
    if (stride * height > INT32_MAX) return false;

    out = Surface{};
    out.width = h.biWidth;
    out.height = static_cast<LONG>(height);
    out.stride = static_cast<LONG>(stride);
    out.bitCount = bpp;
    out.topDown = h.biHeight < 0;
    const BYTE* after = reinterpret_cast<const BYTE*>(bmi) + h.biSize;
    if (bpp <= 8) {
        DWORD n = h.biClrUsed ? std::min<DWORD>(h.biClrUsed, 1u << bpp) : (1u << bpp);
        out.palette.resize(n);
        if (usage == DIB_PAL_COLORS) {
            for (DWORD i = 0; i < n; ++i) {
                WORD idx;
                std::memcpy(&idx, after + 2 * i, 2);
                out.palette[i] = idx < 20 ? kSystemPalette[idx] : RGBQUAD{0, 0, 0, 0};
            }
        } else {
            std::memcpy(out.palette.data(), after, n * sizeof(RGBQUAD));
        }
    } else if (h.biCompression == BI_BITFIELDS) {
        // The masks follow a 40-byte header and sit inside the larger headers at the same offset.
        std::memcpy(out.masks, reinterpret_cast<const BYTE*>(bmi) + sizeof(BITMAPINFOHEADER), sizeof out.masks);
        out.bitfields = true;
    } else if (bpp == 16) {
        out.masks[0] = 0x7C00;
        out.masks[1] = 0x03E0;
        out.masks[2] = 0x001F;
        out.bitfields = true;
    }
    return true;
}

Px ApplyRop2(int rop2, Px pen, Px dst) {
    switch (rop2) {
        case R2_COPYPEN:
            return pen & 0xFFFFFF;
        case R2_NOP:
            return dst;
        case R2_BLACK:
            return 0;
        case R2_WHITE:
            return 0xFFFFFF;
        default:
            break;
    }
    if (rop2 < 1 || rop2 > 16) return pen & 0xFFFFFF;
    // Bit k of (rop2 - 1) gives the result for pen bit (k >> 1) and destination bit (k & 1).
    const unsigned code = static_cast<unsigned>(rop2 - 1);
    Px r = 0;
    for (unsigned k = 0; k < 4; ++k) {
        if (!((code >> k) & 1)) continue;
        r |= ((k & 2) ? pen : ~pen) & ((k & 1) ? dst : ~dst);
    }
    return r & 0xFFFFFF;
}

void FillSpan(Surface& s, LONG y, LONG x0, LONG x1, Px color, int rop2) {
    if (x1 <= x0 || rop2 == R2_NOP) return;
    const LONG n = x1 - x0;
    if (rop2 == R2_COPYPEN || rop2 == R2_BLACK || rop2 == R2_WHITE) {
        Px c = ApplyRop2(rop2, color, 0);
        if (s.bitCount == 32 && PlainMasks32(s)) {
            uint32_t* q = reinterpret_cast<uint32_t*>(s.Row(y)) + x0;
            std::fill(q, q + n, c);
            return;
        }
        std::vector<Px> buf(static_cast<size_t>(n), c);
        WriteRow(s, y, x0, n, buf.data());
        return;
    }
    std::vector<Px> buf(static_cast<size_t>(n));
    ReadRow(s, y, x0, n, buf.data());
    for (Px& p : buf) p = ApplyRop2(rop2, color, p);
    WriteRow(s, y, x0, n, buf.data());
}

}  // namespace tikora::gdi
