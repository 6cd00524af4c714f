#include <gtest/gtest.h>

#include "blocks.h"
#include "convert.h"
#include "format.h"
#include "record.h"
#include "report.h"
#include "winfiles.h"

namespace {

// Devices have no attributes under Wine: ask by opening instead.
bool deviceExists(const char *path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

// Stands in for the main dialog: only passed through to the reports.
HWND const kOwner = (HWND)(INT_PTR)0x5150;

const MessageReport kNoOpen = {kOwner, "Could not open the input file!", "Error", IconError};
const MessageReport kTooLarge = {nullptr, "File Conversion Error:\nInput file too large!", "Error", IconError};
const MessageReport kConvError = {nullptr, "File Conversion Error", "Error", IconError};
const MessageReport kHasNul = {nullptr, "File Conversion Error:\nInput file holds a NUL character!", "Error", IconError};
const MessageReport kNoCreate = {kOwner, "Could not create the output file!", "Error", IconError};
const MessageReport kSuccess = {nullptr, "File converted successfully!", "Success", IconInfo};
const MessageReport kNoRead = {kOwner, "Could not read the input file!", "Error", IconError};
const MessageReport kNoWrite = {kOwner, "Could not write the output file!", "Error", IconError};

class ConvertFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearReports();
        dir = makeTempDir();
        ASSERT_FALSE(dir.empty());
        in = dir + "in.txt";
        out = dir + "out.txt";
    }
    void TearDown() override
    {
        clearReports();
        removeTree(dir);
    }
    void convert(const char *inSep, const char *outSep)
    {
        convertFile(kOwner, wide(in).c_str(), wide(out).c_str(), inSep, outSep);
    }
    std::vector<MessageReport> only(const MessageReport &r) { return {r}; }

    std::string dir, in, out;
};

// Every separator kind side by side, so each pair shows what it touches and what it leaves.
const char kMixed[] = "a\r\nb\nc\rd\r\r\ne\n\rf";

TEST_F(ConvertFile, EveryPairOfFormats)
{
    struct Case {
        const char *inSep, *outSep, *expected;
    } cases[] = {
        {SEP_WINDOWS, SEP_UNIX, "a\nb\nc\rd\r\ne\n\rf"},
        {SEP_WINDOWS, SEP_MAC, "a\rb\nc\rd\r\re\n\rf"},
        {SEP_UNIX, SEP_WINDOWS, "a\r\r\nb\r\nc\rd\r\r\r\ne\r\n\rf"},
        {SEP_UNIX, SEP_MAC, "a\r\rb\rc\rd\r\r\re\r\rf"},
        {SEP_MAC, SEP_WINDOWS, "a\r\n\nb\nc\r\nd\r\n\r\n\ne\n\r\nf"},
        {SEP_MAC, SEP_UNIX, "a\n\nb\nc\nd\n\n\ne\n\nf"},
    };
    for (const Case &c : cases) {
        clearReports();
        writeBytes(in, kMixed);
        writeBytes(out, "stale");
        convert(c.inSep, c.outSep);
        EXPECT_EQ(c.expected, readBytes(out));
        EXPECT_EQ(only(kSuccess), reports);
        EXPECT_EQ(kMixed, readBytes(in)) << "the input is never touched";
    }
    // A file of the size people convert, lines of odd lengths, there and back.
    std::string lf, crlf;
    for (uint32_t n = 0, rng = 3; lf.size() < (5u << 20); n++) {
        rng = rng * 1103515245u + 12345u;
        std::string line((rng >> 16) % 89, 'a' + n % 26);
        lf += line + "\n";
        crlf += line + "\r\n";
    }
    clearReports();
    writeBytes(in, lf);
    convert(SEP_UNIX, SEP_WINDOWS);
    EXPECT_TRUE(readBytes(out) == crlf) << "LF to CR LF differs";
    writeBytes(in, crlf);
    convert(SEP_WINDOWS, SEP_UNIX);
    EXPECT_TRUE(readBytes(out) == lf) << "CR LF to LF differs";
    EXPECT_EQ(std::vector<MessageReport>({kSuccess, kSuccess}), reports);
    // The block kernels run exactly where the processor has SSE2, as Windows tells it.
    int was = blockKernels();
    setBlockKernels(1);
    EXPECT_EQ(IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0, blockKernels() != 0);
    setBlockKernels(was);
}

TEST_F(ConvertFile, BothFilesStayOpenSharedForReadingWhileSuccessIsShown)
{
    static std::string *seenIn, *seenOut;
    static bool writeIn, writeOut, readOut;
    seenIn = &in;
    seenOut = &out;
    reportHook = [](const MessageReport &) {
        HANDLE h = CreateFileW(wide(*seenIn).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
        writeIn = h != INVALID_HANDLE_VALUE;
        if (writeIn)
            CloseHandle(h);
        h = CreateFileW(wide(*seenOut).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                        OPEN_EXISTING, 0, NULL);
        writeOut = h != INVALID_HANDLE_VALUE;
        if (writeOut)
            CloseHandle(h);
        readOut = readBytes(*seenOut) == "x\r\ny";
    };
    writeBytes(in, "x\ny");
    convert(SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kSuccess), reports);
    EXPECT_FALSE(writeIn);
    EXPECT_FALSE(writeOut);
    EXPECT_TRUE(readOut) << "the whole result is written before success is shown";
}

TEST_F(ConvertFile, InputWithoutTheSeparatorIsCopied)
{
    writeBytes(in, "one line\twithout \xe9 an end");
    convert(SEP_WINDOWS, SEP_UNIX);
    EXPECT_EQ("one line\twithout \xe9 an end", readBytes(out));
    EXPECT_EQ(only(kSuccess), reports);
}

DWORD WINAPI closeSoon(void *h)
{
    Sleep(250);
    return CloseHandle(h);
}

TEST_F(ConvertFile, AnExistingOutputIsReplacedWholeOrNotAtAll)
{
    writeBytes(in, "1\r\n2\r\n");
    writeBytes(out, std::string(5000, 'z'));
    convert(SEP_WINDOWS, SEP_UNIX);
    EXPECT_EQ("1\n2\n", readBytes(out));

    // Its marks stay: hidden stays hidden, a new text is to be backed up (archive).
    const std::wstring o = wide(out);
    for (DWORD marks : {(DWORD)FILE_ATTRIBUTE_HIDDEN, (DWORD)FILE_ATTRIBUTE_ARCHIVE}) {
        clearReports();
        writeBytes(out, "old");
        ASSERT_TRUE(SetFileAttributesW(o.c_str(), marks));
        convert(SEP_WINDOWS, SEP_MAC);
        EXPECT_EQ(only(kSuccess), reports) << marks;
        EXPECT_EQ("1\r2\r", readBytes(out)) << marks;
        EXPECT_EQ(marks | FILE_ATTRIBUTE_ARCHIVE, GetFileAttributesW(o.c_str())) << marks;
        EXPECT_EQ("in.txt out.txt ", folderNames(dir)) << marks;
        SetFileAttributesW(o.c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // A read-only output is refused; one that another program reads, sharing writes but not
    // its removal, cannot be replaced. Either stays as it was, and nothing is left beside it.
    clearReports();
    writeBytes(out, "old");
    SetFileAttributesW(o.c_str(), FILE_ATTRIBUTE_READONLY);
    convert(SEP_WINDOWS, SEP_UNIX);
    SetFileAttributesW(o.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE reader = CreateFileW(o.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    convert(SEP_WINDOWS, SEP_UNIX);
    CloseHandle(reader);
    EXPECT_EQ(std::vector<MessageReport>({kNoCreate, kNoCreate}), reports);
    EXPECT_EQ("old", readBytes(out));
    EXPECT_EQ("in.txt out.txt ", folderNames(dir));

    // Held for a moment only, as a scanner or a sync client holds it: converted.
    clearReports();
    reader = CreateFileW(o.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    HANDLE release = CreateThread(NULL, 0, closeSoon, reader, 0, NULL);
    convert(SEP_WINDOWS, SEP_UNIX);
    WaitForSingleObject(release, INFINITE);
    CloseHandle(release);
    EXPECT_EQ(only(kSuccess), reports);
    EXPECT_EQ("1\n2\n", readBytes(out));
    EXPECT_EQ("in.txt out.txt ", folderNames(dir));

    // A symbolic link at the output's path: the file it leads to takes the result, the link stays.
    clearReports();
    const std::string elsewhere = dir + "elsewhere\\";
    ASSERT_TRUE(CreateDirectoryW(wide(elsewhere).c_str(), NULL));
    writeBytes(elsewhere + "real.txt", "old");
    DeleteFileW(o.c_str());
    if (!makeSymlink(out, elsewhere + "real.txt"))
        GTEST_SKIP() << "no symbolic link can be made here (Windows makes one for an administrator, or in developer mode)";
    convert(SEP_WINDOWS, SEP_MAC);
    EXPECT_EQ(only(kSuccess), reports);
    EXPECT_EQ("1\r2\r", readBytes(elsewhere + "real.txt"));
    writeBytes(elsewhere + "real.txt", "through the link");
    EXPECT_EQ("through the link", readBytes(out)) << "the link was replaced";
    EXPECT_EQ("real.txt ", folderNames(elsewhere));
    EXPECT_EQ("elsewhere in.txt out.txt ", folderNames(dir));
    removeSymlink(out);
}

// Windows' own ways for replacing to fail, which Wine's never does, played by stand-ins for
// the file functions this program imports. A call fails with err, times times (-1: always).
struct Fault {
    DWORD err = 0;
    int times = 0;
};
struct Faults {
    Fault replace;
    bool movesOld = false;  // the failing replace has moved the old output to the backup first
    Fault moveBak, moveTmp, del;
} faults;
Fault flushFault;

decltype(&ReplaceFileW) realReplace;
decltype(&MoveFileW) realMove;
decltype(&DeleteFileW) realDelete;
decltype(&WriteFile) realWrite;
decltype(&FlushFileBuffers) realFlush;
// What the files went through, in order: w written, f flushed, r replaced, m a side file moved.
std::string calls;

bool failNow(Fault *f)
{
    if (f == nullptr || f->times == 0)
        return false;
    if (f->times > 0)
        f->times--;
    SetLastError(f->err);
    return true;
}

BOOL WINAPI fakeReplace(LPCWSTR out, LPCWSTR tmp, LPCWSTR bak, DWORD flags, LPVOID x, LPVOID y)
{
    calls += 'r';
    if (faults.replace.times == 0)
        return realReplace(out, tmp, bak, flags, x, y);
    if (faults.movesOld)
        realMove(out, bak);
    return !failNow(&faults.replace);
}

// Only the side files: the tests' own files go through untouched.
bool isSide(const wchar_t *path)
{
    return wcsstr(path, L"~Pellmark-") != nullptr;
}

BOOL WINAPI fakeMove(LPCWSTR from, LPCWSTR to)
{
    // Windows takes a \\?\ path as it stands, where Wine tidies it: an empty part names nothing.
    if (wcsncmp(to, L"\\\\?\\", 4) == 0 && wcsstr(to + 4, L"\\\\") != nullptr)
        return SetLastError(ERROR_INVALID_NAME), FALSE;
    Fault *f = !isSide(from) ? nullptr : wcsstr(from, L".tmp") ? &faults.moveTmp : &faults.moveBak;
    calls += f ? "m" : "";
    return failNow(f) ? FALSE : realMove(from, to);
}

BOOL WINAPI fakeDelete(LPCWSTR path)
{
    return failNow(isSide(path) ? &faults.del : nullptr) ? FALSE : realDelete(path);
}

BOOL WINAPI fakeWrite(HANDLE h, LPCVOID buf, DWORD n, LPDWORD done, LPOVERLAPPED ov)
{
    calls += 'w';
    return realWrite(h, buf, n, done, ov);
}

BOOL WINAPI fakeFlush(HANDLE h)
{
    calls += 'f';
    return failNow(&flushFault) ? FALSE : realFlush(h);
}

// The names in a folder; a side file's with its number as X and what it holds.
std::string listing(const std::string &dir)
{
    std::string names = folderNames(dir), all;
    for (size_t at = 0, end; (end = names.find(' ', at)) != std::string::npos; at = end + 1) {
        std::string name = names.substr(at, end - at);
        all += name.rfind("~Pellmark-", 0) ? name : name.substr(0, 10) + "X" + name.substr(18) + "=" + readBytes(dir + name);
        all += " ";
    }
    return all;
}

TEST_F(ConvertFile, AnOutputInADeepFolderIsWholeWhateverFails)
{
    const DWORD share = ERROR_SHARING_VIOLATION, denied = ERROR_ACCESS_DENIED;
    const std::string clean = "ooooooooo.txt ";
    // Where there is no network share, its rows run in a local folder, and the test says so.
    const std::string shareDir = makeShareDir();
    struct Case {
        const char *what;
        Faults f;
        const char *old;  // the earlier output, or null
        MessageReport report;
        const char *outText;
        std::string names;
        bool onShare = false;  // its folder on the network share
        std::string input = "1\r\n2\r\n";
        Fault flush = {};  // flushing the new file
    } cases[] = {
        // replace, and whether it moved the old first; moving the backup back, the new file in; removing either
        {"nothing fails", {{}, false, {}, {}, {}}, nullptr, kSuccess, "1\n2\n", clean},
        {"nothing fails, replacing", {{}, false, {}, {}, {}}, "old", kSuccess, "1\n2\n", clean},
        {"on a network share", {{}, false, {}, {}, {}}, nullptr, kSuccess, "1\n2\n", clean, true},
        {"on a network share, replacing", {{}, false, {}, {}, {}}, "old", kSuccess, "1\n2\n", clean, true},
        {"removing the old fails", {{ERROR_UNABLE_TO_REMOVE_REPLACED, -1}, false, {}, {}, {}}, "old", kNoCreate, "old", clean},
        {"moving the new fails", {{ERROR_UNABLE_TO_MOVE_REPLACEMENT, -1}, false, {}, {}, {}}, "old", kNoCreate, "old", clean},
        {"the old is in the backup", {{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, -1}, true, {}, {}, {}}, "old", kNoCreate, "old", clean},
        {"...and cannot go back", {{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, -1}, true, {denied, -1}, {}, {}}, "old",
         kSuccess, "1\n2\n", clean},
        {"...nor the new in", {{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, 1}, true, {denied, -1}, {denied, -1}, {}}, "old",
         kNoCreate, "<missing>", "~Pellmark-X.bak=old ~Pellmark-X.tmp=1\n2\n "},
        {"a lock that clears", {{share, 3}, false, {}, {}, {}}, "old", kSuccess, "1\n2\n", clean},
        {"a lock on removing the backup", {{}, false, {}, {}, {share, 3}}, "old", kSuccess, "1\n2\n", clean},
        {"a lock on a new output", {{}, false, {}, {share, 3}, {}}, nullptr, kSuccess, "1\n2\n", clean},
        {"a NUL in the input", {{}, false, {}, {}, {}}, "old", kHasNul, "old", clean, false, std::string("1\r\n\0", 4)},
        {"the data cannot be flushed to the disk", {{}, false, {}, {}, {}}, "old", kNoWrite, "old", clean, false, "1\r\n2\r\n",
         {ERROR_IO_DEVICE, -1}},
    };
    realReplace = (decltype(realReplace))substituteImport("kernel32.dll", "ReplaceFileW", (void *)fakeReplace);
    realMove = (decltype(realMove))substituteImport("kernel32.dll", "MoveFileW", (void *)fakeMove);
    realDelete = (decltype(realDelete))substituteImport("kernel32.dll", "DeleteFileW", (void *)fakeDelete);
    realWrite = (decltype(realWrite))substituteImport("kernel32.dll", "WriteFile", (void *)fakeWrite);
    realFlush = (decltype(realFlush))substituteImport("kernel32.dll", "FlushFileBuffers", (void *)fakeFlush);
    ASSERT_TRUE(realReplace && realMove && realDelete && realWrite && realFlush) << "the program does not import them";
    char n = 'a';
    for (const Case &c : cases) {
        clearReports();
        writeBytes(in, c.input);
        // 259 characters, the most a path box takes, in a folder of 245: the side files' names
        // are longer than the output's and reach past MAX_PATH.
        const std::string &at = c.onShare && !shareDir.empty() ? shareDir : dir;
        const std::string folder = at + n++ + std::string(244 - at.size(), 'd') + "\\";
        ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), NULL));
        out = folder + "ooooooooo.txt";
        ASSERT_EQ(259u, out.size());
        if (c.old)
            writeBytes(out, c.old);
        faults = c.f;
        flushFault = c.flush;
        calls.clear();
        convert(SEP_WINDOWS, SEP_UNIX);
        faults = Faults();
        flushFault = Fault();
        EXPECT_EQ(only(c.report), reports) << c.what;
        // Written, and on the disk, before anything takes the output's name.
        if (c.report == kSuccess) {
            EXPECT_EQ("wf", calls.substr(0, calls.find_first_of("rm"))) << c.what;
        }
        EXPECT_EQ(c.outText, readBytes(out)) << c.what;
        EXPECT_EQ(c.names, listing(folder)) << c.what;
    }
    substituteImport("kernel32.dll", "ReplaceFileW", (void *)realReplace);
    substituteImport("kernel32.dll", "MoveFileW", (void *)realMove);
    substituteImport("kernel32.dll", "DeleteFileW", (void *)realDelete);
    substituteImport("kernel32.dll", "WriteFile", (void *)realWrite);
    substituteImport("kernel32.dll", "FlushFileBuffers", (void *)realFlush);
    if (shareDir.empty())
        GTEST_SKIP() << "no network share (PELLMARK_SHARE, or an administrator's \\\\localhost\\C$): its rows ran locally";
    removeTree(shareDir);
}

TEST_F(ConvertFile, MissingInputOrEmptyPaths)
{
    convert(SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoOpen), reports);
    EXPECT_FALSE(fileExists(out));

    clearReports();
    convertFile(kOwner, L"", wide(out).c_str(), SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoOpen), reports);

    clearReports();
    writeBytes(in, "a\nb");
    convertFile(kOwner, wide(in).c_str(), L"", SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoCreate), reports);
    EXPECT_EQ("in.txt ", folderNames(dir));
}

TEST_F(ConvertFile, InputWithoutASizeIsReportedAsNotOpened)
{
    // GetFileSize fails on a pipe; its answer must not pass for a size.
    std::string pipe;
    HANDLE server = makeSizelessPipe(&pipe);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    convertFile(kOwner, wide(pipe).c_str(), wide(out).c_str(), SEP_UNIX, SEP_WINDOWS);
    CloseHandle(server);
    EXPECT_EQ(only(kNoOpen), reports);
    EXPECT_FALSE(fileExists(out));
}

TEST_F(ConvertFile, SamePathForInputAndOutputLeavesTheInputAlone)
{
    writeBytes(in, "keep\nme\n");
    ASSERT_TRUE(CreateHardLinkW(wide(dir + "link.txt").c_str(), wide(in).c_str(), NULL));
    // The same file under any of its names.
    for (const std::string &name : {in, dir + "IN.TXT", dir + ".\\in.txt", dir + "link.txt"}) {
        clearReports();
        convertFile(kOwner, wide(in).c_str(), wide(name).c_str(), SEP_UNIX, SEP_WINDOWS);
        EXPECT_EQ(only(kNoCreate), reports) << name;
        EXPECT_EQ("keep\nme\n", readBytes(in)) << name;
        EXPECT_EQ("in.txt link.txt ", folderNames(dir)) << name;
    }
}

TEST_F(ConvertFile, InputHeldOpenForWritingElsewhereCannotBeOpened)
{
    writeBytes(in, "a\nb");
    HANDLE other = CreateFileW(wide(in).c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    convert(SEP_UNIX, SEP_WINDOWS);
    CloseHandle(other);
    EXPECT_EQ(only(kNoOpen), reports);
    EXPECT_FALSE(fileExists(out));
}

TEST_F(ConvertFile, EmptyOrNulFirstInputCreatesNothing)
{
    writeBytes(in, "");
    convert(SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kConvError), reports);
    EXPECT_FALSE(fileExists(out));

    clearReports();
    writeBytes(in, std::string("\0a\nb\n", 5));
    convert(SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kHasNul), reports);
    EXPECT_FALSE(fileExists(out));
}

TEST_F(ConvertFile, FilesOf4GiBOrJustBelowAreRefused)
{
    // 4 GiB has a high size part of 1; 4 GiB - 1 would need a 4 GiB buffer plus its terminator.
    std::vector<uint64_t> sizes = {0x100000000ull, 0xFFFFFFFFull};
    // No 32-bit program has room for a buffer of 3.75 GiB.
    if (sizeof(void *) == 4)
        sizes.push_back(0xF0000000ull);
    for (uint64_t size : sizes) {
        clearReports();
        ASSERT_TRUE(makeSparse(in, size));
        writeBytes(out, "untouched");
        convert(SEP_UNIX, SEP_WINDOWS);
        EXPECT_EQ(only(kTooLarge), reports) << size;
        EXPECT_EQ("untouched", readBytes(out)) << size;
    }
}

TEST_F(ConvertFile, ReadDeliveringLessThanTheSizeIsReported)
{
    std::string sysFile = shortReadFile();
    if (sysFile.empty())
        GTEST_SKIP() << "no /sys/devices/system/cpu/online on this machine";
    convertFile(kOwner, wide(sysFile).c_str(), wide(out).c_str(), SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoRead), reports);
    EXPECT_FALSE(fileExists(out));
}

// A place that the test runner names in an environment variable, as a Windows path.
std::string runnerPath(const char *var)
{
    const char *value = getenv(var);
    return value ? windowsPath(value) : std::string();
}

TEST_F(ConvertFile, DevicesAndPipesAreWrittenDirectly)
{
    writeBytes(in, "a\nb\n");
    convertFile(kOwner, wide(in).c_str(), L"NUL", SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kSuccess), reports);
    // What goes into a pipe comes out at its other end.
    clearReports();
    std::string pipe;
    HANDLE server = makeSizelessPipe(&pipe);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    convertFile(kOwner, wide(in).c_str(), wide(pipe).c_str(), SEP_UNIX, SEP_WINDOWS);
    char got[16] = "";
    DWORD n = 0;
    ReadFile(server, got, sizeof(got), &n, NULL);
    CloseHandle(server);
    EXPECT_EQ(only(kSuccess), reports);
    EXPECT_EQ("a\r\nb\r\n", std::string(got, n));
    EXPECT_EQ("in.txt ", folderNames(dir));

    // The test runner makes a full device of our own (mknod c 1 7, as root): its writes fail
    // with "no space left", and a fault that deleted it would not take the machine's.
    std::string full = runnerPath("PELLMARK_FULL_DEVICE");
    if (full.empty() || !deviceExists(full.c_str()))
        GTEST_SKIP() << "no full device made at PELLMARK_FULL_DEVICE (making one needs root)";
    clearReports();
    convertFile(kOwner, wide(in).c_str(), wide(full).c_str(), SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoWrite), reports);
    EXPECT_TRUE(deviceExists(full.c_str())) << "a device must never be deleted";
    std::string devDir = full.substr(0, full.rfind('\\') + 1);
    EXPECT_EQ(std::string::npos, folderNames(devDir).find("~Pellmark")) << "nothing is left beside it";
}

TEST_F(ConvertFile, ShortWriteOnAFullDiskLosesNothing)
{
    // The test runner mounts a 64 KiB tmpfs here when the machine allows it.
    std::string tinyDir = runnerPath("PELLMARK_TINY_DIR") + "\\";
    if (!fileExists(tinyDir + "mounted"))
        GTEST_SKIP() << "no 64 KiB tmpfs mounted at PELLMARK_TINY_DIR (mounting needs root)";
    std::string folder = tinyDir + "out-" + std::to_string(GetCurrentProcessId()) + "\\";
    ASSERT_TRUE(CreateDirectoryW(wide(folder).c_str(), NULL));
    std::string target = folder + "out.txt";
    std::string text;
    for (int i = 0; i < 14100; i++)
        text += "line\n";
    writeBytes(in, text);
    convertFile(kOwner, wide(in).c_str(), wide(target).c_str(), SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoWrite), reports);
    EXPECT_EQ("", folderNames(folder)) << "no truncated file";

    // An earlier result there is what the user asked to replace, not to lose.
    clearReports();
    const std::string earlier(39000, 'e');
    writeBytes(target, earlier);
    convertFile(kOwner, wide(in).c_str(), wide(target).c_str(), SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kNoWrite), reports);
    EXPECT_TRUE(readBytes(target) == earlier) << "the earlier result was not kept byte for byte";
    EXPECT_EQ("out.txt ", folderNames(folder));
    removeTree(folder);
}

// Only a large-address-aware 32-bit process has buffers above 2 GiB, where a pointer or a
// size taken as a signed 32-bit number turns negative.
TEST_F(ConvertFile, BuffersAbove2GiBConvertAndDetectExactly)
{
    if (sizeof(void *) != 4)
        GTEST_SKIP() << "a 64-bit process has no 2 GiB boundary";
    // Reserve every free block below 2 GiB, so that whatever is allocated next lies above.
    std::vector<void *> held;
    MEMORY_BASIC_INFORMATION mbi;
    for (uintptr_t at = 0x10000; at < 0x80000000u && VirtualQuery((void *)at, &mbi, sizeof(mbi)); ) {
        uintptr_t base = (uintptr_t)mbi.BaseAddress, end = base + mbi.RegionSize;
        if (end > 0x80000000u)
            end = 0x80000000u;
        uintptr_t from = (base + 0xFFFF) & ~(uintptr_t)0xFFFF;
        if (mbi.State == MEM_FREE && from < end) {
            void *r = VirtualAlloc((void *)from, end - from, MEM_RESERVE, PAGE_NOACCESS);
            if (r != NULL)
                held.push_back(r);
        }
        at = base + mbi.RegionSize;
    }
    void *probe = malloc(4 << 20);
    ASSERT_GE((uintptr_t)probe, 0x80000000u) << "not large-address-aware, or the space was not taken";
    free(probe);

    std::string text, want;
    for (int i = 0; i < 200000; i++) {
        text += "line " + std::to_string(i) + "\n";
        want += "line " + std::to_string(i) + "\r\n";
    }
    writeBytes(in, text);
    EXPECT_EQ(FileFormat::Unix, detectFormat(wide(in).c_str()));
    convert(SEP_UNIX, SEP_WINDOWS);
    EXPECT_EQ(only(kSuccess), reports);
    EXPECT_TRUE(readBytes(out) == want) << "the CR LF result differs";
    EXPECT_EQ(FileFormat::Windows, detectFormat(wide(out).c_str()));

    for (void *r : held)
        VirtualFree(r, 0, MEM_RELEASE);
}

} // namespace
