#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "Classes.h"
#include "TempDir.h"

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
    TMemoryStream m;
    m.WriteBuffer("abcdef", 6);
    EXPECT_EQ(m.Size(), 6);
    EXPECT_EQ(m.Position(), 6);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 4), 0);  // at the end
    m.SetPosition(2);
    EXPECT_EQ(m.Read(buf, 10), 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");

    m.Seek(-2, soFromEnd);
    m.WriteBuffer("XYZ", 3);  // overwrites two bytes and grows by one
    EXPECT_EQ(std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size())), "abcdXYZ");
    m.SetSize(3);
    EXPECT_EQ(m.Position(), 3);
    m.SetPosition(1);
    EXPECT_THROW(m.ReadBuffer(buf, 3), EReadError);

    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(m, 0), 3);  // 0 copies the whole source
    EXPECT_EQ(std::memcmp(copy.Memory(), "abc", 3), 0);
}

TEST(Streams, FileStreamCreatesOpensAndNamesTheFileOnFailure) {
    TempDir dir;
    const std::string name = dir / "Data.bin";
    {
        TFileStream out(name.c_str(), fmCreate);
        out.WriteBuffer("0123456789", 10);
        EXPECT_EQ(out.Size(), 10);
    }
    {
        TFileStream in((dir / "data.BIN").c_str(), fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(in.Size(), 10);
        in.Seek(4, soFromBeginning);
        char buf[4];
        in.ReadBuffer(buf, 3);
        EXPECT_EQ(std::string(buf, 3), "456");
        EXPECT_EQ(in.Write("x", 1), 0);  // read-only
    }
    {
        TFileStream rw(name.c_str(), fmOpenReadWrite);
        rw.Seek(0, soFromEnd);
        rw.WriteBuffer("AB", 2);
        rw.SetSize(11);
    }
    EXPECT_EQ(TempDir::Read(name), "0123456789A");

    for (const std::string& bad : {dir / "none.bin", dir.Path().string()}) {
        SCOPED_TRACE(bad);
        try {
            TFileStream f(bad.c_str(), fmOpenRead);
            ADD_FAILURE() << "no EFOpenError";
        } catch (const EFOpenError& e) {
            EXPECT_NE(e.Message.Pos(bad.c_str()), 0) << e.Message;
        }
    }
    EXPECT_THROW(TFileStream((dir / "no/such/folder.bin").c_str(), fmCreate), EFCreateError);

    TMemoryStream m;
    m.LoadFromFile(name.c_str());
    EXPECT_EQ(m.Size(), 11);
}
