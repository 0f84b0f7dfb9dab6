// Paths as ConsolePrint takes them ("%ls"): their own wide characters on
// Windows; elsewhere their bytes decoded under the locale, '?' for a byte
// that is not text there.
#pragma once

#include <cwchar>
#include <filesystem>
#include <string>

inline std::wstring PathText(const std::filesystem::path& path)
{
#ifdef _WIN32
    return path.native();
#else
    const std::string& bytes = path.native();
    std::wstring text;
    std::mbstate_t state{};
    for (size_t i = 0; i < bytes.size();) {
        wchar_t c;
        const size_t n = std::mbrtowc(&c, bytes.data() + i, bytes.size() - i, &state);
        if (n == 0 || n > bytes.size() - i) { // invalid or cut short
            text += L'?';
            state = {};
            ++i;
        } else {
            text += c;
            i += n;
        }
    }
    return text;
#endif
}
