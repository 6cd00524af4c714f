#include <gtest/gtest.h>

#include "format.h"
#include "readwhole.h"
#include "record.h"
#include "winfiles.h"

namespace {

class DetectFormat : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearReports();
        dir = makeTempDir();
        ASSERT_FALSE(dir.empty());
        path = dir + "file.txt";
    }
    void TearDown() override { removeTree(dir); }

    FileFormat detect(const std::string &bytes)
    {
        writeBytes(path, bytes);
        return detectFormat(wide(path).c_str());
    }

    std::string dir, path;
};

TEST_F(DetectFormat, EachAnswerFromARealFile)
{
    EXPECT_EQ(FileFormat::Windows, detect("one\r\ntwo\r\nthree\r\n"));
    EXPECT_EQ(FileFormat::Unix, detect("one\ntwo\nthree\n"));
    EXPECT_EQ(FileFormat::Mac, detect("one\rtwo\rthree\r"));
    EXPECT_EQ(FileFormat::Unknown, detect("one\r\ntwo\n"));
    EXPECT_EQ(FileFormat::Unknown, detect("no separators"));
    EXPECT_EQ(FileFormat::Unknown, detect(""));
    EXPECT_TRUE(reports.empty()) << "detection shows nothing itself";

    // The buffer that detection and conversion read into holds the file and its terminator.
    writeBytes(path, "one\ntwo\n");
    HANDLE file = INVALID_HANDLE_VALUE;
    char *buf = NULL;
    uint32_t size = 0;
    ASSERT_EQ(ReadOk, readWhole(wide(path).c_str(), &file, &buf, &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ(size + 1, _msize(buf));
    EXPECT_EQ(std::string("one\ntwo\n", 9), std::string(buf, size + 1));
    free(buf);
    CloseHandle(file);
}

TEST_F(DetectFormat, CountsPastANulUnlikeTheConversion)
{
    EXPECT_EQ(FileFormat::Mac, detect(std::string("\0a\rb\rc\r", 7)));
}

TEST_F(DetectFormat, MissingFileIsUnknown)
{
    EXPECT_EQ(FileFormat::Unknown, detectFormat(wide(dir + "absent.txt").c_str()));
    EXPECT_EQ(FileFormat::Unknown, detectFormat(L""));
}

TEST_F(DetectFormat, InputWithoutASizeIsUnknown)
{
    std::string pipe;
    HANDLE server = makeSizelessPipe(&pipe);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    EXPECT_EQ(FileFormat::Unknown, detectFormat(wide(pipe).c_str()));
    CloseHandle(server);
}

TEST_F(DetectFormat, FileHeldOpenWithoutSharingIsUnknown)
{
    writeBytes(path, "a\nb\nc\n");
    HANDLE other = CreateFileW(wide(path).c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(FileFormat::Unknown, detectFormat(wide(path).c_str()));
    CloseHandle(other);
    EXPECT_EQ(FileFormat::Unix, detectFormat(wide(path).c_str())) << "and answers once it is free";
}

TEST_F(DetectFormat, ItsOwnHandleIsClosedAfterwards)
{
    writeBytes(path, "a\nb\n");
    ASSERT_EQ(FileFormat::Unix, detectFormat(wide(path).c_str()));
    HANDLE h = CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << "an exclusive open fails while detection holds the file";
    CloseHandle(h);
}

TEST_F(DetectFormat, FilesOf4GiBOrJustBelowAreUnknown)
{
    for (uint64_t size : {0x100000000ull, 0xFFFFFFFFull}) {
        ASSERT_TRUE(makeSparse(path, size));
        EXPECT_EQ(FileFormat::Unknown, detectFormat(wide(path).c_str())) << size;
    }
}

TEST_F(DetectFormat, ShortReadCountsNothing)
{
    // This one delivers a line like "0-1\n", which, counted as if it were the whole file,
    // would answer Unix.
    std::string sysFile = shortReadFile();
    if (sysFile.empty())
        GTEST_SKIP() << "no /sys/devices/system/cpu/online on this machine";
    EXPECT_EQ(FileFormat::Unknown, detectFormat(wide(sysFile).c_str()));
}

} // namespace
