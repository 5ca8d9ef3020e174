#pragma once
// libjpeg's data source and destination over a PxFile, through one 4096-byte buffer.
#include <cstddef>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared before it

#include <jpeglib.h>

#include "PxFile.h"
#include "PxImageJPG.h"

namespace pximage_jpeg {

// The skip callback's count type is fixed by libjpeg's slot, not chosen here.
template <class>
struct SecondArgument;
template <class R, class A, class B>
struct SecondArgument<R (*)(A, B)> {
    using type = B;
};
using SkipCount = SecondArgument<decltype(jpeg_source_mgr::skip_input_data)>::type;

}  // namespace pximage_jpeg

class PxImageJPG::PxFileJpg : public jpeg_destination_mgr, public jpeg_source_mgr {
public:
    static constexpr size_t eBufSize = 4096;

    explicit PxFileJpg(PxFile* pFile);
    ~PxFileJpg();
    PxFileJpg(const PxFileJpg&) = delete;
    PxFileJpg& operator=(const PxFileJpg&) = delete;

    // False when the buffer could not be had.
    bool IsValid() const { return m_pBuffer != nullptr; }

    static void InitSource(j_decompress_ptr cinfo);
    static boolean FillInputBuffer(j_decompress_ptr cinfo);
    static void SkipInputData(j_decompress_ptr cinfo, pximage_jpeg::SkipCount count);
    static void TermSource(j_decompress_ptr cinfo);

    static void InitDestination(j_compress_ptr cinfo);
    static boolean EmptyOutputBuffer(j_compress_ptr cinfo);
    static void TermDestination(j_compress_ptr cinfo);

protected:
    PxFile* m_pFile;
    uint8_t* m_pBuffer;
    bool m_bStartOfFile;
};
