// Throughput and ratio of the image coders on a mixed corpus, beside the
// lz4 and gzip command-line programs at level 1 on the same bytes.
// Usage: compress_bench [MiB of corpus, at least 64]
// Build it optimised (CMAKE_BUILD_TYPE=Release, no sanitizers) for figures
// that mean something.
#include "quarn/compression/compress_data.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr size_t kMiB = 1 << 20;
constexpr size_t kChunk = 0x20000;     // plain bytes per writer call
constexpr size_t kDataSet = 4 * kMiB;  // one stream per data set, as for a large file
constexpr int kRepeats = 3;            // best of

struct Rng {
    uint64_t state;
    uint32_t Next()
    {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }
};

// English-like text: words drawn with a skewed frequency, in lines.
Bytes MakeText(size_t size, Rng& rng)
{
    static const char* const kWords[] = {"the",
                                         "of",
                                         "and",
                                         "to",
                                         "in",
                                         "a",
                                         "is",
                                         "that",
                                         "for",
                                         "it",
                                         "as",
                                         "was",
                                         "with",
                                         "be",
                                         "by",
                                         "on",
                                         "not",
                                         "he",
                                         "this",
                                         "are",
                                         "or",
                                         "his",
                                         "from",
                                         "at",
                                         "which",
                                         "but",
                                         "have",
                                         "an",
                                         "had",
                                         "they",
                                         "you",
                                         "were",
                                         "their",
                                         "one",
                                         "all",
                                         "we",
                                         "can",
                                         "her",
                                         "has",
                                         "there",
                                         "been",
                                         "if",
                                         "more",
                                         "when",
                                         "will",
                                         "would",
                                         "who",
                                         "so",
                                         "no",
                                         "partition",
                                         "volume",
                                         "cluster",
                                         "restore",
                                         "backup",
                                         "sector",
                                         "record",
                                         "bitmap",
                                         "image",
                                         "compression",
                                         "directory",
                                         "attribute",
                                         "allocation",
                                         "journal",
                                         "lighthouse",
                                         "harbour",
                                         "keeper",
                                         "evening",
                                         "stairs",
                                         "narrow",
                                         "polished",
                                         "window",
                                         "morning",
                                         "configuration",
                                         "interface",
                                         "description",
                                         "throughput",
                                         "northern",
                                         "mountain",
                                         "river",
                                         "yellow"};
    const size_t count = sizeof kWords / sizeof kWords[0];
    Bytes text;
    text.reserve(size + 64);
    size_t line = 0;
    while (text.size() < size) {
        uint32_t r = rng.Next();
        size_t pick = (size_t(r & 0xFFFF) * (r >> 16 & 0xFF)) % count;  // small indices more often
        const char* word = kWords[pick];
        text.insert(text.end(), word, word + std::strlen(word));
        line += std::strlen(word) + 1;
        if (line > 70 + (r >> 24) % 10) {
            text.push_back((r & 3) == 0 ? '.' : ',');
            text.push_back('\n');
            line = 0;
        } else {
            text.push_back(' ');
        }
    }
    text.resize(size);
    return text;
}

// Executables and libraries of this machine; structured tables stand in
// when there are not enough of them.
Bytes MakeBinaries(size_t size, Rng& rng)
{
    Bytes bytes;
    bytes.reserve(size);
    for (const char* dir : {"/usr/bin", "/usr/lib/x86_64-linux-gnu", "/usr/lib"}) {
        DIR* d = opendir(dir);
        if (d == nullptr)
            continue;
        std::vector<std::string> names;
        while (dirent* e = readdir(d))
            names.push_back(std::string(dir) + "/" + e->d_name);
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            struct stat st;
            if (bytes.size() >= size || stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
                st.st_size < 4096)
                continue;
            FILE* f = std::fopen(name.c_str(), "rb");
            if (f == nullptr)
                continue;
            unsigned char magic[4] = {};
            if (std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic,
                                                               "\x7f"
                                                               "ELF",
                                                               4) == 0) {
                std::fseek(f, 0, SEEK_SET);
                size_t want = std::min(size - bytes.size(), static_cast<size_t>(st.st_size));
                size_t at = bytes.size();
                bytes.resize(at + want);
                bytes.resize(at + std::fread(bytes.data() + at, 1, want, f));
            }
            std::fclose(f);
        }
    }
    while (bytes.size() < size) {
        uint32_t r = rng.Next();
        uint32_t record[4] = {r & 0xFFF, 0x00400000u + (r & 0xFFFF) * 16, r >> 20, 0};
        const auto* p = reinterpret_cast<const uint8_t*>(record);
        bytes.insert(bytes.end(), p, p + sizeof record);
    }
    bytes.resize(size);
    return bytes;
}

Bytes MakeRandom(size_t size, Rng& rng)
{
    Bytes bytes(size);
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t r = rng.Next();
        std::memcpy(&bytes[i], &r, 4);
    }
    return bytes;
}

// Text 3/8, binaries 2/8, zeros 1/8, random 2/8, laid out in 1 MiB
// stretches the way files and free space mix on a disk.
Bytes MakeCorpus(size_t size)
{
    Rng rng{12345};
    const size_t eighth = size / 8;
    Bytes text = MakeText(3 * eighth, rng);
    Bytes binaries = MakeBinaries(2 * eighth, rng);
    Bytes random = MakeRandom(2 * eighth, rng);
    Bytes zeros(size - 7 * eighth, 0);
    std::vector<const Bytes*> kinds = {&text, &binaries, &zeros, &random};
    std::vector<size_t> taken(kinds.size(), 0);
    Bytes corpus;
    corpus.reserve(size);
    for (size_t k = 0; corpus.size() < size; ++k) {
        size_t which = rng.Next() % kinds.size();
        while (taken[which] >= kinds[which]->size())
            which = (which + 1) % kinds.size();
        size_t n = std::min(kMiB, kinds[which]->size() - taken[which]);
        corpus.insert(corpus.end(), kinds[which]->begin() + taken[which],
                      kinds[which]->begin() + taken[which] + n);
        taken[which] += n;
    }
    return corpus;
}

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

bool Drain(CCompressData& coder, bool compress, unsigned char* data, size_t length, bool final, Bytes& out)
{
    bool more = false;
    bool first = true;
    do {
        unsigned char* piece = nullptr;
        unsigned long pieceLength = 0;
        unsigned char* in = first ? data : nullptr;
        unsigned inLength = first ? static_cast<unsigned>(length) : 0;
        int result = compress ? coder.Compress(in, inLength, final, &piece, &pieceLength, more)
                              : coder.Decompress(in, inLength, final, &piece, &pieceLength, more);
        if (result != 0)
            return false;
        first = false;
        out.insert(out.end(), piece, piece + pieceLength);
    } while (more);
    return true;
}

// Runs the writer's calling order over every data set; stored gets the
// streams one after another, sizes the length of each.
bool CompressCorpus(unsigned char type, Bytes& corpus, Bytes& stored, std::vector<size_t>& sizes)
{
    CCompressData coder(type);
    stored.clear();
    sizes.clear();
    for (size_t set = 0; set < corpus.size(); set += kDataSet) {
        const size_t setEnd = std::min(corpus.size(), set + kDataSet);
        const size_t before = stored.size();
        for (size_t at = set; at < setEnd; at += kChunk)
            if (!Drain(coder, true, corpus.data() + at, std::min(kChunk, setEnd - at), false, stored))
                return false;
        if (!Drain(coder, true, nullptr, 0, true, stored))
            return false;
        sizes.push_back(stored.size() - before);
    }
    return true;
}

bool DecompressCorpus(unsigned char type, Bytes& stored, const std::vector<size_t>& sizes, Bytes& plain)
{
    CCompressData coder(type);
    plain.clear();
    size_t at = 0;
    for (size_t size : sizes) {
        for (size_t done = 0; done < size; done += kChunk)
            if (!Drain(coder, false, stored.data() + at + done, std::min(kChunk, size - done), false, plain))
                return false;
        if (!Drain(coder, false, nullptr, 0, true, plain))
            return false;
        at += size;
    }
    return true;
}

struct Row {
    std::string name;
    double ratio = 0;  // stored / plain
    double compressMBs = 0;
    double decompressMBs = 0;
};

void Print(const Row& row)
{
    std::printf("%-22s %9.3f %14.1f %16.1f\n", row.name.c_str(), row.ratio, row.compressMBs,
                row.decompressMBs);
}

bool MeasureCoder(const char* name, unsigned char type, Bytes& corpus, Row* row)
{
    Bytes stored;
    Bytes plain;
    std::vector<size_t> sizes;
    double bestCompress = 1e30;
    double bestDecompress = 1e30;
    stored.reserve(corpus.size() + corpus.size() / 8);
    plain.reserve(corpus.size());
    for (int r = 0; r < kRepeats; ++r) {
        auto start = Clock::now();
        if (!CompressCorpus(type, corpus, stored, sizes))
            return false;
        bestCompress = std::min(bestCompress, Seconds(start));
        start = Clock::now();
        if (!DecompressCorpus(type, stored, sizes, plain))
            return false;
        bestDecompress = std::min(bestDecompress, Seconds(start));
        if (plain != corpus) {
            std::fprintf(stderr, "%s: the round trip changed the data\n", name);
            return false;
        }
    }
    row->name = name;
    row->ratio = double(stored.size()) / double(corpus.size());
    row->compressMBs = corpus.size() / 1e6 / bestCompress;
    row->decompressMBs = corpus.size() / 1e6 / bestDecompress;
    return true;
}

double TimeCommand(const std::string& command)
{
    double best = 1e30;
    for (int r = 0; r < kRepeats; ++r) {
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0)
            return -1;
        best = std::min(best, Seconds(start));
    }
    return best;
}

long long FileBytes(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// The program reads the corpus file and writes to /dev/null while timed;
// its ratio comes from one extra run into a file.
bool MeasureProgram(const std::string& name, const std::string& compress, const std::string& decompress,
                    const std::string& corpusPath, const std::string& packedPath, size_t corpusBytes,
                    Row* row)
{
    if (std::system((compress + " < '" + corpusPath + "' > '" + packedPath + "'").c_str()) != 0)
        return false;
    double c = TimeCommand(compress + " < '" + corpusPath + "' > /dev/null");
    double d = TimeCommand(decompress + " < '" + packedPath + "' > /dev/null");
    if (c < 0 || d < 0)
        return false;
    row->name = name;
    row->ratio = double(FileBytes(packedPath)) / double(corpusBytes);
    row->compressMBs = corpusBytes / 1e6 / c;
    row->decompressMBs = corpusBytes / 1e6 / d;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    if (mib < 64)
        mib = 64;
    Bytes corpus = MakeCorpus(mib * kMiB);

    char dir[] = "/tmp/compress_bench.XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string corpusPath = std::string(dir) + "/corpus";
    FILE* f = std::fopen(corpusPath.c_str(), "wb");
    if (f == nullptr || std::fwrite(corpus.data(), 1, corpus.size(), f) != corpus.size() ||
        std::fclose(f) != 0) {
        std::perror(corpusPath.c_str());
        return 1;
    }

    std::printf(
        "corpus: %zu MiB (3/8 text, 2/8 executables, 1/8 zeros, 2/8 random), one stream per %zu MiB,\n"
        "chunks of 0x%zx bytes; best of %d runs, one core; MB = 10^6 bytes; ratio = stored / plain\n\n",
        mib, kDataSet / kMiB, kChunk, kRepeats);
    std::printf("%-22s %9s %14s %16s\n", "coder", "ratio", "compress MB/s", "decompress MB/s");

    int failures = 0;
    const struct {
        const char* name;
        unsigned char type;
    } coders[] = {{"QuickLZ (type 1)", 1}, {"deflate -1 (type 2)", 2}, {"deflate default (3)", 3}};
    for (const auto& coder : coders) {
        Row row;
        if (MeasureCoder(coder.name, coder.type, corpus, &row))
            Print(row);
        else
            std::printf("%-22s failed\n", coder.name), ++failures;
    }
    const struct {
        const char* name;
        const char* compress;
        const char* decompress;
        const char* suffix;
    } programs[] = {{"lz4 -1 (program)", "lz4 -1 -q -c", "lz4 -d -q -c", ".lz4"},
                    {"gzip -1 (program)", "gzip -1 -c", "gzip -d -c", ".gz"}};
    for (const auto& program : programs) {
        Row row;
        if (MeasureProgram(program.name, program.compress, program.decompress, corpusPath,
                           corpusPath + program.suffix, corpus.size(), &row))
            Print(row);
        else
            std::printf("%-22s not available\n", program.name);
        std::remove((corpusPath + program.suffix).c_str());
    }
    std::remove(corpusPath.c_str());
    rmdir(dir);
    return failures == 0 ? 0 : 1;
}
