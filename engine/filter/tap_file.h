// The tap file: plain text, tap k on line k as a decimal number at the start
// of the line (leading blanks allowed, the rest ignored); reading ends at the
// end of the text or at the first line that does not begin with a number.
// Lines are taken in pieces of at most 255 characters, so the rest of a
// longer line counts as the next line.
#pragma once

#include <cstddef>

// The values of one tap file, in file order. Grows by doubling; a failed
// growth is reported to the caller, never thrown.
struct TapList {
    float* values = nullptr;
    size_t count = 0;
    size_t room = 0;
    // Where reading stopped before the end of the text: the line (from 1)
    // that is not a number, and how many lines after it begin with one.
    unsigned stop_line = 0;
    size_t unread_numbers = 0;

    TapList() = default;
    TapList(const TapList&) = delete;
    TapList& operator=(const TapList&) = delete;
    ~TapList();
    bool Append(float value);
};

// sscanf(number, "%f%n", value, used) on the text up to `end`, read as if
// a '\0' stood there, for the plain decimal form that tap files hold:
// blanks other than a line end, a sign, digits with a point and an
// exponent, then a character that cannot carry the number on. from_chars
// rounds it to the very float that sscanf gives (both round correctly),
// many times faster. False, with nothing set, for anything else (hex, inf,
// nan, "1e", a value out of range), which only sscanf reads. For a '.'
// decimal point.
bool ReadPlainTap(const char* number, const char* end, float* value, int* used);

// Reads the taps of a file's text (as read in text mode) into `list`.
// False after printing why the file cannot be used, naming `path`: text in
// UTF-16, text without a single tap (a file that is empty has none and is
// read as such), a tap written with a decimal comma ("0,5" would read as 0),
// a tap that is not a finite number (a NaN or infinite tap would put
// full-scale noise or DC on the outputs), or no memory.
bool ReadTapText(const char* text, size_t length, const char* path, TapList* list);

// A file's text as read, kept from file to file so that one block of
// memory serves them all.
struct TapText {
    char* bytes = nullptr;
    size_t room = 0;

    TapText() = default;
    TapText(const TapText&) = delete;
    TapText& operator=(const TapText&) = delete;
    ~TapText();
};

// Opens `path` in text mode and reads its taps; prints the open error, or
// ReadTapText's, and returns false when the file cannot be used. The
// second form reads the text into `text`'s memory.
bool ReadTapFile(const char* path, TapList* list);
bool ReadTapFile(const char* path, TapList* list, TapText* text);
