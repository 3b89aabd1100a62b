// zlib itself, loaded at run time, as the judge of the engine's deflate data
// sets: whatever library the engine deflates and inflates with, its streams
// must be ones zlib reads, and the streams zlib wrote for every image made
// so far must be ones the engine reads.
#ifndef TESTS_SUPPORT_ZLIB_RAW_H
#define TESTS_SUPPORT_ZLIB_RAW_H

#include <dlfcn.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace testsupport {

class ZlibRaw {
public:
    using Bytes = std::vector<uint8_t>;

    ZlibRaw()
    {
        m_library = dlopen("libz.so.1", RTLD_NOW | RTLD_LOCAL);
        if (m_library == nullptr)
            return;
        m_inflateInit = reinterpret_cast<decltype(&::inflateInit2_)>(dlsym(m_library, "inflateInit2_"));
        m_inflate = reinterpret_cast<decltype(&::inflate)>(dlsym(m_library, "inflate"));
        m_inflateEnd = reinterpret_cast<decltype(&::inflateEnd)>(dlsym(m_library, "inflateEnd"));
        m_deflateInit = reinterpret_cast<decltype(&::deflateInit2_)>(dlsym(m_library, "deflateInit2_"));
        m_deflate = reinterpret_cast<decltype(&::deflate)>(dlsym(m_library, "deflate"));
        m_deflateEnd = reinterpret_cast<decltype(&::deflateEnd)>(dlsym(m_library, "deflateEnd"));
        m_setDictionary =
            reinterpret_cast<decltype(&::deflateSetDictionary)>(dlsym(m_library, "deflateSetDictionary"));
    }
    ~ZlibRaw()
    {
        if (m_library != nullptr)
            dlclose(m_library);
    }
    ZlibRaw(const ZlibRaw&) = delete;
    ZlibRaw& operator=(const ZlibRaw&) = delete;

    bool Loaded() const
    {
        return m_inflateInit && m_inflate && m_inflateEnd && m_deflateInit && m_deflate && m_deflateEnd &&
               m_setDictionary;
    }

    // True when stored is exactly one complete raw deflate stream.
    bool Inflate(const Bytes& stored, Bytes* plain) const
    {
        z_stream stream{};
        if (m_inflateInit(&stream, -15, ZLIB_VERSION, sizeof(z_stream)) != Z_OK)
            return false;
        Bytes in = stored;
        stream.next_in = in.data();
        stream.avail_in = static_cast<uInt>(in.size());
        int result = Z_OK;
        Bytes window(65536);
        while (result == Z_OK) {
            stream.next_out = window.data();
            stream.avail_out = static_cast<uInt>(window.size());
            result = m_inflate(&stream, Z_NO_FLUSH);
            plain->insert(plain->end(), window.data(), window.data() + (window.size() - stream.avail_out));
        }
        const bool complete = result == Z_STREAM_END && stream.avail_in == 0;
        m_inflateEnd(&stream);
        return complete;
    }

    // A data set as zlib stored it before: `level` (1 for type 2, -1 for
    // zlib's default, type 3), one stream in a single pass when blockBytes
    // is 0, else the backup's parallel layout (blocks of blockBytes, each
    // primed with the previous 32 KiB and ended by a sync flush, the last
    // one ending the stream). Empty when zlib failed.
    Bytes Deflate(const Bytes& plain, int level, size_t blockBytes) const
    {
        Bytes stored;
        const size_t block = blockBytes == 0 ? std::max<size_t>(plain.size(), 1) : blockBytes;
        size_t done = 0;
        do {
            const size_t length = std::min(block, plain.size() - done);
            const bool last = done + length == plain.size();
            const size_t dictionary = std::min<size_t>(done, 0x8000);
            z_stream stream{};
            if (m_deflateInit(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY, ZLIB_VERSION,
                              sizeof(z_stream)) != Z_OK)
                return {};
            bool ok = dictionary == 0 || m_setDictionary(&stream, plain.data() + done - dictionary,
                                                         static_cast<uInt>(dictionary)) == Z_OK;
            Bytes out(length + length / 2 + 1024);
            stream.next_in = const_cast<Bytef*>(plain.data() + done);
            stream.avail_in = static_cast<uInt>(length);
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            const int result = ok ? m_deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH) : Z_STREAM_ERROR;
            ok = last ? result == Z_STREAM_END
                      : result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
            stored.insert(stored.end(), out.data(), out.data() + (out.size() - stream.avail_out));
            m_deflateEnd(&stream);
            if (!ok)
                return {};
            done += length;
        } while (done < plain.size());
        return stored;
    }

private:
    void* m_library = nullptr;
    decltype(&::inflateInit2_) m_inflateInit = nullptr;
    decltype(&::inflate) m_inflate = nullptr;
    decltype(&::inflateEnd) m_inflateEnd = nullptr;
    decltype(&::deflateInit2_) m_deflateInit = nullptr;
    decltype(&::deflate) m_deflate = nullptr;
    decltype(&::deflateEnd) m_deflateEnd = nullptr;
    decltype(&::deflateSetDictionary) m_setDictionary = nullptr;
};

}  // namespace testsupport

#endif
