#include "engine/filter/tap_file.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/console.h"

TapList::~TapList()
{
    std::free(values);
}

bool TapList::Append(float value)
{
    if (count == room) {
        size_t new_room = room == 0 ? 1024 : room * 2;
        void* grown = std::realloc(values, new_room * sizeof(float));
        if (grown == nullptr)
            return false;
        values = static_cast<float*>(grown);
        room = new_room;
    }
    values[count++] = value;
    return true;
}

namespace {

constexpr size_t kPieceChars = 255;

// One piece of the text from `position`: up to and including the line end,
// at most 255 characters, zero-terminated. A NUL byte inside it ends the
// number but not the line. True when the piece ends its line.
bool NextPiece(const char* text, size_t length, size_t* position, char (&piece)[kPieceChars + 1])
{
    size_t n = 0;
    bool line_end = false;
    while (n < kPieceChars && *position < length && !line_end) {
        piece[n] = text[(*position)++];
        line_end = piece[n++] == '\n';
    }
    piece[n] = '\0';
    return line_end;
}

// The line as a message can show it: printable ASCII, '?' for anything
// else, at most 40 characters.
void PrintNoTaps(const char* path, const char* line)
{
    char shown[44] = {};
    size_t n = 0;
    for (; line[n] != '\0' && line[n] != '\n' && line[n] != '\r' && n < 40; ++n)
        shown[n] = line[n] >= ' ' && line[n] <= '~' ? line[n] : '?';
    if (line[n] != '\0' && line[n] != '\n' && line[n] != '\r')
        std::memcpy(shown + n, "...", 3);
    ConsolePrint(L"ERROR:No filter tap in %s: its first line is not a number: \"%s\"\n", path,
                 shown);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// A character that could carry on a number as "%f" reads it: a digit, a
// point, a sign, or a letter (exponent, hex, inf, nan).
bool MayContinueNumber(char c)
{
    return IsDigit(c) || c == '.' || c == '+' || c == '-' || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z');
}

} // namespace

bool ReadPlainTap(const char* number, float* value, int* used)
{
    const char* p = number;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r')
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (!IsDigit(*p) && !(*p == '.' && IsDigit(p[1])))
        return false;
    float magnitude;
    const std::from_chars_result read = std::from_chars(p, p + std::strlen(p), magnitude);
    if (read.ec != std::errc() || MayContinueNumber(*read.ptr))
        return false;
    *value = negative ? -magnitude : magnitude;
    *used = static_cast<int>(read.ptr - number);
    return true;
}

bool ReadTapText(const char* text, size_t length, const char* path, TapList* list)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (length >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        ConsolePrint(L"ERROR:Tap file is UTF-16 text; save it as ANSI or UTF-8. %s\n", path);
        return false;
    }
    // Editors on Windows start UTF-8 files with a byte-order mark; it is
    // part of the first piece, and skipped there.
    const size_t bom =
        length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    size_t skip = bom, position = 0;
    unsigned line_number = 1;
    // "%f" reads the locale's decimal point; the plain form has a '.'.
    const bool plain_point = std::strcmp(std::localeconv()->decimal_point, ".") == 0;
    while (position < length) {
        char piece[kPieceChars + 1];
        const bool line_end = NextPiece(text, length, &position, piece);
        float value;
        int used = 0;
        const char* number = piece + skip;
        skip = 0;
        if (!(plain_point && ReadPlainTap(number, &value, &used)) &&
            std::sscanf(number, "%f%n", &value, &used) != 1) {
            if (list->count == 0 && length > bom) { // an empty file just has no taps
                PrintNoTaps(path, number);
                return false;
            }
            list->stop_line = line_number;
            break;
        }
        if (number[used] == ',' && number[used + 1] >= '0' && number[used + 1] <= '9') {
            ConsolePrint(L"ERROR:Filter tap written with a decimal comma. %s line %u; "
                         L"trivandel-design -import converts such files.\n",
                         path, line_number);
            return false;
        }
        if (!std::isfinite(value)) {
            ConsolePrint(L"ERROR:Filter tap is not a finite number. %s line %u\n", path,
                         line_number);
            return false;
        }
        if (!list->Append(value)) {
            ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
            return false;
        }
        if (line_end)
            ++line_number;
    }
    // Numbers past the stop are not taps, but a user should hear of them.
    while (list->stop_line != 0 && position < length) {
        char piece[kPieceChars + 1];
        NextPiece(text, length, &position, piece);
        float value;
        list->unread_numbers += std::sscanf(piece, "%f", &value) == 1;
    }
    return true;
}

bool ReadTapFile(const char* path, TapList* list)
{
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        ConsolePrint(L"ERROR:failed to open file. %s\n", path);
        return false;
    }
    // The whole text, read in text mode as the taps were always read (line
    // ends as the platform writes them).
    char* text = nullptr;
    size_t length = 0;
    size_t room = 0;
    bool read = true;
    for (;;) {
        if (length == room) {
            room = room == 0 ? 65536 : room * 2;
            char* grown = static_cast<char*>(std::realloc(text, room));
            if (grown == nullptr) {
                ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
                read = false;
                break;
            }
            text = grown;
        }
        size_t got = std::fread(text + length, 1, room - length, file);
        length += got;
        if (got == 0)
            break;
    }
    std::fclose(file);
    read = read && ReadTapText(text, length, path, list);
    std::free(text);
    return read;
}
