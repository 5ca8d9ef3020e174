#pragma once
// Picture files made by hand for the decoder tests, one builder per format, and the checks the
// tests share: decoding from bytes, pixels compared top row first, refusals with their texts.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "PxFile.h"
#include "PxImage.h"
#include "PxImageJPG.h"
#include "PxImageJPGStream.h"
#include "SurfaceCanvas.h"
#include "TempDir.h"
#include "WinGdi.h"

using Bytes = std::vector<uint8_t>;
using Rows = std::vector<std::vector<uint32_t>>;  // top row first; colours as 0xRRGGBB
using Palette = std::vector<uint32_t>;            // 0xRRGGBB

inline void Put16(Bytes& b, uint32_t v) { b.insert(b.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v & 0xFFFF), Put16(b, v >> 16); }
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
// A copy with bytes changed at the given offsets; the first n bytes.
inline Bytes Edited(Bytes b, std::initializer_list<std::pair<size_t, uint8_t>> changes) {
    for (auto [at, v] : changes) b[at] = v;
    return b;
}
inline Bytes Head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + std::ptrdiff_t(n)); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) Append(out, p);
    return out;
}
// Little-endian words of 16 or 32 bits.
inline Bytes LeWords(int bits, std::initializer_list<uint32_t> v) {
    Bytes b;
    for (uint32_t x : v) bits == 16 ? Put16(b, x) : Put32(b, x);
    return b;
}
inline Bytes Le16s(std::initializer_list<uint32_t> v) { return LeWords(16, v); }
inline Bytes Le32s(std::initializer_list<uint32_t> v) { return LeWords(32, v); }
// Colours as the files store them: blue, green, red (and a fourth byte), or red, green, blue.
inline Bytes Bgr(uint32_t c) {
    return {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
}
inline Bytes Bgra(uint32_t c, uint8_t a) { return Cat({Bgr(c), {a}}); }
inline Bytes RgbTriples(const Palette& pal) {
    Bytes b;
    for (uint32_t c : pal)
        b.insert(b.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    return b;
}

// Black, red, green, blue; and n colours i * step (24 bits).
const Palette kPal4 = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
inline Palette Ramp(uint32_t n, uint32_t step) {
    Palette p;
    for (uint32_t i = 0; i < n; i++) p.push_back(i * step & 0xFFFFFF);
    return p;
}

inline std::string SourcePath(const std::string& rel) { return std::string(TIKORA_SOURCE_DIR) + "/" + rel; }
inline Bytes ReadFile(const std::string& path) {
    const std::string s = TempDir::Read(path);
    return Bytes(s.begin(), s.end());
}
inline std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The frame to decode is an input of the info block that the library itself never sets.
inline void SetFrame(PxImage& img, int32_t frame) { const_cast<PXIMAGEINFO&>(img.GetInfo()).nFrame = frame; }
inline bool DecodeBytes(PxImage& img, const Bytes& data, uint32_t format = 0) {
    PxMemFile f(data.data(), data.size());
    return img.Decode(&f, format);
}
template <class Decoder>
bool DecodeWith(Decoder& dec, const Bytes& data) {
    PxMemFile f(data.data(), data.size());
    return dec.Decode(&f);
}

inline uint32_t Rgb(RGBQUAD c) { return (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue; }
// Rows counted from the picture's top; the colour at (x, y) so counted.
inline int32_t FromTop(const PxImage& img, int32_t y) { return static_cast<int32_t>(img.GetHeight()) - 1 - y; }
inline uint32_t RgbAt(const PxImage& img, int32_t x, int32_t y) {
    return Rgb(img.GetPixelColor(x, FromTop(img, y), false));
}

// Each channel of 0xRRGGBB within the tolerance.
inline bool NearRgb(uint32_t got, uint32_t want, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF)) > tolerance) return false;
    return true;
}
// Rows of w x h values f(x, y), top row first.
template <class F>
Rows RowsOf(uint32_t w, uint32_t h, F f) {
    Rows rows(h);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) rows[y].push_back(f(x, y));
    return rows;
}

// Compares a picture with rows of colours and, when given, rows of alpha values; an empty alpha
// table means the picture must have no alpha plane.
inline void ExpectPixels(const PxImage& img, const Rows& colours, const Rows& alpha = {}) {
    ASSERT_EQ(img.GetHeight(), colours.size());
    ASSERT_EQ(img.GetWidth(), colours[0].size());
    for (size_t y = 0; y < colours.size(); y++)
        for (size_t x = 0; x < colours[y].size(); x++)
            EXPECT_EQ(RgbAt(img, int32_t(x), int32_t(y)), colours[y][x]) << x << "," << y;
    ASSERT_EQ(img.AlphaIsValid(), !alpha.empty());
    for (size_t y = 0; y < alpha.size(); y++)
        for (size_t x = 0; x < alpha[y].size(); x++)
            EXPECT_EQ(img.AlphaGet(int32_t(x), FromTop(img, int32_t(y))), alpha[y][x]) << x << "," << y;
}

// A stream a decoder must refuse, with the text it must leave (nullptr: any text, "" none).
struct Refusal {
    const char* name;
    Bytes data;
    const char* text;
    int32_t escape = 0;
    int32_t frame = 0;
};
template <class Decoder>
void ExpectRefusals(const std::vector<Refusal>& cases) {
    for (const Refusal& c : cases) {
        Decoder dec;
        dec.SetEscape(c.escape);
        SetFrame(dec, c.frame);
        EXPECT_FALSE(DecodeWith(dec, c.data)) << c.name;
        if (c.text) {
            EXPECT_STREQ(dec.GetLastError(), c.text) << c.name;
        } else {
            EXPECT_STRNE(dec.GetLastError(), "") << c.name;
        }
    }
    Decoder dec;
    EXPECT_FALSE(dec.Decode(nullptr));
}

// Tests that draw or play metafiles leave no GDI object behind.
class GdiTest : public testing::Test {
protected:
    void SetUp() override { live_ = tikora::gdi::LiveObjectCount(); }
    void TearDown() override { EXPECT_EQ(tikora::gdi::LiveObjectCount(), live_) << "leaked GDI objects"; }
    int64_t live_ = 0;
};

// ---- device-independent rows (BMP, ICO) --------------------------------------------------------

// Palette indexes or 0xAARRGGBB colours, top row first, into bottom-up rows padded to 4 bytes.
inline Bytes DibRows(uint32_t bits, uint32_t w, const Rows& rows) {
    Bytes out;
    for (size_t r = rows.size(); r-- > 0;) {
        Bytes row(((bits * w + 31) / 32) * 4, 0);
        for (uint32_t x = 0; x < w; x++) {
            const uint32_t v = rows[r][x];
            if (bits < 8)
                row[x * bits / 8] =
                    static_cast<uint8_t>(row[x * bits / 8] | ((v & ((1u << bits) - 1)) << (8 - bits - x * bits % 8)));
            else
                for (uint32_t k = 0; k < bits / 8; k++) row[x * bits / 8 + k] = static_cast<uint8_t>(v >> (8 * k));
        }
        Append(out, row);
    }
    return out;
}

enum class BmpForm { Core = 12, Info = 40, Os2v2 = 64, V4 = 108, V5 = 124 };
struct BmpShape {
    BmpForm form;
    int32_t width, height;
    uint16_t bits;
    uint32_t compression;
    Palette palette;
    Bytes pixels;  // as stored
    bool fileHeader = true;
    uint32_t clrUsed = 0;
    std::vector<uint32_t> masks = {};  // after the header
    uint32_t sizeImage = 0;
};
inline Bytes MakeBmp(const BmpShape& s) {
    Bytes hdr = Le32s({static_cast<uint32_t>(s.form)});
    if (s.form == BmpForm::Core) {
        Append(hdr, Le16s({static_cast<uint32_t>(s.width), static_cast<uint32_t>(s.height), 1, s.bits}));
    } else {
        Append(hdr, Le32s({static_cast<uint32_t>(s.width), static_cast<uint32_t>(s.height)}));
        Append(hdr, Le16s({1, s.bits}));
        Append(hdr, Le32s({s.compression, s.sizeImage, 2835, 2835, s.clrUsed, 0}));
        hdr.resize(static_cast<size_t>(s.form), 0);
    }
    for (uint32_t m : s.masks) Put32(hdr, m);
    for (uint32_t c : s.palette) Append(hdr, s.form == BmpForm::Core ? Bgr(c) : Bgra(c, 0));
    Bytes out;
    if (s.fileHeader)
        out = Cat({{'B', 'M'},
                   Le32s({static_cast<uint32_t>(14 + hdr.size() + s.pixels.size()), 0,
                          static_cast<uint32_t>(14 + hdr.size())})});
    return Cat({out, hdr, s.pixels});
}

struct IcoImage {
    uint8_t w, h;  // as the directory holds them: 0 stands for 256
    uint16_t bits;
    Palette pal;
    Bytes xorBits;
    Bytes mask;
};
// '1' marks a transparent pixel.
inline Bytes IcoMask(uint32_t w, const std::vector<std::string>& rows) {
    Rows bits;
    for (const std::string& r : rows) {
        bits.emplace_back();
        for (char c : r) bits.back().push_back(c == '1');
    }
    return DibRows(1, w, bits);
}
inline Bytes MakeIco(const std::vector<IcoImage>& images, uint16_t type = 1) {
    Bytes dir = Le16s({0, type, static_cast<uint32_t>(images.size())}), bodies;
    for (const IcoImage& im : images) {
        Bytes body = Le32s({40, im.w, 2u * im.h});
        Append(body, Le16s({1, im.bits}));
        Append(body, Bytes(24, 0));
        // The table always has the full 2, 16 or 256 entries of the depth.
        for (size_t i = 0; im.bits <= 8 && i < (1u << im.bits); i++)
            Append(body, Bgra(i < im.pal.size() ? im.pal[i] : 0, 0));
        Append(body, Cat({im.xorBits, im.mask}));
        Append(dir, {im.w, im.h, static_cast<uint8_t>(im.pal.size()), 0});
        Append(dir, Le16s({1, im.bits}));
        Append(dir, Le32s({static_cast<uint32_t>(body.size()),
                           static_cast<uint32_t>(6 + 16 * images.size() + bodies.size())}));
        Append(bodies, body);
    }
    return Cat({dir, bodies});
}

// ---- TGA and PCX ---------------------------------------------------------------------------------

struct TgaShape {
    uint8_t type;
    uint16_t w, h;
    uint8_t depth, desc;
    Bytes data;
    uint16_t cmapLength = 0;
    uint8_t cmapEntrySize = 0;
    Bytes cmap = {};
    Bytes id = {};
};
inline Bytes MakeTga(const TgaShape& s) {
    Bytes b = {static_cast<uint8_t>(s.id.size()), static_cast<uint8_t>(s.cmapLength ? 1 : 0), s.type};
    Append(b, Le16s({0, s.cmapLength}));
    b.push_back(s.cmapEntrySize);
    Append(b, Le16s({0, 0, s.w, s.h}));
    return Cat({b, {s.depth, s.desc}, s.id, s.cmap, s.data});
}

// Runs of equal bytes become count/value pairs, across row ends as well.
inline Bytes PcxRunLength(const Bytes& raw) {
    Bytes out;
    for (size_t i = 0, n = 1; i < raw.size(); i += n, n = 1) {
        while (i + n < raw.size() && raw[i + n] == raw[i] && n < 63) n++;
        if (n > 1 || raw[i] >= 0xC0) out.push_back(static_cast<uint8_t>(0xC0 | n));
        out.push_back(raw[i]);
    }
    return out;
}
struct PcxShape {
    uint8_t bits;
    int8_t planes;
    uint16_t w, h, bpl;
    Bytes raw;           // decoded plane bytes, row by row
    Palette map16 = {};  // header colour map
    Bytes after = {};    // what follows the image data
    uint16_t dpi = 72;
};
inline Bytes MakePcx(const PcxShape& s, bool encode = true) {
    Bytes b = Cat({{10, 5, 1, s.bits}, Le16s({3, 7, 3u + s.w - 1, 7u + s.h - 1, s.dpi, s.dpi})});
    Palette map = s.map16;
    map.resize(16, 0);
    Append(b, RgbTriples(map));
    Append(b, {0, static_cast<uint8_t>(s.planes)});
    Put16(b, s.bpl);
    b.resize(128, 0);
    return Cat({b, encode ? PcxRunLength(s.raw) : s.raw, s.after});
}
// The 256-colour table behind the image data: entries 0 and 1 given, the others grey.
inline Bytes PcxPalette256(uint32_t first, uint32_t second) {
    Palette p = {first, second};
    for (uint32_t i = 2; i < 256; i++) p.push_back(i * 0x010101);
    return Cat({{12}, RgbTriples(p)});
}

// ---- GIF -------------------------------------------------------------------------------------------

class BitWriter {
public:
    void Put(uint32_t code, int32_t width) {
        for (acc_ |= code << bits_, bits_ += width; bits_ >= 8; acc_ >>= 8, bits_ -= 8)
            out_.push_back(static_cast<uint8_t>(acc_));
    }
    Bytes Finish() { return bits_ > 0 ? Cat({out_, {static_cast<uint8_t>(acc_)}}) : out_; }

private:
    Bytes out_;
    uint32_t acc_ = 0;
    int32_t bits_ = 0;
};
// The minimum code size, then data in sub-blocks of at most 255 bytes, then a zero-length block.
inline Bytes SubBlocks(uint8_t minCodeSize, const Bytes& data) {
    Bytes out{minCodeSize};
    for (size_t i = 0, n; i < data.size(); i += n) {
        n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + std::ptrdiff_t(i), data.begin() + std::ptrdiff_t(i + n));
    }
    out.push_back(0);
    return out;
}
// A real LZW coder (string table, KwKwK codes included); the code width follows the reader's
// table, which lags one code behind the writer's. Some writers leave out the leading clear code.
inline Bytes LzwEncode(const Bytes& px, uint8_t size, bool leadingClear = true) {
    const int32_t clear = 1 << size, end = clear + 1;
    BitWriter w;
    std::map<std::pair<int32_t, int32_t>, int32_t> dict;
    int32_t width = 0, next = 0, slot = 0, top = 0, emitted = 0;
    auto reset = [&] { dict.clear(), width = size + 1, next = slot = end + 1, top = 1 << width, emitted = 0; };
    auto emit = [&](int32_t code) {
        w.Put(static_cast<uint32_t>(code), width);
        if (emitted++ > 0 && (slot < top ? ++slot : slot) >= top && width < 12) top <<= 1, width++;
    };
    reset();
    if (leadingClear) w.Put(static_cast<uint32_t>(clear), width);
    if (!px.empty()) {
        int32_t cur = px[0];
        for (size_t i = 1; i < px.size(); i++) {
            if (auto it = dict.find({cur, px[i]}); it != dict.end()) {
                cur = it->second;
                continue;
            }
            emit(cur);
            if (next < 4000)
                dict[{cur, px[i]}] = next++;
            else
                w.Put(static_cast<uint32_t>(clear), width), reset();
            cur = px[i];
        }
        emit(cur);
    }
    w.Put(static_cast<uint32_t>(end), width);
    return SubBlocks(size, w.Finish());
}
inline uint8_t GifSizeBits(size_t entries) {
    uint8_t n = 0;
    while ((2u << n) < entries) n++;
    return n;
}
inline Bytes GifHeader(uint16_t sw, uint16_t sh, const Palette& global) {
    Bytes b = Cat({{'G', 'I', 'F', '8', '9', 'a'}, Le16s({sw, sh})});
    Append(b, {global.empty() ? uint8_t{0} : static_cast<uint8_t>(0xF0 | GifSizeBits(global.size())), 0, 0});
    return Cat({b, RgbTriples(global)});
}
// A graphic control block: flags (bit 0 transparency, bits 2-4 disposal), delay, transparent index.
inline Bytes Gce(uint8_t flags, uint16_t delay, uint8_t trans) {
    return Cat({{'!', 0xF9, 4, flags}, Le16s({delay}), {trans, 0}});
}
struct GifFrame {
    uint16_t l, t, w, h;
    Bytes px;  // top row first, in display order
    Palette local = {};
    bool interlaced = false;
    bool leadingClear = true;
};
inline Bytes GifImage(const GifFrame& f, uint8_t minCodeSize = 8) {
    Bytes px = f.px;
    if (f.interlaced) {
        px.clear();
        for (int32_t p = 0, starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2}; p < 4; p++)
            for (int32_t y = starts[p]; y < f.h; y += steps[p])
                px.insert(px.end(), f.px.begin() + y * f.w, f.px.begin() + (y + 1) * f.w);
    }
    uint8_t pf =
        static_cast<uint8_t>((f.interlaced ? 0x40 : 0) | (f.local.empty() ? 0 : 0x80 | GifSizeBits(f.local.size())));
    return Cat(
        {{','}, Le16s({f.l, f.t, f.w, f.h}), {pf}, RgbTriples(f.local), LzwEncode(px, minCodeSize, f.leadingClear)});
}
inline Bytes MakeGif(uint16_t sw, uint16_t sh, const Palette& global, std::initializer_list<Bytes> blocks) {
    return Cat({GifHeader(sw, sh, global), Cat(blocks), {';'}});
}

// ---- PNG, written with libpng ---------------------------------------------------------------------

struct PngShape {
    int width, height, depth, colorType;
    bool interlace = false;
    std::vector<png_color> palette = {};
    Bytes trns = {};
    png_uint_32 physPerMetre = 0;
};
inline Bytes WritePng(const PngShape& w, const std::vector<Bytes>& rows) {
    Bytes out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    png_set_write_fn(
        p, &out,
        [](png_structp s, png_bytep d, png_size_t n) {
            static_cast<Bytes*>(png_get_io_ptr(s))->insert(static_cast<Bytes*>(png_get_io_ptr(s))->end(), d, d + n);
        },
        nullptr);
    png_set_IHDR(p, info, png_uint_32(w.width), png_uint_32(w.height), w.depth, w.colorType,
                 w.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!w.palette.empty()) png_set_PLTE(p, info, w.palette.data(), static_cast<int>(w.palette.size()));
    if (!w.trns.empty()) png_set_tRNS(p, info, w.trns.data(), static_cast<int>(w.trns.size()), nullptr);
    if (w.physPerMetre) png_set_pHYs(p, info, w.physPerMetre, w.physPerMetre, PNG_RESOLUTION_METER);
    png_write_info(p, info);
    std::vector<png_bytep> ptrs;
    for (const Bytes& r : rows) ptrs.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(p, ptrs.data());
    png_write_end(p, nullptr);
    png_destroy_write_struct(&p, &info);
    return out;
}

// ---- TIFF, written with libtiff ---------------------------------------------------------------------

// One page as the writer should lay it out; rows are given top-down, Line() bytes each.
struct TiffPage {
    uint32_t w = 4, h = 3;
    uint16_t bps = 8, spp = 1, photometric = PHOTOMETRIC_MINISBLACK, compression = COMPRESSION_NONE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint32_t rowsPerStrip = 0;            // 0: the whole page in one strip
    uint32_t tile = 0;                    // tile width and length; 0: strips
    uint16_t extraSample = 0;             // EXTRASAMPLE_* for a last alpha sample
    std::vector<uint16_t> colormap = {};  // red, green, blue, 2^bps entries each
    float xres = 0;
    uint16_t resUnit = RESUNIT_INCH;
    Bytes rows = {};
    uint32_t Line() const { return (uint32_t{bps} * w * spp + 7) / 8; }
};
inline Bytes MakeTiff(const std::vector<TiffPage>& pages) {
    const TempDir dir;  // the test's own folder: a test that holds one itself writes no TIFF
    const std::string path = dir / "pages.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tif, nullptr);
    if (!tif) return {};
    for (const TiffPage& p : pages) {
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, p.w), TIFFSetField(tif, TIFFTAG_IMAGELENGTH, p.h);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, p.bps), TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, p.spp);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, p.photometric), TIFFSetField(tif, TIFFTAG_COMPRESSION, p.compression);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG),
            TIFFSetField(tif, TIFFTAG_ORIENTATION, p.orientation);
        if (p.extraSample) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &p.extraSample);
        if (const size_t n = p.colormap.size() / 3)
            TIFFSetField(tif, TIFFTAG_COLORMAP, p.colormap.data(), p.colormap.data() + n, p.colormap.data() + 2 * n);
        if (p.xres > 0) {
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, p.xres), TIFFSetField(tif, TIFFTAG_YRESOLUTION, p.xres);
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, p.resUnit);
        }
        const uint32_t line = p.Line(), pixelBytes = uint32_t{p.bps} * p.spp / 8;
        if (p.tile) {
            TIFFSetField(tif, TIFFTAG_TILEWIDTH, p.tile), TIFFSetField(tif, TIFFTAG_TILELENGTH, p.tile);
            for (uint32_t ty = 0; ty < p.h; ty += p.tile)
                for (uint32_t tx = 0; tx < p.w; tx += p.tile) {
                    Bytes buf(static_cast<size_t>(TIFFTileSize(tif)), 0);
                    for (uint32_t y = 0; y < p.tile && ty + y < p.h; y++)
                        for (uint32_t x = 0; x < p.tile && tx + x < p.w; x++)
                            std::memcpy(&buf[(y * p.tile + x) * pixelBytes],
                                        &p.rows[(ty + y) * line + (tx + x) * pixelBytes], pixelBytes);
                    TIFFWriteTile(tif, buf.data(), tx, ty, 0, 0);
                }
        } else {
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, p.rowsPerStrip ? p.rowsPerStrip : p.h);
            for (uint32_t y = 0; y < p.h; y++) TIFFWriteScanline(tif, const_cast<uint8_t*>(&p.rows[y * line]), y, 0);
        }
        TIFFWriteDirectory(tif);
    }
    TIFFClose(tif);
    return ReadFile(path);
}

// ---- Windows and enhanced metafiles ---------------------------------------------------------------

struct WmfRecord {
    uint16_t function;
    std::vector<uint16_t> params;
};
inline uint16_t Lo(uint32_t v) { return static_cast<uint16_t>(v); }
inline uint16_t Hi(uint32_t v) { return static_cast<uint16_t>(v >> 16); }
inline uint16_t W(int32_t v) { return static_cast<uint16_t>(static_cast<int16_t>(v)); }
inline Bytes Placeable(int32_t left, int32_t top, int32_t right, int32_t bottom, uint16_t inch,
                       uint16_t checksumFlip = 0) {
    const uint16_t words[10] = {Lo(0x9AC6CDD7), Hi(0x9AC6CDD7), 0, W(left), W(top), W(right), W(bottom), inch, 0, 0};
    Bytes b;
    uint16_t sum = 0;
    for (uint16_t w : words) Put16(b, w), sum ^= w;
    Put16(b, sum ^ checksumFlip);
    return b;
}
inline Bytes Metafile(const std::vector<WmfRecord>& records, uint16_t objects) {
    Bytes body;
    uint32_t largest = 3;
    for (const WmfRecord& r : records) {
        largest = std::max(largest, 3 + static_cast<uint32_t>(r.params.size()));
        Put32(body, 3 + static_cast<uint32_t>(r.params.size()));
        Put16(body, r.function);
        for (uint16_t p : r.params) Put16(body, p);
    }
    Append(body, {3, 0, 0, 0, 0, 0});  // end of file
    return Cat({Le16s({1, 9, 0x300}), Le32s({9 + static_cast<uint32_t>(body.size() / 2)}), Le16s({objects}),
                Le32s({largest}), Le16s({0}), body});
}
inline Bytes Wmf(int32_t right, int32_t bottom, const std::vector<WmfRecord>& records, uint16_t objects = 4) {
    return Cat({Placeable(0, 0, right, bottom, 96), Metafile(records, objects)});
}
inline WmfRecord WmfBrush(uint32_t colorref) { return {0x02FC, {0, Lo(colorref), Hi(colorref), 0}}; }
inline WmfRecord WmfPen(uint16_t style, int16_t width, uint32_t colorref) {
    return {0x02FA, {style, W(width), 0, Lo(colorref), Hi(colorref)}};
}
inline WmfRecord WmfSelect(uint16_t i) { return {0x012D, {i}}; }
inline WmfRecord WmfRectangle(int32_t l, int32_t t, int32_t r, int32_t b) { return {0x041B, {W(b), W(r), W(t), W(l)}}; }
inline WmfRecord WmfEllipse(int32_t l, int32_t t, int32_t r, int32_t b) { return {0x0418, {W(b), W(r), W(t), W(l)}}; }
// An enhanced metafile of the given bounds around records given as 32-bit words, and an end record.
inline Bytes Emf(int32_t right, int32_t bottom, const Bytes& records, uint32_t count) {
    return Cat({Le32s({1, 108, 0, 0, uint32_t(right), uint32_t(bottom), 0, 0, 0, 0, 0x464D4520, 0x10000,
                       108 + static_cast<uint32_t>(records.size()) + 20, count + 2}),
                Le16s({3, 0}), Le32s({0, 0, 0, 1024, 768, 320, 240, 0, 0, 0, 320000, 240000}), records,
                Le32s({14, 20, 0, 16, 20})});
}

// ---- JPEG, written with libjpeg through the decoder's own stream adapter, and EXIF blocks ------------

// Colours of the four quadrants, top-left, top-right, bottom-left, bottom-right; one, three or
// four samples per pixel as the picture has components.
struct JpegShape {
    uint32_t width = 16, height = 16;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK
    bool progressive = false, jfif = true;
    uint8_t densityUnit = 0;
    uint16_t xDensity = 1, yDensity = 1;
    std::vector<Bytes> app1 = {};  // contents of APP1 sections, written after the JFIF header
    bool noise = false;            // samples from a hash instead of the quadrants: data that does not compress
    std::array<std::array<uint8_t, 4>, 4> quadrants{
        {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}}};
};
inline Bytes MakeJpeg(const JpegShape& s) {
    FILE* fp = std::tmpfile();
    PxIOFile file(fp);
    PxImageJPG::PxFileJpg dest(&file);
    jpeg_compress_struct c{};
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    c.dest = &dest;
    c.image_width = s.width, c.image_height = s.height, c.input_components = s.components;
    c.in_color_space = s.components == 1 ? JCS_GRAYSCALE : s.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    // Full-resolution chroma keeps the quadrant colours exact enough to compare.
    for (int i = 0; i < c.num_components; i++) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (s.progressive) jpeg_simple_progression(&c);
    c.write_JFIF_header = s.jfif ? TRUE : FALSE;
    c.density_unit = s.densityUnit, c.X_density = s.xDensity, c.Y_density = s.yDensity;
    jpeg_start_compress(&c, TRUE);
    for (const Bytes& block : s.app1)
        jpeg_write_marker(&c, JPEG_APP0 + 1, block.data(), static_cast<unsigned int>(block.size()));
    std::vector<uint8_t> row(s.width * static_cast<uint32_t>(s.components));
    for (JSAMPROW r = row.data(); c.next_scanline < s.height; jpeg_write_scanlines(&c, &r, 1))
        for (uint32_t x = 0; x < s.width; x++)
            for (int k = 0, q = (c.next_scanline >= s.height / 2 ? 2 : 0) + (x >= s.width / 2 ? 1 : 0);
                 k < s.components; k++) {
                const uint32_t h = (x * 2654435761u) ^ (c.next_scanline * 40503u) ^ (static_cast<uint32_t>(k) * 977u);
                row[x * s.components + k] = s.noise ? static_cast<uint8_t>(h ^ (h >> 13)) : s.quadrants[q][k];
            }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(static_cast<size_t>(file.Size()));
    file.Seek(0, SEEK_SET);
    out.resize(file.Read(out.data(), 1, out.size()));
    std::fclose(fp);
    return out;
}

// One directory entry: the value's components are given little-endian and turned around for a
// big-endian block component by component.
struct ExifEntry {
    uint16_t tag, format;
    uint32_t count;
    Bytes value;
    int link = -1;  // index of a directory whose offset becomes the value (sub-directory pointers)
};
struct ExifDir {
    std::vector<ExifEntry> entries;
    int next = -1;              // index of the next directory
    int32_t nextOverride = -1;  // a raw next-link value instead
};
inline ExifEntry Short(uint16_t tag, uint16_t v) { return {tag, 3, 1, Le16s({v})}; }
inline ExifEntry Long(uint16_t tag, uint32_t v, uint16_t format = 4) { return {tag, format, 1, Le32s({v})}; }
inline ExifEntry Rational(uint16_t tag, uint32_t num, uint32_t den, uint16_t format = 5) {
    return {tag, format, 1, Le32s({num, den})};
}
inline ExifEntry Text(uint16_t tag, const std::string& text, uint16_t format = 2) {
    return {tag, format, static_cast<uint32_t>(text.size()), Bytes(text.begin(), text.end())};
}
inline ExifEntry SubDir(uint16_t tag, int dir) { return {tag, 4, 1, Le32s({0}), dir}; }
// "Exif", two zero bytes, then the TIFF data: header, directory 0 at offset 8 and the others
// behind it, each followed by its out-of-line values.
inline Bytes MakeExifBlock(const std::vector<ExifDir>& dirs, bool bigEndian, uint16_t magic = 0x2A) {
    static const uint32_t sizes[13] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    auto componentSize = [](uint16_t f) { return f == 5 || f == 10 ? 4u : f < 13 ? sizes[f] : 1u; };
    std::vector<uint32_t> at(dirs.size());
    for (size_t d = 0, pos = 8; d < dirs.size(); d++) {
        at[d] = static_cast<uint32_t>(pos);
        pos += 2 + 12 * dirs[d].entries.size() + 4;
        for (const ExifEntry& e : dirs[d].entries) pos += e.value.size() > 4 ? (e.value.size() + 1) & ~size_t{1} : 0;
    }
    auto put = [&](Bytes& b, uint32_t v, int n) {
        for (int i = 0; i < n; i++) b.push_back(static_cast<uint8_t>(v >> (8 * (bigEndian ? n - 1 - i : i))));
    };
    Bytes tiff(2, bigEndian ? 'M' : 'I');
    put(tiff, magic, 2), put(tiff, 8, 4);
    for (size_t d = 0; d < dirs.size(); d++) {
        const ExifDir& dir = dirs[d];
        const uint32_t data = at[d] + 2 + 12 * static_cast<uint32_t>(dir.entries.size()) + 4;
        Bytes extra;
        put(tiff, static_cast<uint32_t>(dir.entries.size()), 2);
        for (const ExifEntry& e : dir.entries) {
            Bytes v = e.link >= 0 ? Le32s({at[size_t(e.link)]}) : e.value;
            for (size_t i = 0, n = componentSize(e.format); bigEndian && n > 1 && i + n <= v.size(); i += n)
                std::reverse(v.begin() + std::ptrdiff_t(i), v.begin() + std::ptrdiff_t(i + n));
            put(tiff, e.tag, 2), put(tiff, e.format, 2), put(tiff, e.count, 4);
            if (v.size() > 4) {
                put(tiff, data + static_cast<uint32_t>(extra.size()), 4);
                Append(extra, v);
                extra.resize((extra.size() + 1) & ~size_t{1}, 0);
            } else {
                v.resize(4, 0);
                Append(tiff, v);
            }
        }
        put(tiff, dir.nextOverride >= 0 ? uint32_t(dir.nextOverride) : dir.next >= 0 ? at[size_t(dir.next)] : 0, 4);
        Append(tiff, extra);
    }
    return Cat({{'E', 'x', 'i', 'f', 0, 0}, tiff});
}
// A marker segment: FF, the code, the big-endian length and the content.
inline Bytes Segment(uint8_t code, const Bytes& content) {
    const size_t len = content.size() + 2;
    return Cat({{0xFF, code, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)}, content});
}
