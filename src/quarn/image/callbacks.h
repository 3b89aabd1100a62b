// Null-safe calls into the caller's callback record, for the backup and the
// restore side alike. An empty slot is a no-op: a missing onProgress never
// cancels and a missing onNextFile gives up.
#ifndef QUARN_IMAGE_CALLBACKS_H
#define QUARN_IMAGE_CALLBACKS_H

#include "quarn/api/quarn.h"

namespace Callbacks {

// Non-zero: the caller cancels.
inline int Progress(const tagCallBackFunc& cb, int step)
{
    return cb.onProgress != nullptr ? cb.onProgress(step, cb.context) : 0;
}

inline void TotalBytes(const tagCallBackFunc& cb, uint64_t total)
{
    if (cb.onTotalBytes != nullptr)
        cb.onTotalBytes(total, cb.context);
}

// 0: try again with path as the caller left it; non-zero: give up.
inline int NextFile(const tagCallBackFunc& cb, QString& path)
{
    return cb.onNextFile != nullptr ? cb.onNextFile(path, cb.context) : 1;
}

inline void BytesDone(const tagCallBackFunc& cb, uint64_t bytes)
{
    if (cb.onBytesDone != nullptr)
        cb.onBytesDone(bytes, cb.context);
}

inline void Name(const tagCallBackFunc& cb, const QString& name)
{
    if (cb.onName != nullptr)
        cb.onName(name, cb.context);
}

inline void Message(const tagCallBackFunc& cb, const QString& text)
{
    if (cb.onMessage != nullptr)
        cb.onMessage(text, cb.context);
}

inline void State(const tagCallBackFunc& cb, const QString& state)
{
    if (cb.onState != nullptr)
        cb.onState(state, cb.context);
}

}  // namespace Callbacks

#endif
