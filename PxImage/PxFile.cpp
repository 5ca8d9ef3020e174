#include "PxFile.h"

#include <algorithm>
#include <cstring>

// Not through the virtual Close: a class derived from this one is already gone here.
PxIOFile::~PxIOFile() { CloseStream(); }

bool PxIOFile::Close() { return CloseStream(); }

bool PxIOFile::CloseStream() {
    if (!m_fp) return true;
    if (!m_bCloseFile) return true;
    int r = std::fclose(m_fp);
    m_fp = nullptr;
    return r == 0;
}

size_t PxIOFile::Read(void* buffer, size_t size, size_t count) {
    return m_fp ? std::fread(buffer, size, count, m_fp) : 0;
}

size_t PxIOFile::Write(const void* buffer, size_t size, size_t count) {
    return m_fp ? std::fwrite(buffer, size, count, m_fp) : 0;
}

bool PxIOFile::Seek(int32_t offset, int32_t origin) { return m_fp ? std::fseek(m_fp, offset, origin) == 0 : false; }

int32_t PxIOFile::Tell() { return m_fp ? static_cast<int32_t>(std::ftell(m_fp)) : 0; }

int32_t PxIOFile::Size() {
    if (!m_fp) return -1;
    auto pos = std::ftell(m_fp);
    std::fseek(m_fp, 0, SEEK_END);
    auto size = std::ftell(m_fp);
    std::fseek(m_fp, pos, SEEK_SET);
    return static_cast<int32_t>(size);
}

bool PxIOFile::Flush() { return m_fp ? std::fflush(m_fp) == 0 : false; }

bool PxIOFile::Eof() { return m_fp ? std::feof(m_fp) != 0 : true; }

int32_t PxIOFile::Error() { return m_fp ? std::ferror(m_fp) : -1; }

bool PxIOFile::PutC(uint8_t c) { return m_fp ? std::fputc(c, m_fp) == c : false; }

int32_t PxIOFile::GetC() { return m_fp ? std::getc(m_fp) : -1; }

size_t PxMemFile::Read(void* buffer, size_t size, size_t count) {
    if (size == 0 || count == 0) return 0;
    size_t avail = (m_size - m_pos) / size;
    size_t n = std::min(avail, count);
    if (n < count) m_eof = true;
    if (n > 0) std::memcpy(buffer, m_data + m_pos, n * size);
    m_pos += n * size;
    return n;
}

bool PxMemFile::Seek(int32_t offset, int32_t origin) {
    int64_t base = origin == SEEK_CUR   ? static_cast<int64_t>(m_pos)
                   : origin == SEEK_END ? static_cast<int64_t>(m_size)
                                        : 0;
    int64_t pos = base + offset;
    if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) return false;
    if (pos < 0 || pos > static_cast<int64_t>(m_size)) return false;
    m_pos = static_cast<size_t>(pos);
    m_eof = false;
    return true;
}

int32_t PxMemFile::GetC() {
    if (m_pos >= m_size) {
        m_eof = true;
        return -1;
    }
    return m_data[m_pos++];
}
