// Which deflate library writes and reads the data sets of compression types
// 2 and 3 fastest: zlib, ISA-L (igzip, streaming) and libdeflate (whole
// buffers only) on a corpus of real files plus incompressible bytes.
//
// Every data set is compressed the way the backup's parallel compressor
// cuts it: blocks of 0x20000 plain bytes, each primed with the previous
// 32 KiB of the set as preset dictionary and ended by a sync flush, the last
// one ending the stream. libdeflate can neither take a preset dictionary nor
// flush, so it is shown compressing each whole data set at once, which the
// engine cannot do for sets larger than memory; its figures are for
// comparison. Inflating is measured on zlib's streams (every image written
// so far) and on those of the chosen writers, in 0x8000-byte stored pieces,
// as the restore hands them over, and the bytes are compared with the source.
//
// usage: deflate_libraries_bench [options] <file or folder>...
//   --mib N       plain MiB taken from the files (default 192)
//   --random N    MiB of incompressible bytes added as their own sets (default 32)
//   --rounds N    best of N rounds (default 3)
//   --only TEXT   run only the cases whose "job/library-level" holds TEXT
//                 (for instruction counts under callgrind, with
//                 --toggle-collect='*MeasuredPass*')
// Build it optimised (CMAKE_BUILD_TYPE=Release) for figures that mean something.
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kMiB = 1 << 20;
constexpr size_t kBlock = 0x20000;
constexpr size_t kDictionary = 0x8000;
constexpr size_t kStoredPiece = 0x8000;
constexpr size_t kWindow = 0x8000;
constexpr size_t kMaxSetBytes = 64 * kMiB;

struct Corpus {
    std::vector<Bytes> sets;
    size_t plainBytes = 0;
};

bool ReadFile(const std::string& path, size_t limit, Bytes& out)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    out.resize(limit);
    const size_t got = std::fread(out.data(), 1, limit, file);
    std::fclose(file);
    out.resize(got);
    return got > 0;
}

void Gather(const std::string& path, size_t wanted, Corpus& corpus)
{
    struct stat info {};
    if (corpus.plainBytes >= wanted || lstat(path.c_str(), &info) != 0)
        return;
    if (S_ISREG(info.st_mode)) {
        Bytes bytes;
        const size_t limit =
            std::min({static_cast<size_t>(info.st_size), kMaxSetBytes, wanted - corpus.plainBytes});
        if (limit > 0 && ReadFile(path, limit, bytes)) {
            corpus.plainBytes += bytes.size();
            corpus.sets.push_back(std::move(bytes));
        }
        return;
    }
    if (!S_ISDIR(info.st_mode))
        return;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        Gather(path + "/" + name, wanted, corpus);
}

void AddRandom(size_t bytes, Corpus& corpus)
{
    uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (size_t done = 0; done < bytes; done += 8 * kMiB) {
        Bytes set(std::min(8 * kMiB, bytes - done));
        for (uint8_t& byte : set) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            byte = static_cast<uint8_t>(state >> 24);
        }
        corpus.plainBytes += set.size();
        corpus.sets.push_back(std::move(set));
    }
}

// One deflater: the blocks of one set, each with its dictionary and flush.
class Deflater {
public:
    virtual ~Deflater() = default;
    virtual bool Block(const uint8_t* data, size_t length, const uint8_t* dictionary, size_t dictionaryLength,
                       bool last, Bytes& out) = 0;
};

class ZlibDeflater : public Deflater {
public:
    explicit ZlibDeflater(int level)
    {
        m_ok = deflateInit2(&m_stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~ZlibDeflater() override { deflateEnd(&m_stream); }
    bool Block(const uint8_t* data, size_t length, const uint8_t* dictionary, size_t dictionaryLength,
               bool last, Bytes& out) override
    {
        if (!m_ok || deflateReset(&m_stream) != Z_OK)
            return false;
        if (dictionaryLength > 0 &&
            deflateSetDictionary(&m_stream, dictionary, static_cast<uInt>(dictionaryLength)) != Z_OK)
            return false;
        const size_t start = out.size();
        out.resize(start + deflateBound(&m_stream, length) + 16);
        m_stream.next_in = const_cast<Bytef*>(data);
        m_stream.avail_in = static_cast<uInt>(length);
        m_stream.next_out = out.data() + start;
        m_stream.avail_out = static_cast<uInt>(out.size() - start);
        const int result = deflate(&m_stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        if (last ? result != Z_STREAM_END : (result != Z_OK || m_stream.avail_in != 0))
            return false;
        out.resize(out.size() - m_stream.avail_out);
        return true;
    }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

size_t IsalLevelBuffer(int level)
{
    switch (level) {
    case 1:
        return ISAL_DEF_LVL1_DEFAULT;
    case 2:
        return ISAL_DEF_LVL2_DEFAULT;
    case 3:
        return ISAL_DEF_LVL3_DEFAULT;
    default:
        return 0;
    }
}

class IsalDeflater : public Deflater {
public:
    explicit IsalDeflater(int level) : m_level(level), m_levelBuffer(IsalLevelBuffer(level)) {}
    bool Block(const uint8_t* data, size_t length, const uint8_t* dictionary, size_t dictionaryLength,
               bool last, Bytes& out) override
    {
        isal_deflate_init(&m_stream);
        m_stream.level = static_cast<uint32_t>(m_level);
        m_stream.level_buf = m_levelBuffer.empty() ? nullptr : m_levelBuffer.data();
        m_stream.level_buf_size = static_cast<uint32_t>(m_levelBuffer.size());
        m_stream.gzip_flag = IGZIP_DEFLATE;
        m_stream.flush = SYNC_FLUSH;
        m_stream.end_of_stream = last ? 1 : 0;
        if (dictionaryLength > 0 && isal_deflate_set_dict(&m_stream, const_cast<uint8_t*>(dictionary),
                                                          static_cast<uint32_t>(dictionaryLength)) != COMP_OK)
            return false;
        const size_t start = out.size();
        out.resize(start + length + length / 8 + 1024);
        m_stream.next_in = const_cast<uint8_t*>(data);
        m_stream.avail_in = static_cast<uint32_t>(length);
        size_t produced = start;
        // Output room can run short before the flush or the stream's end is
        // written (the level buffer holds input back): grow and go on.
        const int done = last ? ZSTATE_END : ZSTATE_NEW_HDR;
        while (true) {
            m_stream.next_out = out.data() + produced;
            m_stream.avail_out = static_cast<uint32_t>(out.size() - produced);
            if (isal_deflate(&m_stream) != COMP_OK)
                return false;
            produced = out.size() - m_stream.avail_out;
            if (m_stream.avail_in == 0 && m_stream.internal_state.state == done)
                break;
            if (out.size() - start > 4 * length + 0x10000)
                return false;  // no end in sight
            out.resize(out.size() + length / 2 + 4096);
        }
        out.resize(produced);
        return true;
    }

private:
    isal_zstream m_stream{};
    int m_level;
    Bytes m_levelBuffer;
};

// Deflates one set in blocks; true with the set's whole stream in `out`.
bool DeflateSet(Deflater& deflater, const Bytes& set, Bytes& out)
{
    out.clear();
    size_t done = 0;
    do {
        const size_t length = std::min(kBlock, set.size() - done);
        const size_t dictionaryLength = std::min(kDictionary, done);
        if (!deflater.Block(set.data() + done, length, set.data() + done - dictionaryLength, dictionaryLength,
                            done + length == set.size(), out))
            return false;
        done += length;
    } while (done < set.size());
    return true;
}

// Streaming inflaters fed in stored pieces into a 0x8000-byte window.
bool ZlibInflate(const Bytes& stored, Bytes& plain)
{
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        return false;
    uint8_t window[kWindow];
    int result = Z_OK;
    for (size_t done = 0; done < stored.size() && result != Z_STREAM_END;) {
        const size_t piece = std::min(kStoredPiece, stored.size() - done);
        stream.next_in = const_cast<Bytef*>(stored.data() + done);
        stream.avail_in = static_cast<uInt>(piece);
        do {
            stream.next_out = window;
            stream.avail_out = kWindow;
            result = inflate(&stream, Z_NO_FLUSH);
            if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
                inflateEnd(&stream);
                return false;
            }
            plain.insert(plain.end(), window, window + (kWindow - stream.avail_out));
        } while (stream.avail_out == 0 && result != Z_STREAM_END);
        done += piece - stream.avail_in;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

bool IsalInflate(const Bytes& stored, Bytes& plain)
{
    inflate_state state;
    isal_inflate_init(&state);
    state.crc_flag = ISAL_DEFLATE;
    uint8_t window[kWindow];
    for (size_t done = 0; done < stored.size() && state.block_state != ISAL_BLOCK_FINISH;) {
        const size_t piece = std::min(kStoredPiece, stored.size() - done);
        state.next_in = const_cast<uint8_t*>(stored.data() + done);
        state.avail_in = static_cast<uint32_t>(piece);
        do {
            state.next_out = window;
            state.avail_out = kWindow;
            if (isal_inflate(&state) < 0)
                return false;
            plain.insert(plain.end(), window, window + (kWindow - state.avail_out));
        } while (state.avail_out == 0 && state.block_state != ISAL_BLOCK_FINISH);
        done += piece - state.avail_in;
    }
    return state.block_state == ISAL_BLOCK_FINISH;
}

struct Stats {
    double bestWall = 1e30;
    double bestCpu = 1e30;
    size_t outBytes = 0;
    bool ok = true;
};

double Now(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Kept out of line so that callgrind can count this function alone.
__attribute__((noinline)) void MeasuredPass(const std::function<void()>& pass)
{
    pass();
}

void Time(Stats& stats, int rounds, const std::function<void()>& pass)
{
    for (int round = 0; round < rounds; ++round) {
        const double wall = Now(CLOCK_MONOTONIC);
        const double cpu = Now(CLOCK_THREAD_CPUTIME_ID);
        MeasuredPass(pass);
        stats.bestCpu = std::min(stats.bestCpu, Now(CLOCK_THREAD_CPUTIME_ID) - cpu);
        stats.bestWall = std::min(stats.bestWall, Now(CLOCK_MONOTONIC) - wall);
    }
}

struct Case {
    std::string name;
    std::string job;  // "type 2 backup", ...
    std::function<Stats(const Corpus&, int)> run;
};

Stats RunDeflater(const Corpus& corpus, int rounds, const std::function<std::unique_ptr<Deflater>()>& make)
{
    Stats stats;
    std::unique_ptr<Deflater> deflater = make();
    Bytes out;
    Time(stats, rounds, [&] {
        stats.outBytes = 0;
        for (const Bytes& set : corpus.sets) {
            stats.ok = DeflateSet(*deflater, set, out) && stats.ok;
            stats.outBytes += out.size();
        }
    });
    // Every stream must be standard raw deflate: zlib inflates it back.
    for (const Bytes& set : corpus.sets) {
        Bytes plain;
        stats.ok = DeflateSet(*deflater, set, out) && ZlibInflate(out, plain) && plain == set && stats.ok;
    }
    return stats;
}

Stats RunLibdeflate(const Corpus& corpus, int rounds, int level)
{
    Stats stats;
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    Bytes out;
    Time(stats, rounds, [&] {
        stats.outBytes = 0;
        for (const Bytes& set : corpus.sets) {
            out.resize(libdeflate_deflate_compress_bound(compressor, set.size()));
            const size_t n =
                libdeflate_deflate_compress(compressor, set.data(), set.size(), out.data(), out.size());
            stats.ok = n > 0 && stats.ok;
            stats.outBytes += n;
        }
    });
    libdeflate_free_compressor(compressor);
    return stats;
}

// The stored sets of one writer ("zlib-6", "isal-1", ...), made once each.
const std::vector<Bytes>& StoredBy(const Corpus& corpus, const std::string& writer)
{
    static std::map<std::string, std::vector<Bytes>> stored;
    std::vector<Bytes>& sets = stored[writer];
    if (sets.empty()) {
        const int level = std::atoi(writer.c_str() + writer.find('-') + 1);
        std::unique_ptr<Deflater> deflater(writer.compare(0, 4, "isal") == 0
                                               ? static_cast<Deflater*>(new IsalDeflater(level))
                                               : new ZlibDeflater(level));
        for (const Bytes& set : corpus.sets) {
            sets.emplace_back();
            DeflateSet(*deflater, set, sets.back());
        }
    }
    return sets;
}

Stats RunInflater(const Corpus& corpus, int rounds, const std::string& writer, const std::string& library)
{
    const std::vector<Bytes>& stored = StoredBy(corpus, writer);
    Stats stats;
    libdeflate_decompressor* whole = libdeflate_alloc_decompressor();
    Bytes plain;
    Time(stats, rounds, [&] {
        stats.outBytes = 0;
        for (size_t i = 0; i < stored.size(); ++i) {
            plain.clear();
            bool ok;
            if (library == "zlib") {
                ok = ZlibInflate(stored[i], plain);
            } else if (library == "isal") {
                ok = IsalInflate(stored[i], plain);
            } else {
                // Whole buffer, the plain size known beforehand.
                plain.resize(corpus.sets[i].size());
                size_t got = 0;
                ok = libdeflate_deflate_decompress(whole, stored[i].data(), stored[i].size(), plain.data(),
                                                   plain.size(), &got) == LIBDEFLATE_SUCCESS &&
                     got == plain.size();
            }
            stats.ok = ok && plain == corpus.sets[i] && stats.ok;
            stats.outBytes += stored[i].size();
        }
    });
    libdeflate_free_decompressor(whole);
    return stats;
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    auto deflateCase = [&](const std::string& job, const std::string& name,
                           std::function<std::unique_ptr<Deflater>()> make) {
        cases.push_back({name, job, [make](const Corpus& c, int r) { return RunDeflater(c, r, make); }});
    };
    for (const char* job : {"type 2 backup", "type 3 backup"}) {
        const std::vector<int> zlibLevels = std::strcmp(job, "type 2 backup") == 0
                                                ? std::vector<int>{1, 6}
                                                : std::vector<int>{1, 2, 3, 4, 5, 6};
        for (int level : zlibLevels)
            deflateCase(job, "zlib-" + std::to_string(level),
                        [level] { return std::unique_ptr<Deflater>(new ZlibDeflater(level)); });
        for (int level = 0; level <= 3; ++level)
            deflateCase(job, "isal-" + std::to_string(level),
                        [level] { return std::unique_ptr<Deflater>(new IsalDeflater(level)); });
        for (int level : {1, 3, 6})
            cases.push_back({"libdeflate-" + std::to_string(level) + "-whole", job,
                             [level](const Corpus& c, int r) { return RunLibdeflate(c, r, level); }});
    }
    // Each type's sets as the earlier writer stored them and as the chosen one does.
    const std::pair<const char*, const char*> restores[] = {{"type 2 restore", "zlib-1"},
                                                            {"type 2 restore", "isal-1"},
                                                            {"type 3 restore", "zlib-6"},
                                                            {"type 3 restore", "zlib-5"}};
    for (const auto& restore : restores) {
        const std::string writer = restore.second;
        for (const char* library : {"zlib", "isal", "libdeflate"}) {
            std::string name = std::string(library) + "-inflate" +
                               (std::strcmp(library, "libdeflate") == 0 ? "-whole" : "") + ":" + writer;
            cases.push_back({name, restore.first, [writer, library](const Corpus& c, int r) {
                                 return RunInflater(c, r, writer, library);
                             }});
        }
    }
    return cases;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t mib = 192;
    size_t randomMib = 32;
    int rounds = 3;
    std::string only;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--mib" || arg == "--random" || arg == "--rounds" || arg == "--only") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--only")
                only = value;
            else if (arg == "--mib")
                mib = std::strtoul(value.c_str(), nullptr, 10);
            else if (arg == "--random")
                randomMib = std::strtoul(value.c_str(), nullptr, 10);
            else
                rounds = std::max(1, std::atoi(value.c_str()));
        } else {
            paths.push_back(arg);
        }
    }
    if (paths.empty()) {
        std::fprintf(stderr,
                     "usage: %s [--mib N] [--random N] [--rounds N] [--only CASE] <file or folder>...\n",
                     argv[0]);
        return 2;
    }
    Corpus corpus;
    // An equal share of the corpus from each path given.
    for (size_t i = 0; i < paths.size(); ++i)
        Gather(paths[i], mib * kMiB * (i + 1) / paths.size(), corpus);
    const size_t realBytes = corpus.plainBytes;
    AddRandom(randomMib * kMiB, corpus);
    std::printf("corpus: %zu data sets, %.1f MiB of files + %.1f MiB incompressible; best of %d rounds\n",
                corpus.sets.size(), static_cast<double>(realBytes) / kMiB,
                static_cast<double>(corpus.plainBytes - realBytes) / kMiB, rounds);
    std::printf("%-15s %-30s %12s %8s %10s %10s %9s %4s\n", "job", "library-level", "stored MiB", "ratio",
                "wall MiB/s", "cpu MiB/s", "vs zlib", "ok");
    std::string lastJob;
    double zlibSize = 0;
    bool allOk = true;
    for (const Case& c : AllCases()) {
        if (!only.empty() && (c.job + "/" + c.name).find(only) == std::string::npos)
            continue;
        const Stats stats = c.run(corpus, rounds);
        allOk = allOk && stats.ok;
        const bool backup = c.job.find("backup") != std::string::npos;
        // Today's writer: zlib level 1 for type 2, level 6 (the default) for type 3.
        const std::string today = c.job == "type 2 backup" ? "zlib-1" : "zlib-6";
        if (c.job != lastJob) {
            lastJob = c.job;
            zlibSize = 0;
        }
        if (backup && c.name == today)
            zlibSize = static_cast<double>(stats.outBytes);
        const double plainMib = static_cast<double>(corpus.plainBytes) / kMiB;
        char versus[16] = "";
        if (backup && zlibSize > 0)
            std::snprintf(versus, sizeof versus, "%+.1f%%",
                          (static_cast<double>(stats.outBytes) / zlibSize - 1) * 100);
        std::printf("%-15s %-30s %12.1f %8.3f %10.1f %10.1f %9s %4s\n", c.job.c_str(), c.name.c_str(),
                    static_cast<double>(stats.outBytes) / kMiB,
                    static_cast<double>(stats.outBytes) / static_cast<double>(corpus.plainBytes),
                    plainMib / stats.bestWall, plainMib / stats.bestCpu, versus, stats.ok ? "yes" : "NO");
        std::fflush(stdout);
    }
    return allOk ? 0 : 1;
}
