#pragma once
// JPEG pictures made with libjpeg's compressor (written through the decoder's own stream adapter)
// and EXIF blocks assembled by hand in either byte order.
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "PxImageJPGStream.h"
#include "TestBytes.h"

// Colours of the four quadrants, top-left, top-right, bottom-left, bottom-right; one, three or
// four samples per pixel as the picture has components.
struct JpegShape {
    uint32_t width = 16;
    uint32_t height = 16;
    int components = 3;  // 1 grey, 3 RGB, 4 CMYK
    bool progressive = false;
    bool jfif = true;
    uint8_t densityUnit = 0;
    uint16_t xDensity = 1;
    uint16_t yDensity = 1;
    std::vector<Bytes> app1;  // contents of APP1 sections, written after the JFIF header
    bool noise = false;       // samples from a hash instead of the quadrants: data that does not compress
    std::array<std::array<uint8_t, 4>, 4> quadrants{{{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}}};
};

inline Bytes MakeJpeg(const JpegShape& s)
{
    FILE* fp = std::tmpfile();
    PxIOFile file(fp);
    PxImageJPG::PxFileJpg dest(&file);

    jpeg_compress_struct c{};
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    c.dest = &dest;
    c.image_width = s.width;
    c.image_height = s.height;
    c.input_components = s.components;
    c.in_color_space = s.components == 1 ? JCS_GRAYSCALE : s.components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 100, TRUE);
    // Full-resolution chroma keeps the quadrant colours exact enough to compare.
    for (int i = 0; i < c.num_components; i++)
        c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (s.progressive)
        jpeg_simple_progression(&c);
    c.write_JFIF_header = s.jfif ? TRUE : FALSE;
    c.density_unit = s.densityUnit;
    c.X_density = s.xDensity;
    c.Y_density = s.yDensity;
    jpeg_start_compress(&c, TRUE);
    for (const Bytes& block : s.app1)
        jpeg_write_marker(&c, JPEG_APP0 + 1, block.data(), static_cast<unsigned int>(block.size()));

    std::vector<uint8_t> row(s.width * static_cast<uint32_t>(s.components));
    while (c.next_scanline < s.height) {
        for (uint32_t x = 0; x < s.width; x++) {
            int q = (c.next_scanline >= s.height / 2 ? 2 : 0) + (x >= s.width / 2 ? 1 : 0);
            for (int k = 0; k < s.components; k++) {
                uint32_t h = (x * 2654435761u) ^ (c.next_scanline * 40503u) ^ (static_cast<uint32_t>(k) * 977u);
                row[x * s.components + k] = s.noise ? static_cast<uint8_t>(h ^ (h >> 13)) : s.quadrants[q][k];
            }
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);

    Bytes out(static_cast<size_t>(file.Size()));
    file.Seek(0, SEEK_SET);
    size_t got = file.Read(out.data(), 1, out.size());
    out.resize(got);
    std::fclose(fp);
    return out;
}

// One directory entry: the value's components are given little-endian and turned around for a
// big-endian block component by component.
struct ExifEntry {
    uint16_t tag;
    uint16_t format;
    uint32_t count;
    Bytes value;
    int link = -1;  // index of a directory whose offset becomes the value (sub-directory pointers)
};

struct ExifDir {
    std::vector<ExifEntry> entries;
    int next = -1;             // index of the next directory
    int32_t nextOverride = -1; // a raw next-link value instead
};

inline ExifEntry Short(uint16_t tag, uint16_t v)
{
    Bytes b;
    Put16(b, v);
    return {tag, 3, 1, b};
}

inline ExifEntry Long(uint16_t tag, uint32_t v, uint16_t format = 4)
{
    Bytes b;
    Put32(b, v);
    return {tag, format, 1, b};
}

inline ExifEntry Rational(uint16_t tag, uint32_t num, uint32_t den, uint16_t format = 5)
{
    Bytes b;
    Put32(b, num);
    Put32(b, den);
    return {tag, format, 1, b};
}

inline ExifEntry Text(uint16_t tag, const std::string& text, uint16_t format = 2)
{
    Bytes b(text.begin(), text.end());
    return {tag, format, static_cast<uint32_t>(b.size()), b};
}

inline ExifEntry SubDir(uint16_t tag, int dir)
{
    ExifEntry e = Long(tag, 0);
    e.link = dir;
    return e;
}

// "Exif", two zero bytes, then the TIFF data: header, directory 0 at offset 8 and the others
// behind it, each followed by its out-of-line values.
inline Bytes MakeExifBlock(const std::vector<ExifDir>& dirs, bool bigEndian, uint16_t magic = 0x2A)
{
    static const uint32_t sizes[13] = {1, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
    auto componentSize = [](uint16_t f) { return f == 5 || f == 10 ? 4u : f < 13 ? sizes[f] : 1u; };
    std::vector<uint32_t> at(dirs.size());
    uint32_t pos = 8;
    for (size_t d = 0; d < dirs.size(); d++) {
        at[d] = pos;
        pos += 2 + 12 * static_cast<uint32_t>(dirs[d].entries.size()) + 4;
        for (const ExifEntry& e : dirs[d].entries)
            if (e.value.size() > 4)
                pos += static_cast<uint32_t>((e.value.size() + 1) & ~size_t{1});
    }

    Bytes tiff;
    auto put16 = [&](Bytes& b, uint32_t v) {
        if (bigEndian) {
            b.push_back(static_cast<uint8_t>(v >> 8));
            b.push_back(static_cast<uint8_t>(v));
        } else {
            Put16(b, v);
        }
    };
    auto put32 = [&](Bytes& b, uint32_t v) {
        if (bigEndian) {
            put16(b, v >> 16);
            put16(b, v & 0xFFFF);
        } else {
            Put32(b, v);
        }
    };
    auto ordered = [&](const ExifEntry& e) {
        Bytes v = e.value;
        if (e.link >= 0) {
            v.clear();
            Put32(v, at[static_cast<size_t>(e.link)]);
        }
        uint32_t n = componentSize(e.format);
        if (bigEndian && n > 1)
            for (size_t i = 0; i + n <= v.size(); i += n)
                std::reverse(v.begin() + static_cast<std::ptrdiff_t>(i), v.begin() + static_cast<std::ptrdiff_t>(i + n));
        return v;
    };

    tiff.push_back(bigEndian ? 'M' : 'I');
    tiff.push_back(bigEndian ? 'M' : 'I');
    put16(tiff, magic);
    put32(tiff, 8);
    for (size_t d = 0; d < dirs.size(); d++) {
        const ExifDir& dir = dirs[d];
        uint32_t data = at[d] + 2 + 12 * static_cast<uint32_t>(dir.entries.size()) + 4;
        Bytes extra;
        put16(tiff, static_cast<uint32_t>(dir.entries.size()));
        for (const ExifEntry& e : dir.entries) {
            Bytes v = ordered(e);
            put16(tiff, e.tag);
            put16(tiff, e.format);
            put32(tiff, e.count);
            if (v.size() > 4) {
                put32(tiff, data + static_cast<uint32_t>(extra.size()));
                Append(extra, v);
                if (v.size() % 2)
                    extra.push_back(0);
            } else {
                v.resize(4, 0);
                Append(tiff, v);
            }
        }
        put32(tiff, dir.nextOverride >= 0 ? static_cast<uint32_t>(dir.nextOverride)
                    : dir.next >= 0       ? at[static_cast<size_t>(dir.next)]
                                          : 0);
        Append(tiff, extra);
    }
    Bytes block = {'E', 'x', 'i', 'f', 0, 0};
    Append(block, tiff);
    return block;
}

// A marker segment: FF, the code, the big-endian length and the content.
inline Bytes Segment(uint8_t code, const Bytes& content)
{
    uint32_t len = static_cast<uint32_t>(content.size()) + 2;
    Bytes b = {0xFF, code, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
    Append(b, content);
    return b;
}
