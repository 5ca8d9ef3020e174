#include "PxImageJPG.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

#include "PxImageEXIF.h"
#include "PxImageJPGStream.h"

#include <jerror.h>

namespace {

// libjpeg's error_exit may not return: it jumps back into PxImageJPG::Decode, which therefore
// holds nothing with a destructor between its setjmp and the library calls.
struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf setjmp_buffer;
    char* buffer;  // the image's last-error text; libjpeg's messages are shorter than it
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    (*err->pub.format_message)(cinfo, err->buffer);
    longjmp(err->setjmp_buffer, 1);
}

template <class Info>
[[noreturn]] void RaiseError(Info cinfo, int32_t code) {
    cinfo->err->msg_code = code;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    // error_exit is not declared noreturn by libjpeg; ours never comes back.
    std::abort();
}

// A camera may write any resolution, but the header holds it as 32-bit pixels per metre: larger
// values are capped, and what is no positive number falls back to the default through SetXDPI.
constexpr double kMaxDpi = 50000000.0;

int32_t ExifDpi(float resolution, float unit) {
    double dpi = static_cast<double>(resolution) / static_cast<double>(unit);
    if (std::isnan(dpi) || dpi <= 0) return 0;
    return static_cast<int32_t>(std::min(dpi, kMaxDpi));
}

// libjpeg's progressive and multi-scan decoding holds the whole coefficient image in memory; a
// header of a few bytes can ask for gigabytes of it. Beyond this libjpeg reports an error.
constexpr int64_t kMaxJpegWorkingMemory = int64_t{1} << 30;

}  // namespace

// ---- stream adapter -------------------------------------------------------------------------

PxImageJPG::PxFileJpg::PxFileJpg(PxFile* pFile)
    : jpeg_destination_mgr(), jpeg_source_mgr(), m_pFile(pFile), m_bStartOfFile(true) {
    next_input_byte = nullptr;
    bytes_in_buffer = 0;
    m_pBuffer = new (std::nothrow) uint8_t[eBufSize];

    init_source = InitSource;
    fill_input_buffer = FillInputBuffer;
    skip_input_data = SkipInputData;
    resync_to_restart = jpeg_resync_to_restart;
    term_source = TermSource;
    init_destination = InitDestination;
    empty_output_buffer = EmptyOutputBuffer;
    term_destination = TermDestination;
}

PxImageJPG::PxFileJpg::~PxFileJpg() { delete[] m_pBuffer; }

void PxImageJPG::PxFileJpg::InitSource(j_decompress_ptr cinfo) {
    static_cast<PxFileJpg*>(cinfo->src)->m_bStartOfFile = true;
}

boolean PxImageJPG::PxFileJpg::FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = static_cast<PxFileJpg*>(cinfo->src);
    size_t nbytes = std::min(src->m_pFile->Read(src->m_pBuffer, 1, eBufSize), eBufSize);
    if (nbytes == 0) {
        if (src->m_bStartOfFile) RaiseError(cinfo, JERR_INPUT_EMPTY);
        // A stream cut short still shows what arrived: libjpeg warns and finishes at this
        // end-of-image marker.
        cinfo->err->msg_code = JWRN_JPEG_EOF;
        (*cinfo->err->emit_message)(reinterpret_cast<j_common_ptr>(cinfo), -1);
        src->m_pBuffer[0] = 0xFF;
        src->m_pBuffer[1] = JPEG_EOI;
        nbytes = 2;
    }
    src->next_input_byte = src->m_pBuffer;
    src->bytes_in_buffer = nbytes;
    src->m_bStartOfFile = false;
    return TRUE;
}

void PxImageJPG::PxFileJpg::SkipInputData(j_decompress_ptr cinfo, pximage_jpeg::SkipCount count) {
    auto* src = static_cast<PxFileJpg*>(cinfo->src);
    if (count <= 0) return;
    while (count > static_cast<pximage_jpeg::SkipCount>(src->bytes_in_buffer)) {
        count -= static_cast<pximage_jpeg::SkipCount>(src->bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void PxImageJPG::PxFileJpg::TermSource(j_decompress_ptr) {}

void PxImageJPG::PxFileJpg::InitDestination(j_compress_ptr cinfo) {
    auto* dest = static_cast<PxFileJpg*>(cinfo->dest);
    dest->next_output_byte = dest->m_pBuffer;
    dest->free_in_buffer = eBufSize;
}

boolean PxImageJPG::PxFileJpg::EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = static_cast<PxFileJpg*>(cinfo->dest);
    if (dest->m_pFile->Write(dest->m_pBuffer, 1, eBufSize) != eBufSize) RaiseError(cinfo, JERR_FILE_WRITE);
    dest->next_output_byte = dest->m_pBuffer;
    dest->free_in_buffer = eBufSize;
    return TRUE;
}

void PxImageJPG::PxFileJpg::TermDestination(j_compress_ptr cinfo) {
    auto* dest = static_cast<PxFileJpg*>(cinfo->dest);
    size_t datacount = eBufSize - dest->free_in_buffer;
    if (datacount > 0 && dest->m_pFile->Write(dest->m_pBuffer, 1, datacount) == 0) RaiseError(cinfo, JERR_FILE_WRITE);
    dest->m_pFile->Flush();
    if (dest->m_pFile->Error()) RaiseError(cinfo, JERR_FILE_WRITE);
}

// ---- decoder --------------------------------------------------------------------------------

PxImageJPG::PxImageJPG() : PxImage(PXIMAGE_FORMAT_JPG), m_exif(nullptr) {
    std::memset(&m_exifinfo, 0, sizeof(m_exifinfo));
    // libjpeg's own default (Floyd-Steinberg), so that asking for the member changes nothing
    // until someone sets it.
    m_nDither = JDITHER_FS;
}

PxImageJPG::~PxImageJPG() { delete m_exif; }

bool PxImageJPG::ReadExif(PxFile* hFile) {
    if (!hFile) return false;
    auto* reader = new (std::nothrow) PxExifInfo(&m_exifinfo);
    if (!reader) return false;
    // A second decode must not leave the record pointing into the sections of the first.
    if (m_exif) {
        delete m_exif;
        std::memset(&m_exifinfo, 0, sizeof(m_exifinfo));
    }
    m_exif = reader;
    int32_t pos = hFile->Tell();
    m_exif->ReadSections(hFile, PxExifInfo::READ_EXIF);
    hFile->Seek(pos, SEEK_SET);
    return m_exifinfo.IsExif;
}

bool PxImageJPG::Decode(PxFile* hFile) {
    if (!hFile) return false;

    const bool is_exif = ReadExif(hFile);
    CImageIterator iter(this);

    jpeg_decompress_struct cinfo{};
    JpegErrorManager jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = JpegErrorExit;
    jerr.buffer = info.szLastError;

    PxFileJpg* volatile src = nullptr;
    if (setjmp(jerr.setjmp_buffer)) {
        jpeg_destroy_decompress(&cinfo);
        delete src;
        return false;
    }

    jpeg_CreateDecompress(&cinfo, JPEG_LIB_VERSION, sizeof(cinfo));
    cinfo.mem->max_memory_to_use = kMaxJpegWorkingMemory;
    src = new (std::nothrow) PxFileJpg(hFile);
    if (!src || !src->IsValid()) RaiseError(&cinfo, JERR_OUT_OF_MEMORY);
    cinfo.src = src;

    jpeg_read_header(&cinfo, TRUE);

    const uint32_t options = GetCodecOption(PXIMAGE_FORMAT_JPG);
    if (options & 0x80) cinfo.out_color_space = JCS_GRAYSCALE;
    if (options & 0x100) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = info.nQuality;
    }
    if (options & 0x200) {
        // Only libjpeg's three modes are values of its enumeration.
        cinfo.dither_mode = m_nDither <= JDITHER_FS ? static_cast<J_DITHER_MODE>(m_nDither) : JDITHER_FS;
    }
    if (options & 0x400) cinfo.two_pass_quantize = FALSE;
    if (options & 0x800) cinfo.do_fancy_upsampling = FALSE;
    // libjpeg would enlarge the picture for a denominator of 0; 0 means full size here.
    cinfo.scale_denom = std::max<uint32_t>(GetJpegScale(), 1);

    if (info.nEscape == -1) {
        jpeg_calc_output_dimensions(&cinfo);
        head.biWidth = static_cast<int32_t>(cinfo.output_width);
        head.biHeight = static_cast<int32_t>(cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        delete src;
        return true;
    }

    jpeg_start_decompress(&cinfo);

    // Four components ask for 32 bits, which Create turns into 24.
    if (!Create(cinfo.output_width, cinfo.output_height, 8 * static_cast<uint32_t>(cinfo.output_components),
                PXIMAGE_FORMAT_JPG))
        longjmp(jerr.setjmp_buffer, 1);  // keeps Create's text

    if (is_exif) {
        if (m_exifinfo.XResolution != 0 && m_exifinfo.ResolutionUnit != 0)
            SetXDPI(ExifDpi(m_exifinfo.XResolution, m_exifinfo.ResolutionUnit));
        if (m_exifinfo.YResolution != 0 && m_exifinfo.ResolutionUnit != 0)
            SetYDPI(ExifDpi(m_exifinfo.YResolution, m_exifinfo.ResolutionUnit));
    } else if (cinfo.density_unit == 2) {
        SetXDPI(static_cast<int32_t>(std::floor(cinfo.X_density * 2.54 + 0.5)));
        SetYDPI(static_cast<int32_t>(std::floor(cinfo.Y_density * 2.54 + 0.5)));
    } else {
        SetXDPI(cinfo.X_density);
        SetYDPI(cinfo.Y_density);
    }

    // The quantiser's indices need its own palette even for a grey picture, whose colour map has
    // a single row. The palette keeps the 256 entries Create laid out: the pixel rows sit behind
    // them, and a smaller count would move where the library looks for the rows.
    if (cinfo.quantize_colors) {
        const int32_t rows = cinfo.out_color_components;
        const uint8_t* red = cinfo.colormap[0];
        const uint8_t* green = rows >= 3 ? cinfo.colormap[1] : nullptr;
        const uint8_t* blue = rows >= 3 ? cinfo.colormap[2] : nullptr;
        SetPalette(static_cast<uint32_t>(std::max(cinfo.actual_number_of_colors, 0)), red, green, blue);
    } else if (cinfo.out_color_space == JCS_GRAYSCALE || head.biBitCount == 8) {
        SetGrayPalette();
    }

    const uint32_t row_stride = cinfo.output_width * static_cast<uint32_t>(cinfo.output_components);
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, row_stride, 1);
    const bool cmyk = cinfo.num_components == 4 && !cinfo.quantize_colors && cinfo.output_components == 4;
    const uint32_t image_stride = info.dwEffWidth;

    iter.ToTopRow();
    while (cinfo.output_scanline < cinfo.output_height) {
        if (info.nEscape) longjmp(jerr.setjmp_buffer, 1);
        jpeg_read_scanlines(&cinfo, buffer, 1);
        if (cmyk) {
            uint8_t* dst = iter.GetRow();
            const uint8_t* samples = buffer[0];
            if (dst) {
                for (uint32_t s = 0, p = 0; p + 2 < image_stride && s + 3 < row_stride; s += 4, p += 3) {
                    uint32_t k = samples[s + 3];
                    dst[p] = static_cast<uint8_t>(k * samples[s + 2] / 255);
                    dst[p + 1] = static_cast<uint8_t>(k * samples[s + 1] / 255);
                    dst[p + 2] = static_cast<uint8_t>(k * samples[s] / 255);
                }
            }
        } else {
            iter.SetRow(buffer[0], static_cast<int32_t>(row_stride));
        }
        iter.PrevRow();
    }

    jpeg_finish_decompress(&cinfo);

    if (cinfo.num_components == 3 && !cinfo.quantize_colors) {
        uint8_t* row = GetBits(0);
        const uint32_t height = GetHeight();
        const int32_t pixel_bytes = static_cast<int32_t>(3 * GetWidth());
        for (uint32_t y = 0; row && y < height; y++, row += image_stride) {
            if (info.nEscape) longjmp(jerr.setjmp_buffer, 1);
            RGBtoBGR(row, pixel_bytes);
        }
    }

    jpeg_destroy_decompress(&cinfo);
    delete src;
    return true;
}
