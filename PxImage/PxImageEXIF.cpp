#include "PxImageEXIF.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int32_t M_SOF0 = 0xC0, M_SOF1 = 0xC1, M_SOF2 = 0xC2, M_SOF3 = 0xC3, M_SOF5 = 0xC5, M_SOF6 = 0xC6,
                  M_SOF7 = 0xC7, M_SOF9 = 0xC9, M_SOF10 = 0xCA, M_SOF11 = 0xCB, M_SOF13 = 0xCD, M_SOF14 = 0xCE,
                  M_SOF15 = 0xCF, M_SOI = 0xD8, M_EOI = 0xD9, M_SOS = 0xDA, M_JFIF = 0xE0, M_EXIF = 0xE1, M_COM = 0xFE;

constexpr uint32_t TAG_MAKE = 0x010F, TAG_MODEL = 0x0110, TAG_ORIENTATION = 0x0112, TAG_XRESOLUTION = 0x011A,
                   TAG_YRESOLUTION = 0x011B, TAG_RESOLUTIONUNIT = 0x0128, TAG_THUMBNAIL_OFFSET = 0x0201,
                   TAG_THUMBNAIL_LENGTH = 0x0202, TAG_EXPOSURETIME = 0x829A, TAG_FNUMBER = 0x829D,
                   TAG_EXIF_OFFSET = 0x8769, TAG_EXPOSURE_PROGRAM = 0x8822, TAG_ISO_EQUIVALENT = 0x8827,
                   TAG_EXIF_VERSION = 0x9000, TAG_DATETIME_ORIGINAL = 0x9003, TAG_COMPRESSION_LEVEL = 0x9102,
                   TAG_SHUTTERSPEED = 0x9201, TAG_APERTURE = 0x9202, TAG_BRIGHTNESS = 0x9203,
                   TAG_EXPOSURE_BIAS = 0x9204, TAG_MAXAPERTURE = 0x9205, TAG_SUBJECT_DISTANCE = 0x9206,
                   TAG_METERING_MODE = 0x9207, TAG_LIGHT_SOURCE = 0x9208, TAG_FLASH = 0x9209, TAG_FOCALLENGTH = 0x920A,
                   TAG_USERCOMMENT = 0x9286, TAG_EXIF_IMAGEWIDTH = 0xA002, TAG_EXIF_IMAGELENGTH = 0xA003,
                   TAG_INTEROP_OFFSET = 0xA005, TAG_FOCALPLANEXRES = 0xA20E, TAG_FOCALPLANEYRES = 0xA20F,
                   TAG_FOCALPLANEUNITS = 0xA210;

// Bytes per component of the TIFF field types 0 to 12; 0 is accepted as carrying nothing.
constexpr uint32_t kBytesPerFormat[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// A tag's number lands in an integer or float field whatever the file claims; values that do
// not fit saturate instead of overflowing, and a value that is no number counts as 0.
int32_t ToInt32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    if (v <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    return static_cast<int32_t>(v);
}

uint32_t ToUint32(double v) {
    if (std::isnan(v) || v <= 0) return 0;
    if (v >= static_cast<double>(UINT32_MAX)) return UINT32_MAX;
    return static_cast<uint32_t>(v);
}

float ToFloat(double v) {
    if (v > FLT_MAX) return INFINITY;
    if (v < -FLT_MAX) return -INFINITY;
    return static_cast<float>(v);
}

// Inches per unit of the TIFF resolution-unit codes; other codes leave the field as it was.
void SetInchesPerUnit(float& field, int32_t unit) {
    switch (unit) {
        case 1:
        case 2:
            field = 1.0f;
            break;
        case 3:
            field = 0.3937f;
            break;
        case 4:
            field = 0.03937f;
            break;
        case 5:
            field = 0.00003937f;
            break;
        default:
            break;
    }
}

// Copies at most maxChars characters of a value of count bytes, stopping at a zero byte.
void CopyText(char* dst, const uint8_t* value, uint32_t count, uint32_t maxChars) {
    uint32_t n = 0;
    while (n < maxChars && n < count && value[n] != 0) {
        dst[n] = static_cast<char>(value[n]);
        n++;
    }
    dst[n] = 0;
}

}  // namespace

PxImageJPG::PxExifInfo::PxExifInfo(PXEXIFDATA* info) {
    if (info) {
        m_exifinfo = info;
        freeinfo = false;
    } else {
        m_exifinfo = new PXEXIFDATA;
        std::memset(m_exifinfo, 0, sizeof(PXEXIFDATA));
        freeinfo = true;
    }
    m_szLastError[0] = 0;
    ExifImageWidth = 0;
    MotorolaOrder = false;
    SectionsRead = 0;
    std::memset(Sections, 0, sizeof(Sections));
}

PxImageJPG::PxExifInfo::~PxExifInfo() {
    for (Section_t& s : Sections) delete[] s.Data;
    if (freeinfo) delete m_exifinfo;
}

void PxImageJPG::PxExifInfo::SetLastError(const char* text) {
    std::snprintf(m_szLastError, sizeof(m_szLastError), "%s", text);
}

void PxImageJPG::PxExifInfo::DiscardLastSection() {
    SectionsRead--;
    delete[] Sections[SectionsRead].Data;
    Sections[SectionsRead] = Section_t{nullptr, 0, 0};
}

// ---- byte readers ---------------------------------------------------------------------------

uint16_t PxImageJPG::PxExifInfo::Read16(const uint8_t* Short) const {
    if (MotorolaOrder) return static_cast<uint16_t>((Short[0] << 8) | Short[1]);
    return static_cast<uint16_t>((Short[1] << 8) | Short[0]);
}

uint32_t PxImageJPG::PxExifInfo::Read32(const uint8_t* Long) const {
    if (MotorolaOrder)
        return (uint32_t{Long[0]} << 24) | (uint32_t{Long[1]} << 16) | (uint32_t{Long[2]} << 8) | Long[3];
    return (uint32_t{Long[3]} << 24) | (uint32_t{Long[2]} << 16) | (uint32_t{Long[1]} << 8) | Long[0];
}

int32_t PxImageJPG::PxExifInfo::Read32Signed(const uint8_t* Long) const { return static_cast<int32_t>(Read32(Long)); }

uint16_t PxImageJPG::PxExifInfo::Read16BigEndian(const uint8_t* Short) {
    return static_cast<uint16_t>((Short[0] << 8) | Short[1]);
}

// ---- sections -------------------------------------------------------------------------------

bool PxImageJPG::PxExifInfo::ReadSections(PxFile* hFile, int32_t nReadMode) {
    if (!hFile) return false;
    if (hFile->GetC() != 0xFF || hFile->GetC() != M_SOI) return false;

    bool HaveCom = false;
    for (;;) {
        if (SectionsRead >= MAX_SECTIONS) {
            SetLastError("Too many sections in jpg file");
            return false;
        }

        int32_t marker = hFile->GetC();
        for (int32_t padding = 0; marker == 0xFF;) {
            if (++padding == 7) {
                std::fputs("too many padding bytes\n", stdout);
                return false;
            }
            marker = hFile->GetC();
        }

        // Both bytes are -1 at the end of the stream, which makes the length negative.
        int32_t lh = hFile->GetC();
        int32_t ll = hFile->GetC();
        int32_t itemlen = lh * 256 + ll;
        if (itemlen < 2) {
            SetLastError("invalid marker");
            return false;
        }

        uint8_t* Data = new (std::nothrow) uint8_t[itemlen];
        if (!Data) {
            SetLastError("Could not allocate memory");
            return false;
        }
        Data[0] = static_cast<uint8_t>(lh);
        Data[1] = static_cast<uint8_t>(ll);
        size_t got = itemlen > 2 ? hFile->Read(Data + 2, 1, static_cast<size_t>(itemlen - 2)) : 0;
        if (got != static_cast<size_t>(itemlen - 2)) {
            delete[] Data;
            SetLastError("Premature end of file?");
            return false;
        }
        Sections[SectionsRead] = Section_t{Data, marker, static_cast<uint32_t>(itemlen)};
        SectionsRead++;

        switch (marker) {
            case M_SOS:
                if ((nReadMode & READ_IMAGE) && SectionsRead < MAX_SECTIONS) {
                    int32_t cp = hFile->Tell();
                    hFile->Seek(0, SEEK_END);
                    int32_t ep = hFile->Tell();
                    hFile->Seek(cp, SEEK_SET);
                    int32_t size = ep - cp;
                    uint8_t* rest = (cp < 0 || size < 0) ? nullptr : new (std::nothrow) uint8_t[size > 0 ? size : 1];
                    if (!rest) {
                        SetLastError("could not allocate data for entire image");
                        return false;
                    }
                    Sections[SectionsRead] = Section_t{rest, M_IMAGE_DATA, static_cast<uint32_t>(size)};
                    SectionsRead++;
                    if (size > 0 && hFile->Read(rest, 1, static_cast<size_t>(size)) != static_cast<size_t>(size)) {
                        SetLastError("could not read the rest of the image");
                        return false;
                    }
                }
                return true;

            case M_EOI:
                std::fputs("No image in jpeg!\n", stdout);
                return false;

            case M_COM:
                if ((nReadMode & READ_EXIF) && !HaveCom) {
                    ParseComment(Data, itemlen);
                    HaveCom = true;
                } else {
                    DiscardLastSection();
                }
                break;

            case M_JFIF:
                DiscardLastSection();
                break;

            case M_EXIF:
                if ((nReadMode & READ_EXIF) && itemlen >= 2 + 4 && std::memcmp(Data + 2, "Exif", 4) == 0)
                    m_exifinfo->IsExif = ParseExifBlock(Data + 2, itemlen);
                else
                    DiscardLastSection();
                break;

            case M_SOF0:
            case M_SOF1:
            case M_SOF2:
            case M_SOF3:
            case M_SOF5:
            case M_SOF6:
            case M_SOF7:
            case M_SOF9:
            case M_SOF10:
            case M_SOF11:
            case M_SOF13:
            case M_SOF14:
            case M_SOF15:
                ParseFrameHeader(Data, marker, itemlen);
                break;

            default:
                break;
        }
    }
}

void PxImageJPG::PxExifInfo::ParseComment(const uint8_t* Data, int32_t length) {
    if (!Data) return;
    length = std::min(length, int32_t{1000});
    char* Comment = m_exifinfo->Comment;
    int32_t nch = 0;
    for (int32_t a = 2; a < length; a++) {
        uint8_t ch = Data[a];
        if (ch == '\r' && a + 1 < length && Data[a + 1] == '\n') continue;
        if (std::isprint(ch) || ch == '\n' || ch == '\t')
            Comment[nch++] = static_cast<char>(ch);
        else
            Comment[nch++] = '?';
    }
    Comment[nch] = 0;
}

void PxImageJPG::PxExifInfo::ParseFrameHeader(const uint8_t* Data, int32_t marker, int32_t length) {
    if (!Data || length < 8) return;
    m_exifinfo->Height = Read16BigEndian(Data + 3);
    m_exifinfo->Width = Read16BigEndian(Data + 5);
    m_exifinfo->IsColor = Data[7] == 3 ? 1 : 0;
    m_exifinfo->Process = marker;
}

// ---- EXIF block -----------------------------------------------------------------------------

bool PxImageJPG::PxExifInfo::ParseExifBlock(uint8_t* data, int32_t length) {
    m_exifinfo->FlashUsed = 0;
    m_exifinfo->Comment[0] = 0;
    ExifImageWidth = 0;

    // The block is the section's content, which is two bytes shorter than the section.
    const int32_t content = data ? length - 2 : 0;
    static const uint8_t ExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (content < 6 || std::memcmp(data, ExifHeader, 6) != 0) {
        SetLastError("Incorrect Exif header");
        return false;
    }
    if (content >= 8 && data[6] == 'I' && data[7] == 'I') {
        MotorolaOrder = false;
    } else if (content >= 8 && data[6] == 'M' && data[7] == 'M') {
        MotorolaOrder = true;
    } else {
        SetLastError("Invalid Exif alignment marker.");
        return false;
    }
    if (content < 10 || Read16(data + 8) != 0x2A) {
        SetLastError("Invalid Exif start (1)");
        return false;
    }

    m_tiffBase = data + 6;
    m_tiffLength = static_cast<uint32_t>(length - 8);
    const uint32_t FirstOffset = content >= 14 ? Read32(data + 10) : 0;

    m_visitedCount = 0;
    if (!ParseDirectoryAt(8, 0, m_exifinfo)) return false;
    if (FirstOffset > 8 && static_cast<uint64_t>(FirstOffset) + 2 <= m_tiffLength) {
        m_visitedCount = 0;
        if (!ParseDirectoryAt(FirstOffset, 0, m_exifinfo)) return false;
    }

    if (m_exifinfo->FocalPlaneXResolution != 0) {
        m_exifinfo->CcdWidth = ToFloat(ExifImageWidth * static_cast<double>(m_exifinfo->FocalPlaneUnit) /
                                       m_exifinfo->FocalPlaneXResolution);
    }
    return true;
}

bool PxImageJPG::PxExifInfo::ParseDirectory(uint8_t* DirStart, uint8_t* OffsetBase, uint32_t ExifLength,
                                            PXEXIFDATA* pInfo) {
    if (!DirStart || !OffsetBase || !pInfo || DirStart < OffsetBase ||
        static_cast<uint64_t>(DirStart - OffsetBase) > ExifLength) {
        SetLastError("Illegally sized directory");
        return false;
    }
    m_tiffBase = OffsetBase;
    m_tiffLength = ExifLength;
    m_visitedCount = 0;
    return ParseDirectoryAt(static_cast<uint32_t>(DirStart - OffsetBase), 0, pInfo);
}

bool PxImageJPG::PxExifInfo::ParseDirectoryAt(uint32_t start, int32_t depth, PXEXIFDATA* pInfo) {
    uint8_t* const base = m_tiffBase;
    const uint64_t length = m_tiffLength;

    // Links are data like any other: each directory is entered once per block, and only so deep.
    if (depth > MAX_DEPTH) return false;
    for (int32_t i = 0; i < m_visitedCount; i++) {
        if (m_visited[i] == start) return true;
    }
    if (m_visitedCount >= MAX_DIRECTORIES) return false;
    m_visited[m_visitedCount++] = start;

    if (static_cast<uint64_t>(start) + 2 > length) {
        SetLastError("Illegally sized directory");
        return false;
    }
    const uint8_t* DirStart = base + start;
    const uint32_t NumDirEntries = Read16(DirStart);
    if (static_cast<uint64_t>(start) + 2 + 12 * uint64_t{NumDirEntries} > length) {
        SetLastError("Illegally sized directory");
        return false;
    }

    uint32_t ThumbnailOffset = 0;
    uint32_t ThumbnailSize = 0;

    for (uint32_t de = 0; de < NumDirEntries; de++) {
        uint8_t* DirEntry = base + start + 2 + 12 * de;
        const uint32_t Tag = Read16(DirEntry);
        const uint32_t Format = Read16(DirEntry + 2);
        const uint32_t Components = Read32(DirEntry + 4);

        if (Format - 1 >= 12 && Format != 0) {
            SetLastError("Illegal format code in EXIF dir");
            return false;
        }

        const uint64_t ByteCount = uint64_t{Components} * kBytesPerFormat[Format];
        uint8_t* ValuePtr;
        if (ByteCount > 4) {
            const uint32_t OffsetVal = Read32(DirEntry + 8);
            if (uint64_t{OffsetVal} + ByteCount > length) {
                SetLastError("Illegal pointer offset value in EXIF.");
                return false;
            }
            ValuePtr = base + OffsetVal;
        } else {
            ValuePtr = DirEntry + 8;
        }
        const uint32_t count = static_cast<uint32_t>(ByteCount);

        // An entry without components has no value bytes; reading a full value would run past it.
        const double number =
            ByteCount >= kBytesPerFormat[Format] ? ValueAsDouble(ValuePtr, static_cast<int32_t>(Format)) : 0;

        switch (Tag) {
            case TAG_MAKE:
                CopyText(pInfo->Make, ValuePtr, count, 31);
                break;
            case TAG_MODEL:
                CopyText(pInfo->Model, ValuePtr, count, 39);
                break;
            case TAG_EXIF_VERSION:
                CopyText(pInfo->ExifVersion, ValuePtr, count, 4);
                break;
            case TAG_DATETIME_ORIGINAL:
                CopyText(pInfo->DateTimeOriginal, ValuePtr, count, 19);
                break;

            case TAG_ORIENTATION:
                pInfo->Orientation = ToInt32(number);
                if (pInfo->Orientation < 1 || pInfo->Orientation > 8) {
                    SetLastError("Undefined rotation value");
                    pInfo->Orientation = 0;
                }
                break;

            case TAG_XRESOLUTION:
                pInfo->XResolution = ToFloat(number);
                break;
            case TAG_YRESOLUTION:
                pInfo->YResolution = ToFloat(number);
                break;
            case TAG_RESOLUTIONUNIT:
                SetInchesPerUnit(pInfo->ResolutionUnit, ToInt32(number));
                break;
            case TAG_THUMBNAIL_OFFSET:
                ThumbnailOffset = ToUint32(number);
                break;
            case TAG_THUMBNAIL_LENGTH:
                ThumbnailSize = ToUint32(number);
                break;
            case TAG_EXPOSURETIME:
                pInfo->ExposureTime = ToFloat(number);
                break;
            case TAG_FNUMBER:
                pInfo->FNumber = ToFloat(number);
                break;
            case TAG_EXPOSURE_PROGRAM:
                pInfo->ExposureProgram = ToInt32(number);
                break;

            case TAG_ISO_EQUIVALENT: {
                int64_t iso = ToInt32(number);
                if (iso < 50) iso *= 200;
                pInfo->IsoSpeed = static_cast<int32_t>(std::clamp<int64_t>(iso, INT32_MIN, INT32_MAX));
                break;
            }

            case TAG_COMPRESSION_LEVEL:
                pInfo->CompressedBitsPerPixel = ToInt32(number);
                break;

            case TAG_SHUTTERSPEED:
                if (pInfo->ExposureTime == 0) pInfo->ExposureTime = ToFloat(1.0 / std::exp(number * std::log(2.0)));
                break;

            case TAG_APERTURE:
            case TAG_MAXAPERTURE:
                if (pInfo->FNumber == 0) pInfo->FNumber = ToFloat(std::exp(number * std::log(2.0) * 0.5));
                break;

            case TAG_BRIGHTNESS:
                pInfo->Brightness = ToFloat(number);
                break;
            case TAG_EXPOSURE_BIAS:
                pInfo->ExposureBias = ToFloat(number);
                break;
            case TAG_SUBJECT_DISTANCE:
                pInfo->SubjectDistance = ToFloat(number);
                break;
            case TAG_METERING_MODE:
                pInfo->MeteringMode = ToInt32(number);
                break;
            case TAG_LIGHT_SOURCE:
                pInfo->LightSource = ToInt32(number);
                break;
            case TAG_FLASH:
                pInfo->FlashUsed = (ToInt32(number) & 7) != 0 ? 1 : 0;
                break;
            case TAG_FOCALLENGTH:
                pInfo->FocalLength = ToFloat(number);
                break;

            case TAG_USERCOMMENT: {
                for (uint32_t a = count; a > 0 && ValuePtr[a - 1] == ' '; a--) ValuePtr[a - 1] = 0;
                if (count >= 5 && std::memcmp(ValuePtr, "ASCII", 5) == 0) {
                    for (uint32_t a = 5; a < 10 && a < count; a++) {
                        if (ValuePtr[a] != 0 && ValuePtr[a] != ' ') {
                            CopyText(pInfo->Comment, ValuePtr + a, count - a, 199);
                            break;
                        }
                    }
                } else {
                    CopyText(pInfo->Comment, ValuePtr, count, 199);
                }
                break;
            }

            case TAG_EXIF_IMAGEWIDTH:
            case TAG_EXIF_IMAGELENGTH: {
                int32_t a = ToInt32(number);
                if (ExifImageWidth < a) ExifImageWidth = a;
                break;
            }

            case TAG_FOCALPLANEXRES:
                pInfo->FocalPlaneXResolution = ToFloat(number);
                break;
            case TAG_FOCALPLANEYRES:
                pInfo->FocalPlaneYResolution = ToFloat(number);
                break;
            case TAG_FOCALPLANEUNITS:
                SetInchesPerUnit(pInfo->FocalPlaneUnit, ToInt32(number));
                break;

            case TAG_EXIF_OFFSET:
            case TAG_INTEROP_OFFSET: {
                const uint32_t SubOffset = Read32(ValuePtr);
                if (SubOffset > 8) {
                    if (SubOffset > length) {
                        SetLastError("Illegal subdirectory link");
                        return false;
                    }
                    ParseDirectoryAt(SubOffset, depth + 1, pInfo);
                }
                break;
            }

            default:
                break;
        }
    }

    const uint64_t linkPos = uint64_t{start} + 2 + 12 * uint64_t{NumDirEntries};
    if (linkPos + 4 <= length) {
        const uint32_t Offset = Read32(base + linkPos);
        if (Offset) {
            if (Offset > length) {
                SetLastError("Illegal subdirectory link");
                return false;
            }
            ParseDirectoryAt(Offset, depth + 1, pInfo);
        }
    }

    if (ThumbnailSize && ThumbnailOffset && uint64_t{ThumbnailSize} + ThumbnailOffset <= length) {
        pInfo->ThumbnailPointer = base + ThumbnailOffset;
        pInfo->ThumbnailSize = ThumbnailSize;
    }
    return true;
}

double PxImageJPG::PxExifInfo::ValueAsDouble(const uint8_t* ValuePtr, int32_t Format) const {
    switch (Format) {
        case 1:
            return ValuePtr[0];
        case 6:
            return static_cast<int8_t>(ValuePtr[0]);
        case 3:
            return Read16(ValuePtr);
        case 8:
            return static_cast<int16_t>(Read16(ValuePtr));
        case 4:
            return Read32(ValuePtr);
        case 9:
            return Read32Signed(ValuePtr);
        case 5: {
            // An unsigned rational keeps its full range; read as signed, a large value turns negative.
            const uint32_t Num = Read32(ValuePtr);
            const uint32_t Den = Read32(ValuePtr + 4);
            return Den == 0 ? 0 : static_cast<double>(Num) / Den;
        }
        case 10: {
            const int32_t Num = Read32Signed(ValuePtr);
            const int32_t Den = Read32Signed(ValuePtr + 4);
            return Den == 0 ? 0 : static_cast<double>(Num) / Den;
        }
        case 11: {
            const uint32_t bits = Read32(ValuePtr);
            float f;
            std::memcpy(&f, &bits, sizeof(f));
            return f;
        }
        case 12: {
            const uint64_t hi = Read32(MotorolaOrder ? ValuePtr : ValuePtr + 4);
            const uint64_t lo = Read32(MotorolaOrder ? ValuePtr + 4 : ValuePtr);
            const uint64_t bits = (hi << 32) | lo;
            double d;
            std::memcpy(&d, &bits, sizeof(d));
            return d;
        }
        default:
            return 0;
    }
}
