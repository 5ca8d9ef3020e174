#include "PxImageGIF.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "PxLeReader.h"

namespace {

constexpr int32_t kBadCodeSize = -20;
constexpr int32_t kOutOfMemory = -10;

bool FitsScreen(uint32_t left, uint32_t width, uint32_t top, uint32_t height, uint32_t scrw, uint32_t scrh) {
    return left + width <= scrw && top + height <= scrh;
}

}  // namespace

PxImageGIF::PxImageGIF() : PxImage(PXIMAGE_FORMAT_GIF) { m_comment[0] = 0; }

void PxImageGIF::ReadColourTable(PxFile* fp, struct_TabCol& table, int32_t entries) {
    entries = std::clamp(entries, 0, 256);
    // A short table leaves black entries rather than the previous table's.
    uint8_t raw[256 * 3] = {};
    fp->Read(raw, 1, static_cast<size_t>(entries) * 3);
    for (int32_t i = 0; i < entries; i++) {
        table.paleta[i].r = raw[3 * i];
        table.paleta[i].g = raw[3 * i + 1];
        table.paleta[i].b = raw[3 * i + 2];
    }
    table.sogct = static_cast<int16_t>(entries);
}

uint32_t PxImageGIF::DepthFor(int32_t entries) {
    if (entries < 3) return 1;
    if (entries < 17) return 4;
    return 8;
}

bool PxImageGIF::ReadDescriptor(PxFile* fp, struct_image& image) {
    uint8_t raw[9];
    const PxLeReader d = PxLeReader::FromFile(fp, raw, sizeof(raw));
    image.l = d.U16(0);
    image.t = d.U16(2);
    image.w = d.U16(4);
    image.h = d.U16(6);
    image.pf = d.U8(8);
    return !d.Short();
}

bool PxImageGIF::Decode(PxFile* fp) {
    if (!fp) return false;
    uint8_t raw[13];
    const PxLeReader h = PxLeReader::FromFile(fp, raw, sizeof(raw));
    if (!h.Has(0, sizeof(raw)) || std::memcmp(raw, "GIF8", 4) != 0) return false;
    struct_dscgif dscgif{h.U16(6), h.U16(8), h.U8(10)};

    if (info.nEscape == -1) {
        head.biWidth = dscgif.scrwidth;
        head.biHeight = dscgif.scrheight;
        return true;
    }

    struct_TabCol TabCol{};
    TabCol.sogct = static_cast<int16_t>(1 << ((dscgif.pflds & 0x07) + 1));
    TabCol.colres = static_cast<int16_t>(((dscgif.pflds & 0x70) >> 3) + 1);

    // Files of several tiles without a global colour table, whose first tile does not cover the
    // screen, hold true-colour pictures: each tile brings its own 256 colours.
    int32_t bTrueColor = 0;
    if (dscgif.pflds & 0x80)
        ReadColourTable(fp, TabCol, TabCol.sogct);
    else
        bTrueColor++;

    info.nNumFrames = CountFrames(fp, TabCol, dscgif);
    if (info.nFrame < 0 || info.nFrame >= info.nNumFrames) return false;
    if (info.nNumFrames == 1) bTrueColor = 0;

    int32_t first_transparent_index = 0;
    std::unique_ptr<PxImage> imaRGB;
    bool bPreviousWasNull = true;
    int32_t prevdispmeth = 0;
    int32_t iImage = 0;

    for (bool bContinue = true; bContinue;) {
        uint8_t ch;
        if (fp->Read(&ch, 1, 1) != 1) break;
        if (info.nEscape > 0) return false;
        if (!bPreviousWasNull && ch != 0) continue;
        switch (ch) {
            case '!':
                bContinue = ReadExtension(fp);
                break;
            case ',': {
                struct_image image;
                if (!ReadDescriptor(fp, image)) {
                    bContinue = false;
                    break;
                }
                if (!FitsScreen(image.l, image.w, image.t, image.h, dscgif.scrwidth, dscgif.scrheight)) break;
                if (iImage == 0 && image.w != dscgif.scrwidth && image.h != dscgif.scrheight) bTrueColor++;

                // A local table applies to its own image only; the next image is back on the global one.
                struct_TabCol local;
                const struct_TabCol* table = &TabCol;
                if (image.pf & 0x80) {
                    ReadColourTable(fp, local, 1 << ((image.pf & 0x07) + 1));
                    table = &local;
                }
                uint32_t bpp = DepthFor(table->sogct);

                auto backimage = std::make_unique<PxImageGIF>();
                backimage->CopyInfo(*this);
                if (iImage == 0) {
                    backimage->Create(dscgif.scrwidth, dscgif.scrheight, bpp, PXIMAGE_FORMAT_GIF);
                    first_transparent_index = info.nBkgndIndex;
                    backimage->Clear(GceTransIndex());
                } else {
                    backimage->Copy(*this);
                    if (prevdispmeth == 2) backimage->Clear(static_cast<uint8_t>(first_transparent_index));
                }

                Create(image.w, image.h, bpp, PXIMAGE_FORMAT_GIF);

                if ((image.pf & 0x80) || (dscgif.pflds & 0x80)) {
                    uint8_t r[256], g[256], b[256];
                    int32_t i = 0;
                    for (; i < table->sogct; i++) {
                        r[i] = table->paleta[i].r;
                        g[i] = table->paleta[i].g;
                        b[i] = table->paleta[i].b;
                    }
                    // Indexes beyond the table then show white rather than black.
                    if (info.nBkgndIndex >= 0) {
                        for (; i < 256; i++) r[i] = g[i] = b[i] = 255;
                    }
                    SetPalette(info.nBkgndIndex >= 0 ? 256u : static_cast<uint32_t>(table->sogct), r, g, b);
                }

                int32_t badcode = 0;
                int32_t pos_start = fp->Tell();
                DecodeFrameRows(fp, image, badcode);
                if (info.nEscape) return false;

                if (bTrueColor < 2) {
                    backimage->MixFrame(*this, image);
                    backimage->SetTransIndex(first_transparent_index);
                    // Only as many entries as this frame has: a frame of fewer colours than the
                    // canvas must not lend it bytes from beyond its own palette.
                    if (RGBQUAD* pal = GetPalette()) backimage->SetPalette(pal, head.biClrUsed);
                    Transfer(*backimage);
                } else {
                    info.nFrame = info.nNumFrames - 1;
                    if (!imaRGB)
                        imaRGB = std::make_unique<PxImage>(dscgif.scrwidth, dscgif.scrheight, 24, PXIMAGE_FORMAT_GIF);
                    if (IsValid() && imaRGB->IsValid()) {
                        int32_t w = static_cast<int32_t>(GetWidth());
                        int32_t hgt = static_cast<int32_t>(GetHeight());
                        for (int32_t y = 0; y < hgt; y++)
                            for (int32_t x = 0; x < w; x++)
                                imaRGB->SetPixelColor(x + image.l, dscgif.scrheight - 1 - image.t - y,
                                                      GetPixelColor(x, hgt - y - 1, true), false);
                    }
                }

                prevdispmeth = (GceFlags() & 0x1C) >> 2;
                Reposition(fp, badcode, pos_start);
                if (info.nFrame == iImage)
                    bContinue = false;
                else
                    iImage++;
                break;
            }
            case ';':
                bContinue = false;
                break;
            default:
                bPreviousWasNull = (ch == 0);
                break;
        }
    }

    if (bTrueColor >= 2 && imaRGB) {
        if (GceFlags() & 0x01) {
            imaRGB->SetTransColor(GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex)));
            imaRGB->SetTransIndex(0);
        }
        Transfer(*imaRGB);
    }
    return true;
}

void PxImageGIF::DecodeFrameRows(PxFile* fp, const struct_image& image, int32_t& badcode) {
    CImageIterator iter(this);
    iter.ToTopRow();
    badcode = 0;
    ibf = kBufSize + 1;
    interlaced = image.pf & 0x40;
    iheight = image.h;
    istep = 8;
    iypos = 0;
    ipass = 0;
    DecodeLzw(fp, &iter, image.w, badcode);
}

void PxImageGIF::Reposition(PxFile* fp, int32_t badcode, int32_t posStart) {
    if (badcode)
        FindNextDescriptor(fp, posStart);
    else
        fp->Seek(-(ibfmax - ibf - 1), SEEK_CUR);
}

bool PxImageGIF::ReadExtension(PxFile* fp) {
    uint8_t label;
    if (fp->Read(&label, 1, 1) != 1) return false;

    bool bContinue = true;
    uint8_t count = 0;
    switch (label) {
        case 0xF9:
            bContinue = fp->Read(&count, 1, 1) == 1;
            if (bContinue) {
                bContinue = fp->Read(gifgce, 1, sizeof(gifgce)) == count;
                if (GceFlags() & 0x01) info.nBkgndIndex = GceTransIndex();
                info.dwFrameDelay = GceDelay();
                m_dispmeth = (GceFlags() >> 2) & 0x07;
            }
            break;
        case 0xFE:
            bContinue = fp->Read(&count, 1, 1) == 1 && count > 0;
            if (bContinue) {
                size_t got = fp->Read(m_comment, 1, count);
                m_comment[got] = 0;
                bContinue = got == count;
            }
            break;
        case 0xFF: {
            bContinue = fp->Read(&count, 1, 1) == 1 && count == 11;
            uint8_t block[256];
            if (bContinue) bContinue = fp->Read(block, 1, 11) == 11;
            if (bContinue) bContinue = fp->Read(&count, 1, 1) == 1 && count > 0;
            if (bContinue) {
                bContinue = fp->Read(block, 1, count) == count;
                if (bContinue && count > 2) m_loops = block[1] + 256 * block[2];
            }
            break;
        }
        default:
            break;
    }

    while (bContinue) {
        if (fp->Read(&count, 1, 1) != 1 || count == 0) break;
        uint8_t skip[256];
        if (fp->Read(skip, 1, count) != count) break;
    }
    return bContinue;
}

int32_t PxImageGIF::CountFrames(PxFile* fp, const struct_TabCol& table, const struct_dscgif& screen) {
    int32_t pos = fp->Tell();
    int32_t nframes = 0;
    bool bPreviousWasNull = true;

    for (bool bContinue = true; bContinue;) {
        uint8_t ch;
        if (fp->Read(&ch, 1, 1) != 1) break;
        if (!bPreviousWasNull && ch != 0) continue;
        switch (ch) {
            case '!':
                ReadExtension(fp);
                break;
            case ',': {
                struct_image image;
                if (!ReadDescriptor(fp, image)) {
                    bContinue = false;
                    break;
                }
                if (!FitsScreen(image.l, image.w, image.t, image.h, screen.scrwidth, screen.scrheight)) break;
                nframes++;
                int32_t entries = table.sogct;
                if (image.pf & 0x80) {
                    struct_TabCol local;
                    ReadColourTable(fp, local, 1 << ((image.pf & 0x07) + 1));
                    entries = local.sogct;
                }
                Create(image.w, image.h, DepthFor(entries), PXIMAGE_FORMAT_GIF);
                int32_t badcode = 0;
                int32_t pos_start = fp->Tell();
                DecodeFrameRows(fp, image, badcode);
                Reposition(fp, badcode, pos_start);
                break;
            }
            case ';':
                bContinue = false;
                break;
            default:
                bPreviousWasNull = (ch == 0);
                break;
        }
    }

    fp->Seek(pos, SEEK_SET);
    return nframes;
}

int32_t PxImageGIF::ReadByte(PxFile* fp) {
    if (ibf >= kBufSize) {
        ibfmax = static_cast<int32_t>(fp->Read(buf, 1, kBufSize));
        ibf = 0;
    }
    if (ibf >= ibfmax) return -1;
    return buf[ibf++];
}

void PxImageGIF::ResetLzw(int32_t size) {
    curr_size = size + 1;
    top_slot = 1 << curr_size;
    clear = 1 << size;
    ending = clear + 1;
    slot = newcodes = ending + 1;
    navail_bytes = nbits_left = 0;
    std::memset(stack, 0, sizeof(stack));
    std::memset(prefix, 0, sizeof(prefix));
    std::memset(suffix, 0, sizeof(suffix));
}

int32_t PxImageGIF::NextCodeByte(PxFile* fp) {
    if (navail_bytes <= 0) {
        pbytes = byte_buff;
        navail_bytes = ReadByte(fp);
        if (navail_bytes < 0) return navail_bytes;
        for (int32_t i = 0; i < navail_bytes; ++i) {
            int32_t x = ReadByte(fp);
            if (x < 0) return x;
            byte_buff[i] = static_cast<uint8_t>(x);
        }
    }
    b1 = *pbytes++;
    --navail_bytes;
    return b1;
}

int32_t PxImageGIF::ReadCode(PxFile* fp) {
    static constexpr uint32_t code_mask[13] = {0x0000, 0x0001, 0x0003, 0x0007, 0x000F, 0x001F, 0x003F,
                                               0x007F, 0x00FF, 0x01FF, 0x03FF, 0x07FF, 0x0FFF};
    if (nbits_left == 0) {
        // After a zero-length sub-block the image data has ended; what follows it belongs to the
        // next block and must not be taken for codes.
        if (navail_bytes < 0) return ending;
        int32_t x = NextCodeByte(fp);
        if (x < 0) return x;
        nbits_left = 8;
    }
    if (navail_bytes < 0) return ending;

    uint32_t ret = static_cast<uint32_t>(b1) >> (8 - nbits_left);
    while (curr_size > nbits_left) {
        int32_t x = NextCodeByte(fp);
        if (x < 0) return x;
        ret |= static_cast<uint32_t>(b1) << nbits_left;
        nbits_left += 8;
    }
    nbits_left -= curr_size;
    return static_cast<int32_t>(ret & code_mask[curr_size]);
}

int32_t PxImageGIF::DecodeLzw(PxFile* fp, CImageIterator* iter, int32_t linewidth, int32_t& bad_code_count) {
    bad_code_count = 0;
    int32_t size = ReadByte(fp);
    if (size < 0) return size;
    if (size < 2 || 9 < size) return kBadCodeSize;
    ResetLzw(size);
    int32_t oc = 0;
    int32_t fc = 0;

    int32_t capacity = std::max(linewidth, 0) + 1;
    std::unique_ptr<uint8_t[]> line(new (std::nothrow) uint8_t[static_cast<size_t>(capacity)]());
    if (!line) return kOutOfMemory;
    int32_t filled = 0;
    // A frame of width 0 has no pixels to hold; its data is still read to its end, so that the
    // stream is left where the next block starts.
    auto put = [&](uint8_t px) -> int32_t {
        if (linewidth < 1) return 0;
        line[filled++] = px;
        if (filled < linewidth) return 0;
        filled = 0;
        return EmitRow(iter, line.get(), linewidth, capacity);
    };

    uint8_t* sp = stack;
    int32_t c;
    // The first code of the data, like the first after a clear code, is a literal that adds no
    // table entry: the data need not begin with a clear code.
    bool first = true;
    while ((c = ReadCode(fp)) != ending) {
        if (c < 0) return 0;
        if (c == clear) {
            curr_size = size + 1;
            slot = newcodes;
            top_slot = 1 << curr_size;
            first = true;
        } else if (first) {
            first = false;
            if (c >= slot) c = 0;
            oc = fc = c;
            int32_t r = put(static_cast<uint8_t>(c));
            if (r < 0) return r;
        } else {
            int32_t code = c;
            if (code >= slot) {
                if (code > slot) ++bad_code_count;
                code = oc;
                *sp++ = static_cast<uint8_t>(fc);
            }
            while (code >= newcodes) {
                // Only corrupt tables chain further than there are codes; the frame ends there
                // and the reader resynchronises on the next descriptor.
                if (sp >= stack + kMaxCodes - 1) {
                    ++bad_code_count;
                    return 0;
                }
                *sp++ = suffix[code];
                code = prefix[code];
            }
            *sp++ = static_cast<uint8_t>(code);
            if (slot < top_slot) {
                suffix[slot] = static_cast<uint8_t>(fc = code);
                prefix[slot++] = static_cast<uint16_t>(oc);
                oc = c;
            }
            if (slot >= top_slot && curr_size < 12) {
                top_slot <<= 1;
                ++curr_size;
            }
            while (sp > stack) {
                int32_t r = put(*(--sp));
                if (r < 0) return r;
            }
        }
    }

    if (filled > 0) return EmitRow(iter, line.get(), filled, capacity);
    return 0;
}

int32_t PxImageGIF::EmitRow(CImageIterator* iter, uint8_t* line, int32_t length, int32_t capacity) {
    if (!IsValid()) return -1;
    int32_t width = std::min(head.biWidth, capacity);
    if (head.biBitCount == 4) {
        for (int32_t x = 0; x < width; x++) {
            uint8_t v = static_cast<uint8_t>(line[x] & 0x0F);
            if (x & 1)
                line[x >> 1] = static_cast<uint8_t>(line[x >> 1] | v);
            else
                line[x >> 1] = static_cast<uint8_t>(v << 4);
        }
    } else if (head.biBitCount == 1) {
        for (int32_t x = 0; x < width; x++) {
            bool set = (line[x] & 1) != 0;
            if ((x & 7) == 0) line[x >> 3] = 0;
            if (set) line[x >> 3] = static_cast<uint8_t>(line[x >> 3] | (0x80 >> (x & 7)));
        }
    }

    if (!interlaced) {
        if (!iter->RowIsInside()) return -1;
        iter->SetRow(line, length);
        iter->PrevRow();
        return 0;
    }

    // Rows after the fourth pass are surplus data: dropped, not written over decoded rows.
    if (ipass >= 4) return 0;
    if (iter->SetY(iheight - iypos - 1)) iter->SetRow(line, length);
    iypos += istep;
    // A pass that would start at or below the frame's last row has no rows and is skipped
    // (frames of height 2 and 4 have such passes).
    while (iypos >= iheight) {
        if (++ipass >= 4) break;
        if (ipass > 1) istep /= 2;
        iypos = istep / 2;
    }
    return 0;
}

void PxImageGIF::MixFrame(const PxImage& frame, const struct_image& image) {
    if (!IsValid() || !frame.IsValid()) return;
    int32_t fw = static_cast<int32_t>(frame.GetWidth());
    int32_t fh = static_cast<int32_t>(frame.GetHeight());
    int32_t ymin = std::max(0, head.biHeight - image.t - fh);
    int32_t ymax = head.biHeight - image.t;
    int32_t xmin = image.l;
    int32_t xmax = std::min(head.biWidth, image.l + fw);
    int32_t trans = frame.GetTransIndex();
    for (int32_t y = ymin; y < ymax; y++) {
        for (int32_t x = xmin; x < xmax; x++) {
            uint8_t i = frame.GetPixelIndex(x - xmin, y - ymin);
            if (static_cast<int32_t>(i) != trans) SetPixelIndex(x, y, i);
        }
    }
}

int32_t PxImageGIF::FindNextDescriptor(PxFile* fp, int32_t position) {
    if (!fp->Seek(position, SEEK_SET)) return -1;
    bool afterZero = false;
    uint8_t ch;
    while (fp->Read(&ch, 1, 1) == 1) {
        if (ch == ',' && afterZero) {
            fp->Seek(-1, SEEK_CUR);
            return fp->Tell();
        }
        afterZero = ch == 0;
    }
    return -1;
}
