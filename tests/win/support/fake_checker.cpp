// Stands in for the disk checker and other programs in tests: writes its
// arguments and everything it reads from its input into the file named by
// FAKE_CHECKER_RECORD ("args: ...\ninput: ..."), its process id into the
// file named by FAKE_CHECKER_PID_FILE, writes FAKE_CHECKER_PRINT
// (that many times when FAKE_CHECKER_PRINT_TIMES is set) to its standard
// output, sleeps FAKE_CHECKER_SLEEP_MS milliseconds, and exits with
// FAKE_CHECKER_STATUS (0 when unset).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const char* record = std::getenv("FAKE_CHECKER_RECORD");
    if (record && *record) {
        std::string text = "args:";
        for (int i = 1; i < argc; ++i)
            text += std::string(" ") + argv[i];
        text += "\ninput: ";
        char buffer[256];
        std::size_t n;
        // Programs started without redirected input would wait here forever
        // on a terminal; the tests always give one or none.
        if (std::getenv("FAKE_CHECKER_READS_INPUT"))
            while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
                text.append(buffer, n);
        std::FILE* out = std::fopen(record, "wb");
        if (out) {
            std::fwrite(text.data(), 1, text.size(), out);
            std::fclose(out);
        }
    }
    const char* pidFile = std::getenv("FAKE_CHECKER_PID_FILE");
    if (pidFile && *pidFile) {
#ifdef _WIN32
        const long pid = _getpid();
#else
        const long pid = getpid();
#endif
        if (std::FILE* out = std::fopen(pidFile, "wb")) {
            std::fprintf(out, "%ld", pid);
            std::fclose(out);
        }
    }
    const char* print = std::getenv("FAKE_CHECKER_PRINT");
    const char* times = std::getenv("FAKE_CHECKER_PRINT_TIMES");
    for (int i = 0, n = times ? std::atoi(times) : 1; print && i < n; ++i)
        std::fputs(print, stdout);
    std::fflush(stdout);
    const char* sleepMs = std::getenv("FAKE_CHECKER_SLEEP_MS");
    if (sleepMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleepMs)));
    const char* status = std::getenv("FAKE_CHECKER_STATUS");
    return status ? std::atoi(status) : 0;
}
