#include "support/fat_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace testsupport {

std::string MtoolsEnv()
{
    return "MTOOLS_SKIP_CHECK=1 LANG=C.UTF-8 LC_ALL=C.UTF-8 ";
}

FatImage::FatImage(const std::string& path, uint64_t bytes, int sectorsPerCluster, const std::string& label,
                   const std::string& scratchDir)
    : m_path(path), m_scratch(scratchDir)
{
    MakeSparseFile(path, bytes);
    std::string cmd = "mkfs.fat -F 32 -s " + std::to_string(sectorsPerCluster);
    if (!label.empty())
        cmd += " -n " + Quote(label);
    CommandResult r = Run(cmd + " " + Quote(path));
    if (r.exitCode != 0)
        throw std::runtime_error("mkfs.fat failed: " + r.output);
    ::mkdir(m_scratch.c_str(), 0700);
}

void FatImage::Mtools(const std::string& args)
{
    CommandResult r = Run(MtoolsEnv() + args);
    if (r.exitCode != 0)
        throw std::runtime_error(args + " failed: " + r.output);
}

void FatImage::MakeDir(const std::string& fatPath)
{
    Mtools("mmd -i " + Quote(m_path) + " " + Quote("::" + fatPath));
}

void FatImage::AddFile(const std::string& fatPath, const std::vector<uint8_t>& bytes)
{
    const std::string host = m_scratch + "/add" + std::to_string(m_counter++);
    WriteFileBytes(host, bytes);
    Mtools("mcopy -n -i " + Quote(m_path) + " " + Quote(host) + " " + Quote("::" + fatPath));
    std::remove(host.c_str());
}

void FatImage::AddFiles(const std::string& fatDir,
                        const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files)
{
    const std::string dir = m_scratch + "/batch" + std::to_string(m_counter++);
    ::mkdir(dir.c_str(), 0700);
    std::string sources;
    for (const auto& file : files) {
        WriteFileBytes(dir + "/" + file.first, file.second);
        sources += " " + Quote(dir + "/" + file.first);
    }
    Mtools("mcopy -n -i " + Quote(m_path) + sources + " " + Quote("::" + fatDir + "/"));
    Run("rm -rf " + Quote(dir));
}

FatSourceContent BuildRichFatSource(const std::string& path, const std::string& scratchDir)
{
    FatSourceContent content;
    content.clusterBytes = 512;
    FatImage image(path, kRichSourceBytes, 1, "QUARNSRC", scratchDir);
    auto add = [&](const std::string& fatPath, std::vector<uint8_t> bytes) {
        image.AddFile(fatPath, bytes);
        content.files.emplace_back(fatPath, std::move(bytes));
    };
    auto text = [](size_t size, char fill) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<uint8_t>(i % 61 == 60 ? '\n' : fill + static_cast<char>(i % 7));
        return bytes;
    };

    image.MakeDir("/Documents and Settings");
    image.MakeDir("/Documents and Settings/Deeply");
    image.MakeDir("/Documents and Settings/Deeply/Nested Folder");
    image.MakeDir("/Documents and Settings/Deeply/Nested Folder/EMPTYDIR");
    image.MakeDir("/FULLDIR");
    image.MakeDir("/Many files here");

    add("/README", text(3000, 'a'));
    add("/SHORT.TXT", text(100, 'k'));
    add("/EMPTY.DAT", {});
    add("/an empty file with a long name.txt", {});
    add("/one cluster.bin", PatternBytes(512, 1));
    add("/Grüße aus Köln – ünïcödé.txt", text(777, 'A'));
    add("/日本語のファイル名.txt", text(1500, 'b'));
    add("/movie clip.mkv", PatternBytes(70000, 2));
    add("/archive.tar.gz", PatternBytes(3000, 3));
    add("/Documents and Settings/Deeply/Nested Folder/compressible log.txt", text(300000, 'c'));
    add("/Documents and Settings/Deeply/Nested Folder/random.bin", PatternBytes(200001, 4));
    add("/Documents and Settings/Deeply/A rather long file name that needs several entries.doc",
        PatternBytes(5000, 5));
    add("/PAGEFILE.SYS", PatternBytes(4096, 6));
    // Exactly two of the backup's 0x20000-byte chunks.
    add("/two chunks.bin", PatternBytes(0x40000, 7));

    // "." and ".." plus 14 short-named files fill the directory's only
    // 512-byte cluster exactly.
    std::vector<std::pair<std::string, std::vector<uint8_t>>> full;
    for (int i = 0; i < 14; ++i)
        full.emplace_back("F" + std::to_string(i) + ".TXT", text(10 + i, 'm'));
    image.AddFiles("/FULLDIR", full);
    for (auto& f : full)
        content.files.emplace_back("/FULLDIR/" + f.first, f.second);

    std::vector<std::pair<std::string, std::vector<uint8_t>>> many;
    for (int i = 0; i < 300; ++i)
        many.emplace_back("file number " + std::to_string(i) + ".txt",
                          text(static_cast<size_t>(i * 37 % 900), 'n'));
    image.AddFiles("/Many files here", many);
    for (auto& f : many)
        content.files.emplace_back("/Many files here/" + f.first, f.second);
    return content;
}

std::vector<std::string> FatListing(const std::string& image)
{
    CommandResult r = Run(MtoolsEnv() + "mdir -/ -a -i " + Quote(image) + " ::/");
    std::vector<std::string> lines;
    if (r.exitCode != 0) {
        lines.push_back("mdir failed: " + r.output);
        return lines;
    }
    static const std::regex summary(R"(^\s*[0-9 ]+ files?\s+[0-9 ]+ bytes\s*$)");
    std::istringstream in(r.output);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("bytes free") != std::string::npos ||
            line.find("Total files listed") != std::string::npos || std::regex_match(line, summary))
            continue;
        std::string collapsed;
        bool blank = false;
        for (char c : line) {
            if (c == ' ' || c == '\t') {
                blank = true;
                continue;
            }
            if (blank && !collapsed.empty())
                collapsed += ' ';
            blank = false;
            collapsed += c;
        }
        if (!collapsed.empty())
            lines.push_back(collapsed);
    }
    return lines;
}

bool ExtractFatTree(const std::string& image, const std::string& outDir)
{
    ::mkdir(outDir.c_str(), 0700);
    return Run(MtoolsEnv() + "mcopy -s -n -m -i " + Quote(image) + " '::/*' " + Quote(outDir + "/"))
               .exitCode == 0;
}

CommandResult CheckFat(const std::string& image)
{
    return Run("fsck.fat -n " + Quote(image));
}

bool SameTree(const std::string& a, const std::string& b, std::string* differences)
{
    CommandResult r = Run("LC_ALL=C.UTF-8 diff -r " + Quote(a) + " " + Quote(b));
    if (differences)
        *differences = r.output;
    return r.exitCode == 0;
}

FakeDosfsckOnPath::FakeDosfsckOnPath(const std::string& dir, int exitCode) : m_dir(dir)
{
    ::mkdir(m_dir.c_str(), 0700);
    const std::string script = m_dir + "/dosfsck";
    {
        std::ofstream out(script);
        // printf, not echo: echo would take a leading "-n" for its own.
        out << "#!/bin/sh\nprintf '%s\\n' \"$*\" > '" << marker() << "'\n"
            << "echo 'fake dosfsck: on standard output'\n"
            << "echo 'fake dosfsck: on standard error' >&2\n"
            << "exit " << exitCode << "\n";
    }
    ::chmod(script.c_str(), 0755);
    const char* old = std::getenv("PATH");
    m_oldPath = old ? old : "";
    setenv("PATH", (m_dir + ":" + m_oldPath).c_str(), 1);
}

FakeDosfsckOnPath::~FakeDosfsckOnPath()
{
    setenv("PATH", m_oldPath.c_str(), 1);
}

uint16_t Le16(const std::vector<uint8_t>& bytes, size_t offset)
{
    return static_cast<uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t offset)
{
    return uint32_t(Le16(bytes, offset)) | (uint32_t(Le16(bytes, offset + 2)) << 16);
}

std::vector<uint8_t> ReadFileHead(const std::string& path, size_t count, uint64_t offset)
{
    std::vector<uint8_t> bytes(count);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

void WriteFileAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes)
{
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
