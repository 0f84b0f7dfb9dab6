#include "design/tap_set.h"

#include <cstdio>
#include <system_error>

#include "base/console.h"
#include "check/path_text.h"

namespace {

std::filesystem::path Temporary(const std::filesystem::path& path)
{
    std::filesystem::path t = path;
    t += ".tmp";
    return t;
}

bool WriteOne(const std::filesystem::path& path, const std::vector<double>& impulse)
{
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"w");
#else
    std::FILE* file = std::fopen(path.c_str(), "w");
#endif
    if (file == nullptr)
        return false;
    bool written = true;
    for (size_t n = impulse.size(); n-- > 0;)
        written &= std::fprintf(file, "%.9e\n", impulse[n]) > 0;
    return std::fclose(file) == 0 && written;
}

} // namespace

bool WriteTapFiles(const std::vector<std::filesystem::path>& paths,
                   const std::vector<std::vector<double>>& impulses)
{
    std::error_code ec;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (!WriteOne(Temporary(paths[i]), impulses[i])) {
            ConsolePrint(L"ERROR:Cannot write %ls\n", PathText(paths[i]).c_str());
            for (size_t j = 0; j <= i; ++j)
                std::filesystem::remove(Temporary(paths[j]), ec);
            return false;
        }
    }
    for (const std::filesystem::path& path : paths) {
        std::filesystem::rename(Temporary(path), path, ec);
        if (ec) {
            ConsolePrint(L"ERROR:Cannot replace %ls\n", PathText(path).c_str());
            return false;
        }
    }
    return true;
}
