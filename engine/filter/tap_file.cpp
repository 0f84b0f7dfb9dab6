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
    const char* start = text + *position;
    const size_t most = length - *position < kPieceChars ? length - *position : kPieceChars;
    const char* line_end = static_cast<const char*>(std::memchr(start, '\n', most));
    const size_t n = line_end != nullptr ? static_cast<size_t>(line_end - start) + 1 : most;
    std::memcpy(piece, start, n);
    piece[n] = '\0';
    *position += n;
    return line_end != nullptr;
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

// One piece as the reader takes it: whether a number starts it (after the
// characters skipped), its value, the two characters after it as the
// piece holds them ('\0' past its end), and whether it ends its line.
struct Piece {
    bool read;
    float value;
    char after[2];
    bool line_end;
    const char* number; // where sscanf read, in `copy`
    char copy[kPieceChars + 1];
};

// Reads the piece at `position` and moves past it: a plain number in place,
// anything else as before, from a zero-terminated copy with sscanf.
void ReadPiece(const char* text, size_t length, size_t* position, size_t skip, bool plain_point,
               Piece* piece)
{
    const char* start = text + *position;
    const char* bound =
        start + (length - *position < kPieceChars ? length - *position : kPieceChars);
    int used = 0;
    piece->read = plain_point && ReadPlainTap(start + skip, bound, &piece->value, &used);
    if (piece->read) {
        // The number holds no line end, so the piece goes on past it to the
        // line end or the bound.
        const char* rest = start + skip + used;
        const bool more = rest < bound && *rest != '\n';
        piece->after[0] = rest < bound ? rest[0] : '\0';
        piece->after[1] = more && rest + 1 < bound ? rest[1] : '\0';
        const char* line_end =
            static_cast<const char*>(std::memchr(rest, '\n', static_cast<size_t>(bound - rest)));
        piece->line_end = line_end != nullptr;
        *position = static_cast<size_t>((line_end != nullptr ? line_end + 1 : bound) - text);
        return;
    }
    piece->line_end = NextPiece(text, length, position, piece->copy);
    piece->number = piece->copy + skip;
    piece->read = std::sscanf(piece->number, "%f%n", &piece->value, &used) == 1;
    if (piece->read) {
        piece->after[0] = piece->number[used];
        piece->after[1] = piece->number[used] != '\0' ? piece->number[used + 1] : '\0';
    }
}

} // namespace

bool ReadPlainTap(const char* number, const char* end, float* value, int* used)
{
    const char* p = number;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\v' || *p == '\f' || *p == '\r'))
        ++p;
    const bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    if (p == end || !(IsDigit(*p) || (*p == '.' && p + 1 < end && IsDigit(p[1]))))
        return false;
    float magnitude;
    const std::from_chars_result read = std::from_chars(p, end, magnitude);
    if (read.ec != std::errc() || (read.ptr < end && MayContinueNumber(*read.ptr)))
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
        Piece piece;
        ReadPiece(text, length, &position, skip, plain_point, &piece);
        skip = 0;
        if (!piece.read) {
            if (list->count == 0 && length > bom) { // an empty file just has no taps
                PrintNoTaps(path, piece.number);
                return false;
            }
            list->stop_line = line_number;
            break;
        }
        if (piece.after[0] == ',' && piece.after[1] >= '0' && piece.after[1] <= '9') {
            ConsolePrint(L"ERROR:Filter tap written with a decimal comma. %s line %u; "
                         L"trivandel-design -import converts such files.\n",
                         path, line_number);
            return false;
        }
        if (!std::isfinite(piece.value)) {
            ConsolePrint(L"ERROR:Filter tap is not a finite number. %s line %u\n", path,
                         line_number);
            return false;
        }
        if (!list->Append(piece.value)) {
            ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
            return false;
        }
        if (piece.line_end)
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

TapText::~TapText()
{
    std::free(bytes);
}

bool ReadTapFile(const char* path, TapList* list)
{
    TapText text;
    return ReadTapFile(path, list, &text);
}

bool ReadTapFile(const char* path, TapList* list, TapText* text)
{
    FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        ConsolePrint(L"ERROR:failed to open file. %s\n", path);
        return false;
    }
    // Room for the whole file at once where its size is known: the text
    // is read in one piece of memory, not copied as it grows.
    size_t room = 65536;
    if (std::fseek(file, 0, SEEK_END) == 0) {
        const long size = std::ftell(file);
        if (std::fseek(file, 0, SEEK_SET) != 0) {
            std::fclose(file);
            ConsolePrint(L"ERROR:failed to open file. %s\n", path);
            return false;
        }
        if (size >= 0 && static_cast<unsigned long>(size) >= room)
            room = static_cast<size_t>(size) + 1;
    }
    // The whole text, read in text mode as the taps were always read (line
    // ends as the platform writes them).
    size_t length = 0;
    bool read = true;
    for (;;) {
        if (length == text->room || room > text->room) {
            room = room > text->room ? room : text->room * 2;
            char* grown = static_cast<char*>(std::realloc(text->bytes, room));
            if (grown == nullptr) {
                ConsolePrint(L"ERROR:Not enough memory for filter taps. %s\n", path);
                read = false;
                break;
            }
            text->bytes = grown;
            text->room = room;
        }
        size_t got = std::fread(text->bytes + length, 1, text->room - length, file);
        length += got;
        if (got == 0)
            break;
    }
    std::fclose(file);
    return read && ReadTapText(text->bytes, length, path, list);
}
