#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "Exception.h"
#include "TestWaves.h"
#include "Waveutils.h"

using namespace testwaves;

namespace {

struct LoadCase {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* error;  // message after the file name is put in; nullptr when it loads
    DWORD size;
    WAVEFORMATEX format;
};

WAVEFORMATEX Fmt(WORD ch, DWORD rate, WORD bits) {
    WAVEFORMATEX f;
    f.wFormatTag = 1;
    f.nChannels = ch;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<WORD>(ch * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = bits;
    return f;
}

std::vector<uint8_t> Bytes(size_t n, uint8_t v = 0x11) { return std::vector<uint8_t>(n, v); }

std::vector<LoadCase> Cases() {
    std::vector<LoadCase> c;
    c.push_back({"pcm16_mono_44100", Wave(1, 44100, 16, Bytes(100)), nullptr, 100, Fmt(1, 44100, 16)});
    c.push_back({"pcm8_stereo_11025", Wave(2, 11025, 8, Bytes(64)), nullptr, 64, Fmt(2, 11025, 8)});
    c.push_back({"pcm16_stereo_96000", Wave(2, 96000, 16, Bytes(4000)), nullptr, 4000, Fmt(2, 96000, 16)});
    c.push_back({"odd_chunks_around",
                 Riff({{"LIST", Bytes(3)}, {"fmt ", FmtBody(1, 1, 22050, 8)}, {"junk", Bytes(5)}, {"data", Bytes(7)}}),
                 nullptr, 7, Fmt(1, 22050, 8)});
    c.push_back(
        {"data_before_fmt", Riff({{"data", Bytes(9)}, {"fmt ", FmtBody(1, 1, 8000, 8)}}), nullptr, 9, Fmt(1, 8000, 8)});
    {
        auto body = FmtBody(1, 2, 48000, 16);
        Put16(body, 0);
        c.push_back({"fmt_18_bytes", Riff({{"fmt ", body}, {"data", Bytes(8)}}), nullptr, 8, Fmt(2, 48000, 16)});
    }
    c.push_back({"extensible_pcm", Riff({{"fmt ", ExtensibleBody(2, 44100, 16, 1)}, {"data", Bytes(16)}}), nullptr, 16,
                 Fmt(2, 44100, 16)});
    // A header that claims 4 GB gets the bytes that are there.
    c.push_back({"huge_data_claim", Riff({{"fmt ", FmtBody(1, 1, 8000, 8)}, {"data", Bytes(10), 0xFFFFFFFF}}), nullptr,
                 10, Fmt(1, 8000, 8)});
    c.push_back({"huge_claim_nothing_there",
                 Riff({{"fmt ", FmtBody(1, 1, 8000, 8)}, {"data", {}, 0xFFFFFFF0}}),
                 "file '%s' is empty",
                 0,
                 {}});
    c.push_back({"empty_data", Wave(1, 8000, 8, {}), "file '%s' is empty", 0, {}});
    c.push_back({"not_riff",
                 [] {
                     auto b = Wave(1, 8000, 8, Bytes(4));
                     b[3] = 'X';
                     return b;
                 }(),
                 "Error open file '%s'",
                 0,
                 {}});
    c.push_back({"not_wave",
                 Riff({{"fmt ", FmtBody(1, 1, 8000, 8)}, {"data", Bytes(4)}}, "AVI "),
                 "Error open file '%s'",
                 0,
                 {}});
    c.push_back({"short_fmt", Riff({{"fmt ", Bytes(14)}, {"data", Bytes(4)}}), "Error open file '%s'", 0, {}});
    c.push_back({"no_fmt", Riff({{"data", Bytes(4)}}), "Error open file '%s'", 0, {}});
    c.push_back({"no_data", Riff({{"fmt ", FmtBody(1, 1, 8000, 8)}}), "Error open file '%s'", 0, {}});
    {
        // "data" lies after the end of the RIFF form and does not belong to it.
        auto b = Riff({{"fmt ", FmtBody(1, 1, 8000, 8)}});
        for (char ch : std::string("data")) b.push_back(static_cast<uint8_t>(ch));
        Put32(b, 4);
        for (int i = 0; i < 4; ++i) b.push_back(1);
        c.push_back({"data_outside_form", b, "Error open file '%s'", 0, {}});
    }
    c.push_back({"truncated_header", {'R', 'I', 'F', 'F'}, "Error open file '%s'", 0, {}});
    c.push_back({"zero_bytes", {}, "Error open file '%s'", 0, {}});
    c.push_back({"float_16_byte_fmt",
                 Riff({{"fmt ", FmtBody(3, 1, 44100, 32)}, {"data", Bytes(8)}}),
                 "File '%s' read error: non-PCM wav format",
                 0,
                 {}});
    {
        auto body = FmtBody(2, 1, 44100, 4);
        Put16(body, 32);
        auto extra = Bytes(32);
        body.insert(body.end(), extra.begin(), extra.end());
        c.push_back({"adpcm_with_extra",
                     Riff({{"fmt ", body}, {"data", Bytes(8)}}),
                     "File '%s' read error: non-PCM wav format",
                     0,
                     {}});
    }
    {
        auto body = FmtBody(2, 1, 44100, 4);
        Put16(body, 500);  // more extra bytes than "fmt " holds
        c.push_back({"extra_beyond_fmt", Riff({{"fmt ", body}, {"data", Bytes(600)}}), "Error open file '%s'", 0, {}});
    }
    c.push_back({"extensible_float",
                 Riff({{"fmt ", ExtensibleBody(2, 44100, 32, 3)}, {"data", Bytes(16)}}),
                 "File '%s' read error: non-PCM wav format",
                 0,
                 {}});
    return c;
}

}  // namespace

TEST(LoadWav, FormatsSizesAndMessages) {
    for (const LoadCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        std::string path = WriteFile(std::string(c.name) + ".wav", c.bytes);
        WAVEFORMATEX f;
        std::vector<BYTE> data;
        if (!c.error) {
            DWORD n = LoadWav(path.c_str(), &f, data);
            EXPECT_EQ(n, c.size);
            EXPECT_EQ(data.size(), c.size);
            EXPECT_EQ(f.wFormatTag, 1);
            EXPECT_EQ(f.nChannels, c.format.nChannels);
            EXPECT_EQ(f.nSamplesPerSec, c.format.nSamplesPerSec);
            EXPECT_EQ(f.wBitsPerSample, c.format.wBitsPerSample);
            EXPECT_EQ(f.nBlockAlign, c.format.nBlockAlign);
            EXPECT_EQ(f.cbSize, 0);
            EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](BYTE b) { return b == 0x11; }));
        } else {
            char expected[512];
            std::snprintf(expected, sizeof expected, c.error, path.c_str());
            EXPECT_EQ(MessageOf([&] { LoadWav(path.c_str(), &f, data); }), expected);
        }
    }
    std::vector<BYTE> data;
    EXPECT_EQ(MessageOf([&] { LoadWav("no such dir\\missing.wav", nullptr, data); }),
              "Error open file 'no such dir\\missing.wav'");
}

// Reads spanning several refills of the 8 KB I/O buffer, a read at the end, and a rewind.
TEST(CWaveFile, ReadsInPiecesAcrossBufferRefills) {
    std::vector<uint8_t> samples(20001);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7 + i / 256);
    std::string path =
        WriteFile("pieces.wav", Riff({{"fmt ", FmtBody(1, 1, 8000, 8)}, {"data", samples}, {"tail", Bytes(3)}}));
    CWaveFile w;
    ASSERT_EQ(w.Open(path.c_str(), nullptr, WAVEFILE_READ), 0);
    ASSERT_EQ(w.GetSize(), samples.size());
    std::vector<BYTE> got(samples.size() + 10);
    DWORD n = 0, total = 0;
    for (DWORD piece : {7000u, 1u, 9000u, 8000u}) {
        ASSERT_EQ(w.Read(got.data() + total, piece, &n), 0);
        total += n;
    }
    EXPECT_EQ(total, samples.size());
    EXPECT_TRUE(std::equal(samples.begin(), samples.end(), got.begin()));
    ASSERT_EQ(w.Read(got.data(), 10, &n), 0);
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(w.ResetFile(), 0);
    ASSERT_EQ(w.Read(got.data(), 3, &n), 0);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(got[2], samples[2]);
    EXPECT_EQ(w.Open(path.c_str(), nullptr, 2), -1);  // writing is not supported
}

TEST(Mmio, DescendFindsChunksInsideParentOnly) {
    std::string path = WriteFile("mmio.wav", Riff({{"odd1", Bytes(1)},
                                                   {"LIST", {'I', 'N', 'F', 'O', 'a', 'b', 'c', 'd', 1, 0, 0, 0, 9, 0}},
                                                   {"fmt ", FmtBody(1, 1, 8000, 8)}}));
    HMMIO h = mmioOpen(path.c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    MMCKINFO riff{};
    riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(h, &riff, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riff.dwDataOffset, 8u);
    MMCKINFO list{};
    list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioDescend(h, &list, &riff, MMIO_FINDLIST), MMSYSERR_NOERROR);
    MMCKINFO sub{};
    sub.ckid = mmioFOURCC('a', 'b', 'c', 'd');
    ASSERT_EQ(mmioDescend(h, &sub, &list, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(sub.cksize, 1u);
    char b = 0;
    EXPECT_EQ(mmioRead(h, &b, 1), 1);
    EXPECT_EQ(b, 9);
    ASSERT_EQ(mmioAscend(h, &sub, 0), MMSYSERR_NOERROR);
    // "fmt " exists, but not inside the list.
    MMCKINFO fmt{};
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    EXPECT_EQ(mmioDescend(h, &fmt, &list, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    ASSERT_EQ(mmioAscend(h, &list, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioDescend(h, &fmt, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(fmt.cksize, 16u);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioRead(h, &b, 1), -1);
}
