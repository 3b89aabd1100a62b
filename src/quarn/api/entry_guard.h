// The rule every entry point of the engine keeps: no exception leaves it.
// Whatever a job throws (a failed allocation, a fault of the engine, a
// callback of the caller that throws) ends the job with a result code and
// a trace line that names it.
#ifndef QUARN_ENTRY_GUARD_H
#define QUARN_ENTRY_GUARD_H

#include "quarn/api/quarn.h"

#include <exception>
#include <new>

// The result type is the entry point's own (int, or unsigned long for the
// deleted-file recovery's).
template <typename Work>
auto GuardedEntry(const char* name, Work work) noexcept -> decltype(work())
{
    using Result = decltype(work());
    try {
        return work();
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return static_cast<Result>(ERR_NO_MEMORY);
    } catch (const std::exception& error) {
        DEBUG_TRACE("%s stopped on an unexpected error: %s\n", name, error.what());
        return static_cast<Result>(ERR_INTERNAL);
    } catch (...) {
        DEBUG_TRACE("%s stopped on an unexpected error\n", name);
        return static_cast<Result>(ERR_INTERNAL);
    }
}

#endif
