#pragma once
// The marker sections at the head of a JPEG stream, kept in memory, and the camera information
// they carry: the EXIF block of an APP1 section, the comment and the frame header.
#include <cstdint>

#include "PxFile.h"
#include "PxImageJPG.h"

class PxImageJPG::PxExifInfo {
public:
    static constexpr int32_t MAX_SECTIONS = 20;
    // Marker code of the section holding the compressed data after the first scan header; no
    // JPEG marker has it.
    static constexpr int32_t M_IMAGE_DATA = 0x123;
    // ReadSections mode bits.
    static constexpr int32_t READ_EXIF = 1;
    static constexpr int32_t READ_IMAGE = 2;

    explicit PxExifInfo(PXEXIFDATA* info = nullptr);
    ~PxExifInfo();
    PxExifInfo(const PxExifInfo&) = delete;
    PxExifInfo& operator=(const PxExifInfo&) = delete;

    bool ReadSections(PxFile* hFile, int32_t nReadMode);
    // The block is changed in place: trailing blanks of a user comment become zero bytes.
    bool ParseExifBlock(uint8_t* data, int32_t length);
    bool ParseDirectory(uint8_t* DirStart, uint8_t* OffsetBase, uint32_t ExifLength, PXEXIFDATA* pInfo);
    double ValueAsDouble(const uint8_t* ValuePtr, int32_t Format) const;
    void ParseComment(const uint8_t* Data, int32_t length);
    // length: bytes in the section buffer; a header too short to hold its fields is ignored.
    void ParseFrameHeader(const uint8_t* Data, int32_t marker, int32_t length);

    uint16_t Read16(const uint8_t* Short) const;
    int32_t Read32Signed(const uint8_t* Long) const;
    uint32_t Read32(const uint8_t* Long) const;
    static uint16_t Read16BigEndian(const uint8_t* Short);

    const char* GetLastError() const { return m_szLastError; }
    const PXEXIFDATA* GetExifData() const { return m_exifinfo; }
    int32_t GetSectionCount() const { return SectionsRead; }
    int32_t GetSectionType(int32_t n) const { return n >= 0 && n < SectionsRead ? Sections[n].Type : -1; }
    uint32_t GetSectionSize(int32_t n) const { return n >= 0 && n < SectionsRead ? Sections[n].Size : 0; }

protected:
    struct Section_t {
        uint8_t* Data;
        int32_t Type;
        uint32_t Size;
    };

    void SetLastError(const char* text);
    bool ParseDirectoryAt(uint32_t start, int32_t depth, PXEXIFDATA* pInfo);
    void DiscardLastSection();

    PXEXIFDATA* m_exifinfo;
    char m_szLastError[256];
    int32_t ExifImageWidth;
    bool MotorolaOrder;
    Section_t Sections[MAX_SECTIONS];
    int32_t SectionsRead;
    bool freeinfo;

    // The TIFF data of the block being parsed, and the directories entered so far: a link back to
    // one of them, or nesting beyond a few levels, is not followed.
    uint8_t* m_tiffBase = nullptr;
    uint32_t m_tiffLength = 0;
    static constexpr int32_t MAX_DIRECTORIES = 64;
    static constexpr int32_t MAX_DEPTH = 8;
    uint32_t m_visited[MAX_DIRECTORIES] = {};
    int32_t m_visitedCount = 0;
};
