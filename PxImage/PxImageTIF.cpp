#include "PxImageTIF.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct TifError {
    const char* text;
};

// Scratch buffers larger than this are refused: no sound page needs them, and a few header
// bytes must not be able to ask for gigabytes.
constexpr uint64_t kMaxScratch = 256000000;

void TiffWarningHandler(const char*, const char*, va_list) {}
void TiffErrorHandler(const char*, const char*, va_list) {}

void InstallSilentHandlers() {
    static const bool installed = [] {
        TIFFSetWarningHandler(TiffWarningHandler);
        TIFFSetErrorHandler(TiffErrorHandler);
        return true;
    }();
    (void)installed;
}

PxFile* StreamOf(thandle_t h) { return static_cast<PxFile*>(h); }

tmsize_t TiffStreamRead(thandle_t h, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(StreamOf(h)->Read(buffer, 1, static_cast<size_t>(size)));
}

tmsize_t TiffStreamWrite(thandle_t h, void* buffer, tmsize_t size) {
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(StreamOf(h)->Write(buffer, 1, static_cast<size_t>(size)));
}

toff_t TiffStreamSeek(thandle_t h, toff_t offset, int origin) {
    constexpr toff_t kFail = static_cast<toff_t>(-1);
    if (offset == kFail) return kFail;
    // Relative seeks carry negative distances in the unsigned offset; our streams take 32 bits,
    // and an offset beyond them must fail rather than land somewhere else.
    const int64_t signedOffset = static_cast<int64_t>(offset);
    if (origin == SEEK_SET ? offset > static_cast<toff_t>(INT32_MAX)
                           : (signedOffset < INT32_MIN || signedOffset > INT32_MAX))
        return kFail;
    if (!StreamOf(h)->Seek(static_cast<int32_t>(signedOffset), origin)) return kFail;
    if (origin == SEEK_SET) return offset;
    const int32_t pos = StreamOf(h)->Tell();
    return pos < 0 ? kFail : static_cast<toff_t>(pos);
}

// The stream belongs to whoever opened it.
int TiffStreamClose(thandle_t) { return 0; }

toff_t TiffStreamSize(thandle_t h) {
    const int32_t size = StreamOf(h)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int TiffStreamMap(thandle_t, void**, toff_t*) { return 0; }

void TiffStreamUnmap(thandle_t, void*, toff_t) {}

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
struct TiffFreeDeleter {
    void operator()(void* p) const { _TIFFfree(p); }
};
using Buffer = std::unique_ptr<uint8_t, FreeDeleter>;

Buffer ZeroedBuffer(uint64_t size) {
    if (size == 0 || size > kMaxScratch) return nullptr;
    return Buffer(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(size), 1)));
}

int32_t ToInt(float v) {
    if (std::isnan(v)) return 0;
    return static_cast<int32_t>(std::clamp(v, -2147483520.0f, 2147483520.0f));
}

// One sample of a packed row: samples narrower than a byte are bit fields from the most
// significant bit on; wider ones are reduced to their most significant byte.
class SampleReader {
public:
    SampleReader(const uint8_t* row, uint32_t bits) : row_(row), bits_(bits) {}

    // The value itself, for samples of at most 8 bits (palette indexes, 4-bit grey).
    uint32_t Raw(uint64_t index) const {
        if (bits_ == 8) return row_[index];
        if (bits_ > 8) return Byte(index);
        uint64_t pos = index * bits_;
        uint32_t v = 0;
        for (uint32_t b = 0; b < bits_; b++, pos++) v = (v << 1) | ((row_[pos >> 3] >> (7 - (pos & 7))) & 1u);
        return v;
    }

    // The value on the scale 0 to 255.
    uint8_t Byte(uint64_t index) const {
        if (bits_ < 8) return static_cast<uint8_t>(Raw(index) * 255u / ((1u << bits_) - 1u));
        if (bits_ % 8 == 0) {
            // Whole-byte samples arrive in the machine's (little-endian) order.
            const uint64_t bytes = bits_ / 8;
            return row_[index * bytes + bytes - 1];
        }
        uint64_t pos = index * bits_;
        uint32_t v = 0;
        for (uint32_t b = 0; b < 8; b++, pos++) v = (v << 1) | ((row_[pos >> 3] >> (7 - (pos & 7))) & 1u);
        return static_cast<uint8_t>(v);
    }

private:
    const uint8_t* row_;
    uint32_t bits_;
};

uint8_t LabChannel(double c) {
    c = c > 0.00304 ? 1.055 * std::pow(c, 0.41667) - 0.055 : 12.92 * c;
    const double v = c * 255;
    if (!(v > 0)) return 0;
    return v >= 255 ? 255 : static_cast<uint8_t>(v);
}

RGBQUAD LabToRgb(uint8_t l, int8_t a, int8_t b) {
    const double fy = (l * 100.0 / 255.0 + 16) / 116;
    const double fx = fy + a * 0.002;
    const double fz = fy - b * 0.005;
    const double X = fx * fx * fx * 0.95047;
    const double Y = fy * fy * fy;
    const double Z = fz * fz * fz * 1.0883;
    const double R = 3.240479 * X - 1.53715 * Y - 0.498535 * Z;
    const double G = -0.969256 * X + 1.875992 * Y + 0.041556 * Z;
    const double B = 0.055648 * X - 0.204043 * Y + 1.057311 * Z;
    return RGBQUAD{LabChannel(B), LabChannel(G), LabChannel(R), 0};
}

}  // namespace

tiff* TiffOpenStream(PxFile* stream, const char* name, const char* mode) {
    InstallSilentHandlers();
    if (!stream) return nullptr;
    // libtiff's own allocations get the same ceiling as our scratch buffers.
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (opts) TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(kMaxScratch));
    TIFF* tif =
        TIFFClientOpenExt(name, mode, static_cast<thandle_t>(stream), TiffStreamRead, TiffStreamWrite, TiffStreamSeek,
                          TiffStreamClose, TiffStreamSize, TiffStreamMap, TiffStreamUnmap, opts);
    if (opts) TIFFOpenOptionsFree(opts);
    return tif;
}

tiff* TIFFOpenEx(PxFile* stream, const char* mode) { return TiffOpenStream(stream, "TIFF IMAGE", mode); }

PxImageTIF::~PxImageTIF() {
    if (m_tif) TIFFClose(m_tif);
}

void PxImageTIF::CopyTileRows(uint8_t* dst, const uint8_t* src, uint32_t rows, size_t columns, size_t dstSkew,
                              size_t srcSkew) {
    for (uint32_t r = 0; r < rows; r++) {
        std::memcpy(dst, src, columns);
        dst += dstSkew;
        src += srcSkew;
    }
}

bool PxImageTIF::Decode(PxFile* hFile) {
    TIFF* tif = nullptr;
    bool headerOnly = false;
    try {
        tif = TIFFOpenEx(hFile, "rb");
        if (!tif) throw TifError{"Error encountered while opening TIFF file"};

        info.nNumFrames = static_cast<uint16_t>(TIFFNumberOfDirectories(tif));
        if (!TIFFSetDirectory(tif, static_cast<uint16_t>(info.nFrame)))
            throw TifError{"Error: page not present in TIFF file"};

        uint32_t width = 0, height = 0, rowsperstrip = UINT32_MAX;
        uint16_t bitspersample = 1, samplesperpixel = 1, photometric = 0, compression = 1, orientation = 1;
        uint16_t resUnit = RESUNIT_INCH;
        float resolution = 0, position = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesperpixel);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bitspersample);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsperstrip);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);

        if (info.nEscape == -1) {
            head.biWidth = static_cast<int32_t>(width);
            head.biHeight = static_cast<int32_t>(height);
            headerOnly = true;
            throw TifError{"output dimensions returned"};
        }

        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &resUnit);
        if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution)) {
            if (resUnit == RESUNIT_CENTIMETER) resolution = resolution * 2.54f + 0.5f;
            SetXDPI(ToInt(resolution));
        }
        if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &resolution)) {
            if (resUnit == RESUNIT_CENTIMETER) resolution = resolution * 2.54f + 0.5f;
            SetYDPI(ToInt(resolution));
        }
        if (TIFFGetField(tif, TIFFTAG_XPOSITION, &position)) info.xOffset = ToInt(position);
        if (TIFFGetField(tif, TIFFTAG_YPOSITION, &position)) info.yOffset = ToInt(position);

        info.nBkgndIndex = -1;
        // Zero rows per strip would make the band loop below stand still.
        if (rowsperstrip > height || rowsperstrip == 0) {
            rowsperstrip = height;
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsperstrip);
        }

        const bool isRGBA = (bitspersample >= 8 && photometric == PHOTOMETRIC_RGB) ||
                            photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_SEPARATED ||
                            photometric == PHOTOMETRIC_LOGL || photometric == PHOTOMETRIC_LOGLUV;
        uint32_t bitcount;
        if (isRGBA)
            bitcount = 24;
        else if (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK)
            bitcount = bitspersample == 1 ? 1 : bitspersample == 4 ? 4 : 8;
        else
            bitcount = bitspersample == 4 ? 4 : 8;

        if (info.nEscape) throw TifError{"Cancelled"};
        Create(width, height, bitcount, PXIMAGE_FORMAT_TIF);
        if (!pDib) throw TifError{"PxImageTIF can't create image"};
        if (samplesperpixel == 4 || (samplesperpixel == 2 && bitspersample == 8)) AlphaCreate();
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        SetCodecOption(compression, PXIMAGE_FORMAT_TIF);

        if (isRGBA) {
            const uint64_t pixels = static_cast<uint64_t>(width) * height;
            std::unique_ptr<uint32_t, TiffFreeDeleter> raster(
                static_cast<uint32_t*>(_TIFFmalloc(static_cast<tmsize_t>(pixels * sizeof(uint32_t)))));
            if (!raster) throw TifError{"No space for raster buffer"};
            if (!TIFFReadRGBAImage(tif, width, height, raster.get(), 1)) throw TifError{"Corrupted TIFF file!"};
            for (uint32_t y = 0; y < height; y++) {
                if (info.nEscape) throw TifError{"Cancelled"};
                const uint32_t* src = raster.get() + static_cast<uint64_t>(y) * width;
                uint8_t* dst = GetBits(y);
                for (uint32_t x = 0; x < width; x++, dst += 3) {
                    const uint32_t v = src[x];
                    dst[0] = static_cast<uint8_t>(v >> 16);
                    dst[1] = static_cast<uint8_t>(v >> 8);
                    dst[2] = static_cast<uint8_t>(v);
                    if (samplesperpixel == 4)
                        AlphaSet(static_cast<int32_t>(x), static_cast<int32_t>(y), static_cast<uint8_t>(v >> 24));
                }
            }
        } else {
            RGBQUAD palette[256] = {};
            const uint32_t paletteSize = head.biClrUsed;
            if ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) &&
                bitspersample == 1) {
                palette[photometric == PHOTOMETRIC_MINISBLACK ? 1 : 0] = RGBQUAD{255, 255, 255, 0};
            } else if (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) {
                const uint32_t step = 255 / (paletteSize - 1);
                for (uint32_t i = 0; i < paletteSize; i++) {
                    uint8_t v = static_cast<uint8_t>(i * step);
                    if (photometric == PHOTOMETRIC_MINISWHITE) v = static_cast<uint8_t>(255 - v);
                    palette[i] = RGBQUAD{v, v, v, 0};
                }
            } else if (photometric == PHOTOMETRIC_PALETTE) {
                uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
                if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
                    // libtiff holds 2^bits entries; past 16 bits only the first ones can matter.
                    const uint32_t entries = 1u << std::min<uint32_t>(bitspersample, 16);
                    bool eightBit = true;
                    for (uint32_t i = 0; i < entries && eightBit; i++)
                        eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
                    auto scale = [eightBit](uint16_t v) {
                        return static_cast<uint8_t>(eightBit ? v : static_cast<uint32_t>(v) * 255u / 65535u);
                    };
                    for (uint32_t i = 0; i < std::min<uint32_t>(entries, 256); i++)
                        palette[i] = RGBQUAD{scale(blue[i]), scale(green[i]), scale(red[i]), 0};
                }
            }
            SetPalette(palette, paletteSize);

            if (bitspersample == 0 || samplesperpixel == 0) throw TifError{"Corrupted TIFF file!"};
            const uint64_t line = (static_cast<uint64_t>(bitspersample) * width * samplesperpixel + 7) / 8;
            const bool tiled = TIFFIsTiled(tif) != 0;
            uint32_t tileWidth = 0, tileLength = 0;
            tmsize_t tileSize = 0;
            uint64_t scanline = line;
            if (tiled) {
                TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
                TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
                tileSize = TIFFTileSize(tif);
                const tmsize_t scan = TIFFScanlineSize(tif);
                if (tileWidth == 0 || tileLength == 0 || tileSize <= 0 || scan <= 0)
                    throw TifError{"Corrupted tiled TIFF file!"};
                rowsperstrip = tileLength;
                scanline = static_cast<uint64_t>(scan);
            }
            // Every band row is read `line` bytes apart, tiles are placed `scanline` bytes apart,
            // and a one-sample row copy takes a whole stride from the last band row: the buffer
            // has room for all three, whatever the page's strip size says.
            const uint64_t bandRows = std::min<uint64_t>(rowsperstrip, height);
            const uint64_t bufferSize = bandRows * std::max(line, scanline) + info.dwEffWidth + 8;
            Buffer buffer = ZeroedBuffer(bufferSize);
            if (!buffer) throw TifError{"PxImageTIF can't allocate memory"};
            Buffer tileBuffer;
            if (tiled) {
                tileBuffer = ZeroedBuffer(static_cast<uint64_t>(tileSize));
                if (!tileBuffer) throw TifError{"PxImageTIF can't allocate memory"};
            }

            for (uint64_t ys = 0; ys < height; ys += rowsperstrip) {
                if (info.nEscape) throw TifError{"Cancelled"};
                const uint32_t nrow = static_cast<uint32_t>(std::min<uint64_t>(rowsperstrip, height - ys));
                if (!tiled) {
                    const tmsize_t got = TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, static_cast<uint32_t>(ys), 0),
                                                              buffer.get(), static_cast<tmsize_t>(nrow * line));
                    if (got == -1) throw TifError{"Corrupted TIFF file!"};
                } else {
                    const uint64_t tileRow = static_cast<uint64_t>(TIFFTileRowSize(tif));
                    if (tileRow == 0 || static_cast<uint64_t>(nrow) * tileRow > static_cast<uint64_t>(tileSize))
                        throw TifError{"Corrupted tiled TIFF file!"};
                    uint64_t byteColumn = 0;
                    for (uint64_t col = 0; col < width && byteColumn < scanline; col += tileWidth) {
                        if (TIFFReadTile(tif, tileBuffer.get(), static_cast<uint32_t>(col), static_cast<uint32_t>(ys),
                                         0, 0) < 0)
                            throw TifError{"Corrupted tiled TIFF file!"};
                        const uint64_t columns = std::min(tileRow, scanline - byteColumn);
                        CopyTileRows(buffer.get() + byteColumn, tileBuffer.get(), nrow, static_cast<size_t>(columns),
                                     static_cast<size_t>(scanline), static_cast<size_t>(tileRow));
                        byteColumn += tileRow;
                    }
                }

                for (uint32_t k = 0; k < nrow; k++) {
                    uint8_t* src = buffer.get() + static_cast<uint64_t>(nrow - 1 - k) * line;
                    const int32_t yrow = static_cast<int32_t>(height - ys - nrow + k);
                    const uint64_t samples = static_cast<uint64_t>(width) * samplesperpixel;
                    uint32_t bits = bitspersample;
                    if (bits == 16) {
                        // Every sample of the row is narrowed, not just the first `width`.
                        for (uint64_t i = 0; i < samples; i++) src[i] = src[2 * i + 1];
                        bits = 8;
                    }
                    const SampleReader reader(src, bits);
                    // Samples that are not already pixel values of the image's depth: palette
                    // pages keep their index, grey pages are brought onto the grey palette.
                    auto indexOf = [&](uint64_t i) -> uint8_t {
                        if (bits == head.biBitCount || photometric == PHOTOMETRIC_PALETTE)
                            return static_cast<uint8_t>(reader.Raw(i));
                        return reader.Byte(i);
                    };
                    if (samplesperpixel == 1) {
                        if (bits == head.biBitCount) {
                            std::memcpy(GetBits(static_cast<uint32_t>(yrow)), src, info.dwEffWidth);
                        } else {
                            for (uint32_t x = 0; x < width; x++)
                                SetPixelIndex(static_cast<int32_t>(x), yrow, indexOf(x));
                        }
                    } else if (samplesperpixel == 2) {
                        for (uint32_t x = 0; x < width; x++) {
                            SetPixelIndex(static_cast<int32_t>(x), yrow, indexOf(2ull * x));
                            AlphaSet(static_cast<int32_t>(x), yrow, reader.Byte(2ull * x + 1));
                        }
                    } else {
                        if (head.biBitCount != 24) {
                            Create(width, height, 24, PXIMAGE_FORMAT_TIF);
                            if (!pDib) throw TifError{"PxImageTIF can't create image"};
                            if (samplesperpixel == 4) AlphaCreate();
                        }
                        for (uint32_t x = 0; x < width; x++) {
                            const uint64_t i = static_cast<uint64_t>(x) * samplesperpixel;
                            RGBQUAD c;
                            if (photometric == PHOTOMETRIC_RGB) {
                                // Narrow RGB samples are colours, not L*a*b* bytes.
                                c = RGBQUAD{reader.Byte(i + 2), reader.Byte(i + 1), reader.Byte(i), 0};
                            } else {
                                c = LabToRgb(reader.Byte(i), static_cast<int8_t>(reader.Byte(i + 1)),
                                             static_cast<int8_t>(reader.Byte(i + 2)));
                            }
                            SetPixelColor(static_cast<int32_t>(x), yrow, c, false);
                            if (samplesperpixel == 4) AlphaSet(static_cast<int32_t>(x), yrow, reader.Byte(i + 3));
                        }
                    }
                }
            }
            buffer.reset();
            tileBuffer.reset();

            // The stored first row is the visual right side for RIGHTTOP (a quarter turn
            // clockwise shows it) and the visual left side for LEFTBOT.
            switch (orientation) {
                case ORIENTATION_TOPRIGHT:
                    Mirror();
                    break;
                case ORIENTATION_BOTRIGHT:
                    Flip();
                    Mirror();
                    break;
                case ORIENTATION_BOTLEFT:
                    Flip();
                    break;
                case ORIENTATION_LEFTTOP:
                    RotateRight();
                    Mirror();
                    break;
                case ORIENTATION_RIGHTTOP:
                    RotateRight();
                    break;
                case ORIENTATION_RIGHTBOT:
                    RotateLeft();
                    Mirror();
                    break;
                case ORIENTATION_LEFTBOT:
                    RotateLeft();
                    break;
                default:
                    break;
            }
        }
        TIFFClose(tif);
        return true;
    } catch (const TifError& e) {
        SetLastError(e.text);
        if (tif) TIFFClose(tif);
        // Only a page whose size was read answers a header-only request; a stream that is no
        // TIFF at all must not pass as one.
        return headerOnly;
    }
}
