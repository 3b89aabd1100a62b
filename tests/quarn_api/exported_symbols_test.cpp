// libquarn.so.1 exports the entry points and helpers that quarn.h declares
// and nothing else: callers cannot come to rely on the engine's internals.
#include "quarn/api/quarn.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

// The demangled names of the defined dynamic symbols of a shared object.
std::set<std::string> DefinedDynamicSymbols(const std::string& file, bool* ok)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only --demangle --format=posix '" + file + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    *ok = pipe != nullptr;
    if (pipe == nullptr)
        return names;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        // posix format: "<name> <type> <value> [<size>]"; names may hold blanks.
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        size_t cut = text.rfind(' ');
        // Drop value and size (when present) and the type letter.
        for (int fields = 0; fields < 3 && cut != std::string::npos; ++fields) {
            const std::string field = text.substr(cut + 1);
            text.erase(cut);
            if (field.size() == 1 && std::isalpha(static_cast<unsigned char>(field[0])))
                break;
            cut = text.rfind(' ');
        }
        names.insert(text);
    }
    *ok = ::pclose(pipe) == 0 && *ok;
    return names;
}

}  // namespace

TEST(ExportedSymbols, OnlyWhatQuarnHDeclares)
{
    bool ok = false;
    const std::set<std::string> names = DefinedDynamicSymbols(QUARN_LIBRARY_FILE, &ok);
    ASSERT_TRUE(ok) << "nm failed on " << QUARN_LIBRARY_FILE;
    const std::set<std::string> expected = {
        "backup_ntfs(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int)",
        "backup_fat32(tagBackupArgument, tagCallBackFunc, tagBackupImageHeadInfo*, int)",
        "restore_ntfs(tagRestoreArgument, tagCallBackFunc)",
        "restore_fat32(tagRestoreArgument, tagCallBackFunc)",
        "restore_mbr(tagRestoreArgument, tagCallBackFunc)",
        "verify_image(tagRestoreArgument, tagCallBackFunc)",
        "clone_ntfs(tagCloneArgument, tagCallBackFunc)",
        "clone_fat32(tagCloneArgument, tagCallBackFunc)",
        "DEBUG_TRACE(char const*, ...)",
        "SetTraceSink(void (*)(char const*, void*), void*)",
        "SplitFileName(std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> > "
        "const&)",
        "GetFileNamePath(std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> > "
        "const&)",
    };
    EXPECT_EQ(names, expected);
}
