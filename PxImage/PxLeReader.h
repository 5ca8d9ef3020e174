#pragma once
// Little-endian fields of a file's header or record, read with bounds. A field that would reach past
// the bytes at hand reads as zero and marks the reader short, so a decoder tells a cut-off file
// from one whose fields are zero, and never reads beyond what it holds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "PxFile.h"

class PxLeReader {
public:
    PxLeReader(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}

    // Reads up to `size` bytes of the stream into `buffer`; the reader covers the bytes that came.
    static PxLeReader FromFile(PxFile* file, uint8_t* buffer, size_t size) {
        return PxLeReader(buffer, file ? file->Read(buffer, 1, size) : 0);
    }

    size_t Size() const { return m_size; }
    // True once a field was asked for that the bytes do not hold in full.
    bool Short() const { return m_short; }
    // Whether `n` bytes from `at` are held; a false answer marks the reader short.
    bool Has(size_t at, size_t n) const {
        if (at <= m_size && n <= m_size - at) return true;
        m_short = true;
        return false;
    }

    uint8_t U8(size_t at) const { return Has(at, 1) ? m_data[at] : 0; }
    uint16_t U16(size_t at) const { return Has(at, 2) ? static_cast<uint16_t>(m_data[at] | (m_data[at + 1] << 8)) : 0; }
    uint32_t U32(size_t at) const {
        if (!Has(at, 4)) return 0;
        return static_cast<uint32_t>(m_data[at]) | (static_cast<uint32_t>(m_data[at + 1]) << 8) |
               (static_cast<uint32_t>(m_data[at + 2]) << 16) | (static_cast<uint32_t>(m_data[at + 3]) << 24);
    }
    int16_t I16(size_t at) const { return static_cast<int16_t>(U16(at)); }
    int32_t I32(size_t at) const { return static_cast<int32_t>(U32(at)); }
    // A single-precision float; one that is not finite reads as zero.
    float F32(size_t at) const {
        const uint32_t v = U32(at);
        float f;
        std::memcpy(&f, &v, sizeof(f));
        return std::isfinite(f) ? f : 0.0f;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    mutable bool m_short = false;
};
