#pragma once
// Little-endian byte building for hand-made picture files.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

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

inline std::string SourcePath(const std::string& rel)
{
    return std::string(TIKORA_SOURCE_DIR) + "/" + rel;
}
