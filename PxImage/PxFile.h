#pragma once
// The byte stream every decoder reads from, and its one implementation over a C runtime stream.
#include <cstddef>
#include <cstdint>
#include <cstdio>

class PxFile {
public:
    virtual ~PxFile() {}
    virtual bool Close() = 0;
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    virtual bool Seek(int32_t offset, int32_t origin) = 0;
    virtual int32_t Tell() = 0;
    virtual int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int32_t Error() = 0;
    virtual bool PutC(uint8_t c) { return Write(&c, 1, 1) == 1; }
    virtual int32_t GetC() = 0;
};

class PxIOFile : public PxFile {
public:
    // Over a caller's open stream the object never closes it; with null it owns what it opens.
    explicit PxIOFile(FILE* fp = nullptr) : m_fp(fp), m_bCloseFile(fp == nullptr) {}
    ~PxIOFile() override;
    PxIOFile(const PxIOFile&) = delete;
    PxIOFile& operator=(const PxIOFile&) = delete;

    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int32_t offset, int32_t origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(uint8_t c) override;
    int32_t GetC() override;

private:
    bool CloseStream();

    FILE* m_fp;
    bool m_bCloseFile;
};

// A read-only stream over bytes in memory, for callers and tests that hold a picture already.
class PxMemFile : public PxFile {
public:
    PxMemFile(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Close() override { return true; }
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void*, size_t, size_t) override { return 0; }
    bool Seek(int32_t offset, int32_t origin) override;
    int32_t Tell() override { return static_cast<int32_t>(m_pos); }
    int32_t Size() override { return static_cast<int32_t>(m_size); }
    bool Flush() override { return true; }
    bool Eof() override { return m_eof; }
    int32_t Error() override { return 0; }
    int32_t GetC() override;

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_eof = false;
};
