#include "engine/filter/tap_file.h"

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

bool ReadTapText(const char* text, size_t length, const char* path, TapList* list)
{
    constexpr size_t kPieceChars = 255;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    if (length >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        ConsolePrint(L"ERROR:Tap file is UTF-16 text; save it as ANSI or UTF-8. %s\n", path);
        return false;
    }
    // Editors on Windows start UTF-8 files with a byte-order mark; it is
    // part of the first piece, and skipped there.
    size_t skip = length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
    size_t position = 0;
    unsigned line_number = 1;
    while (position < length) {
        // One piece: up to and including the line end, at most 255
        // characters, zero-terminated. A NUL byte inside it ends the number
        // but not the line.
        char piece[kPieceChars + 1] = {};
        size_t n = 0;
        bool line_end = false;
        while (n < kPieceChars && position < length && !line_end) {
            piece[n] = text[position++];
            line_end = piece[n++] == '\n';
        }
        float value;
        const char* number = piece + skip;
        skip = 0;
        if (std::sscanf(number, "%f", &value) != 1)
            break;
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
