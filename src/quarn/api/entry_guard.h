// The rule every entry point of the engine keeps: no exception leaves it.
// Whatever a job throws (a failed allocation, a fault of the engine, a
// callback of the caller that throws) ends the job with a result code and
// a trace line that names it.
#ifndef QUARN_ENTRY_GUARD_H
#define QUARN_ENTRY_GUARD_H

#include "quarn.h"

#include <exception>
#include <new>

template <typename Work>
int GuardedEntry(const char* name, Work work) noexcept
{
    try {
        return work();
    } catch (const std::bad_alloc&) {
        DEBUG_TRACE("Allocate memory failed!\n");
        return ERR_NO_MEMORY;
    } catch (const std::exception& error) {
        DEBUG_TRACE("%s stopped on an unexpected error: %s\n", name, error.what());
        return ERR_INTERNAL;
    } catch (...) {
        DEBUG_TRACE("%s stopped on an unexpected error\n", name);
        return ERR_INTERNAL;
    }
}

#endif
