#pragma once
// GIF 87a and 89a: one chosen frame of an animation, composed onto the logical screen over the
// frames before it, or, for files of several tiles without a global colour table, every tile
// painted into one 24-bit picture. Failures are a false result only, with no error text.
#include "PxFile.h"
#include "PxImage.h"

class PxImageGIF : public PxImage {
public:
    PxImageGIF();
    bool Decode(PxFile* hFile);

    int32_t GetLoops() const { return m_loops; }
    int32_t GetDisposalMethod() const { return m_dispmeth; }
    const char* GetComment() const { return m_comment; }

private:
    struct rgb_color {
        uint8_t r, g, b;
    };
    // The colour table in use.
    struct struct_TabCol {
        int16_t colres;
        int16_t sogct;
        rgb_color paleta[256];
    };
    struct struct_dscgif {
        uint16_t scrwidth;
        uint16_t scrheight;
        uint8_t pflds;
    };
    struct struct_image {
        uint16_t l, t, w, h;
        uint8_t pf;
    };

    static constexpr int32_t kBufSize = 0x3FFF;
    static constexpr int32_t kMaxCodes = 4096;

    bool ReadExtension(PxFile* fp);
    int32_t CountFrames(PxFile* fp, const struct_TabCol& table, const struct_dscgif& screen);
    // False when the stream ends inside the descriptor.
    bool ReadDescriptor(PxFile* fp, struct_image& image);
    static void ReadColourTable(PxFile* fp, struct_TabCol& table, int32_t entries);
    static uint32_t DepthFor(int32_t entries);
    void DecodeFrameRows(PxFile* fp, const struct_image& image, int32_t& badcode);
    void Reposition(PxFile* fp, int32_t badcode, int32_t posStart);
    int32_t DecodeLzw(PxFile* fp, CImageIterator* iter, int32_t linewidth, int32_t& bad_code_count);
    void ResetLzw(int32_t size);
    int32_t ReadCode(PxFile* fp);
    int32_t ReadByte(PxFile* fp);
    // Fetches the next byte of the current data sub-block, reading a new sub-block when it is used
    // up; negative at the stream's end.
    int32_t NextCodeByte(PxFile* fp);
    int32_t EmitRow(CImageIterator* iter, uint8_t* line, int32_t length, int32_t capacity);
    void MixFrame(const PxImage& frame, const struct_image& image);
    int32_t FindNextDescriptor(PxFile* fp, int32_t position);

    // The graphic control record as the file holds it: flags, delay time (u16), transparent index.
    uint8_t gifgce[4] = {0, 0, 0, 0};
    uint8_t GceFlags() const { return gifgce[0]; }
    uint16_t GceDelay() const { return static_cast<uint16_t>(gifgce[1] | (gifgce[2] << 8)); }
    uint8_t GceTransIndex() const { return gifgce[3]; }

    int32_t interlaced = 0;
    int32_t iypos = 0;
    int32_t istep = 0;
    int32_t iheight = 0;
    int32_t ipass = 0;

    uint8_t buf[kBufSize + 1];
    int32_t ibfmax = 0;
    int32_t ibf = 0;

    int32_t curr_size = 0;
    int32_t clear = 0;
    int32_t ending = 0;
    int32_t newcodes = 0;
    int32_t top_slot = 0;
    int32_t slot = 0;
    int32_t navail_bytes = 0;
    int32_t nbits_left = 0;
    uint8_t b1 = 0;
    uint8_t byte_buff[257];
    uint8_t* pbytes = nullptr;
    uint8_t stack[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint16_t prefix[kMaxCodes];

    char m_comment[256];
    int32_t m_loops = 0;
    int32_t m_dispmeth = 0;
};
