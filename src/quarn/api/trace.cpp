#include "quarn/api/quarn.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct TraceTarget {
    std::mutex lock;
    QuarnTraceSink sink = nullptr;
    void* context = nullptr;
};

TraceTarget& traceTarget()
{
    static TraceTarget target;
    return target;
}

}  // namespace

void SetTraceSink(QuarnTraceSink sink, void* context)
{
    TraceTarget& target = traceTarget();
    std::lock_guard<std::mutex> guard(target.lock);
    target.sink = sink;
    target.context = context;
}

// Never throws: the entry points trace while they turn an exception into
// a result code. A text too long for the stack buffer is cut when no heap
// is left for it.
void DEBUG_TRACE(const char* format, ...)
{
    char shortText[1024];
    std::vector<char> longText;
    const char* text = shortText;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(shortText, sizeof shortText, format, args);
    va_end(args);
    if (length < 0) {
        shortText[0] = '\0';
    } else if (static_cast<size_t>(length) >= sizeof shortText) {
        try {
            longText.resize(static_cast<size_t>(length) + 1);
            std::vsnprintf(longText.data(), longText.size(), format, again);
            text = longText.data();
        } catch (...) {
        }
    }
    va_end(again);

    // One text at a time, whichever thread of a job writes it: the lines of
    // two threads never run into each other.
    try {
        TraceTarget& target = traceTarget();
        std::lock_guard<std::mutex> guard(target.lock);
        if (target.sink)
            target.sink(text, target.context);
        else
            std::fputs(text, stderr);
    } catch (...) {
    }
}

std::string SplitFileName(const std::string& path)
{
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string GetFileNamePath(const std::string& path)
{
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
