#pragma once
// Little-endian byte building for hand-made picture files.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PxFile.h"
#include "PxImage.h"

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

inline void Append(Bytes& b, std::initializer_list<uint8_t> more)
{
    b.insert(b.end(), more);
}

inline void Append(Bytes& b, const Bytes& more)
{
    b.insert(b.end(), more.begin(), more.end());
}

inline bool DecodeBytes(PxImage& img, const Bytes& data, uint32_t format = 0)
{
    PxMemFile f(data.data(), data.size());
    return img.Decode(&f, format);
}

// Colour at (x, y) with y counted from the picture's top, as 0xRRGGBB.
inline uint32_t RgbAt(const PxImage& img, int32_t x, int32_t yTop)
{
    RGBQUAD c = img.GetPixelColor(x, static_cast<int32_t>(img.GetHeight()) - 1 - yTop, false);
    return (static_cast<uint32_t>(c.rgbRed) << 16) | (static_cast<uint32_t>(c.rgbGreen) << 8) | c.rgbBlue;
}

// Compares a decoded picture with rows of 0xRRGGBB colours and, when given, rows of alpha values,
// both listed top row first; an empty alpha table means the picture must have no alpha plane.
using Rows = std::vector<std::vector<uint32_t>>;  // top row first

inline void ExpectPixels(const PxImage& img, const Rows& colours, const Rows& alpha)
{
    ASSERT_EQ(img.GetHeight(), colours.size());
    ASSERT_EQ(img.GetWidth(), colours[0].size());
    for (size_t y = 0; y < colours.size(); y++)
        for (size_t x = 0; x < colours[y].size(); x++)
            EXPECT_EQ(RgbAt(img, static_cast<int32_t>(x), static_cast<int32_t>(y)), colours[y][x]) << x << "," << y;
    ASSERT_EQ(img.AlphaIsValid(), !alpha.empty());
    for (size_t y = 0; y < alpha.size(); y++)
        for (size_t x = 0; x < alpha[y].size(); x++)
            EXPECT_EQ(img.AlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(img.GetHeight() - 1 - y)), alpha[y][x])
                << x << "," << y;
}

inline std::string SourcePath(const std::string& rel)
{
    return std::string(TIKORA_SOURCE_DIR) + "/" + rel;
}
