// Runs every test program of the bundle it is part of, on the Windows it runs on, as
// run-tests.cmd starts it: the i686 programs and the x86_64 ones, each that the system can
// start, convert_tests again on the plain loops. Says how each went, a line a program with
// what each failed check said and why a test was skipped, ends with "N passed, N failed,
// N skipped" and exits with 1 when anything failed. Installs nothing, needs no administrator,
// and leaves nothing behind: what the programs write goes to a folder under %TEMP%, removed
// at the end.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <string>

// A program may take long on a slow or busy machine; one that hangs is ended after this.
static const DWORD kProgramMs = 40 * 60 * 1000;

static const struct {
    const char *name, *label;
    bool plain;  // on the plain loops alone
} programs[] = {
    {"report_tests", "report_tests", false}, {"convert_tests", "convert_tests", false},
    {"convert_tests", "convert_tests_plain", true}, {"detect_tests", "detect_tests", false},
    {"dialog_tests", "dialog_tests", false}, {"app_tests", "app_tests", false},
};

static int passed, failed, skipped;

static std::string readAll(const std::string &path)
{
    std::string all;
    FILE *f = fopen(path.c_str(), "rb");
    if (f == NULL)
        return all;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        all.append(buf, n);
    fclose(f);
    return all;
}

// The value of attribute name in the tag that begins at tag, or "".
static std::string attr(const std::string &xml, size_t tag, const char *name)
{
    size_t end = xml.find('>', tag), at = xml.find(std::string(" ") + name + "=\"", tag);
    if (at == std::string::npos || at > end)
        return "";
    at += strlen(name) + 3;
    std::string v = xml.substr(at, xml.find('"', at) - at), plain;
    static const char *const entities[][2] = {{"&#x0A;", "\n"}, {"&quot;", "\""}, {"&apos;", "'"},
                                              {"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
    for (size_t i = 0; i < v.size(); i++) {
        const char *const *e = NULL;
        for (const auto &entity : entities)
            e = e == NULL && v.compare(i, strlen(entity[0]), entity[0]) == 0 ? entity : e;
        plain += e != NULL ? e[1] : v.substr(i, 1);
        i += e != NULL ? strlen(e[0]) - 1 : 0;
    }
    return plain;
}

// Counts one program's results from GoogleTest's XML, and says which failed and why any
// was skipped. Returns the number that failed.
static int countResults(const std::string &xml, std::string *said)
{
    int p = 0, f = 0, s = 0;
    for (size_t at = xml.find("<testcase "); at != std::string::npos; at = xml.find("<testcase ", at + 1)) {
        size_t next = xml.find("<testcase ", at + 1);
        std::string body = xml.substr(at, next == std::string::npos ? std::string::npos : next - at);
        std::string name = attr(xml, at, "classname") + "." + attr(xml, at, "name");
        size_t skip = body.find("<skipped"), fail = body.find("<failure");
        if (fail != std::string::npos) {
            f++;
            *said += "      failed: " + name + "\n";
            // What each failed check says, its lines indented, the first few of each.
            for (; fail != std::string::npos; fail = body.find("<failure", fail + 1)) {
                std::string why = attr(body, fail, "message") + "\n";
                for (size_t l = 0, end, n = 0; n < 12 && (end = why.find('\n', l)) != std::string::npos; l = end + 1, n++)
                    *said += "        " + why.substr(l, end - l) + "\n";
            }
        } else if (skip != std::string::npos || attr(xml, at, "result") == "skipped") {
            s++;
            std::string why = skip != std::string::npos ? attr(body, skip, "message") : "";
            for (char &c : why)
                c = c == '\n' ? ' ' : c;
            *said += "      skipped: " + name + (why.empty() ? "" : ": " + why) + "\n";
        } else {
            p++;
        }
    }
    passed += p;
    failed += f;
    skipped += s;
    *said = " " + std::to_string(p) + " passed, " + std::to_string(f) + " failed, " + std::to_string(s) +
            " skipped\n" + *said;
    return f;
}

// Runs line, PELLMARK_PLAIN set when plain, its output to out (a file) or else to nothing:
// what a program says of its tests is in its XML, and a handle given to it would be kept by
// whatever it starts (Wine's desktop process), and its file could not be removed. Returns the
// exit code, or sets *err to why it could not start (and returns -1).
static long run(const std::string &line, const char *out, bool plain, DWORD *err)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE to = CreateFileA(out != NULL ? out : "NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                            out != NULL ? CREATE_ALWAYS : OPEN_EXISTING, 0, NULL);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = si.hStdError = to;
    PROCESS_INFORMATION pi;
    std::string cmd = line;
    SetEnvironmentVariableA("PELLMARK_PLAIN", plain ? "1" : NULL);
    BOOL started = CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    *err = started ? 0 : GetLastError();
    SetEnvironmentVariableA("PELLMARK_PLAIN", NULL);
    CloseHandle(to);
    if (!started)
        return -1;
    DWORD code = 0;
    if (WaitForSingleObject(pi.hProcess, kProgramMs) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, INFINITE);
        code = 0xDEAD;
    } else {
        GetExitCodeProcess(pi.hProcess, &code);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return (long)code;
}

static void removeTree(const std::string &dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName, path = dir + "\\" + name;
            if (name == "." || name == "..")
                continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &fd));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

// Runs the programs of one architecture from folder dir, their results to work.
static void runArch(const char *arch, const std::string &dir, const std::string &work)
{
    const size_t count = sizeof(programs) / sizeof(programs[0]);
    // Whether this system starts its programs at all: one lists its tests. It shows no window.
    DWORD err = 0;
    std::string probe = work + "\\" + arch + "-probe.txt";
    long code = run("\"" + dir + "\\report_tests.exe\" --gtest_list_tests", probe.c_str(), false, &err);
    if (code != 0 || readAll(probe).find("ShowReport") == std::string::npos) {
        printf("%s: not run, %u programs skipped: this system cannot start %s programs (%s %lu)\n", arch, (unsigned)count,
               arch, code == -1 ? "error" : "one printed nothing, exit code", code == -1 ? err : (unsigned long)code);
        skipped += (int)count;
        return;
    }
    for (const auto &p : programs) {
        std::string xml = work + "\\" + arch + "-" + p.label + ".xml";
        code = run("\"" + dir + "\\" + p.name + ".exe\" --gtest_output=xml:" + xml, NULL, p.plain, &err);
        std::string said, results = readAll(xml);
        int bad = results.empty() ? 0 : countResults(results, &said);
        if (results.empty() || (code != 0 && bad == 0)) {
            failed++;
            said += "      failed: the program " +
                    (code == -1 ? "did not start, error " + std::to_string(err) : "ended with " + std::to_string(code)) +
                    (results.empty() ? ", with no results" : "") + "\n";
        }
        printf("%s %s:%s", arch, p.label, said.c_str());
        fflush(stdout);
    }
}

int main()
{
    char self[MAX_PATH], temp[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string bundle(self, n);
    bundle = bundle.substr(0, bundle.rfind('\\'));
    bundle = bundle.substr(0, bundle.rfind('\\'));
    GetTempPathA(MAX_PATH, temp);
    std::string work;
    for (unsigned k = GetTickCount() ^ GetCurrentProcessId();; k++) {
        work = std::string(temp) + "pellmark-tests-" + std::to_string(k);
        if (CreateDirectoryA(work.c_str(), NULL))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            printf("cannot make a folder under %s\n0 passed, 1 failed, 0 skipped\n", temp);
            return 1;
        }
    }
    printf("Pellmark's tests, from %s\n", bundle.c_str());
    fflush(stdout);
    runArch("i686", bundle + "\\i686", work);
    runArch("x86_64", bundle + "\\x86_64", work);
    removeTree(work);
    printf("\n%d passed, %d failed, %d skipped\n", passed, failed, skipped);
    return failed > 0;
}
