// The text formats: REW's impulse-response export (header lines starting
// with '*', six "value // label" lines, "* Data start", one value a line),
// C-array text ("float h[N] = { ... };", several values a row), and plain
// text of one number a line with a header and footer around it.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/console.h"
#include "design/importer.h"

namespace {

struct Line {
    const char* begin;
    const char* end;
};

std::vector<Line> Lines(const std::string& text)
{
    std::vector<Line> lines;
    const char* p = text.data();
    const char* const stop = p + text.size();
    while (p < stop) {
        const char* e = static_cast<const char*>(std::memchr(p, '\n', stop - p));
        const char* next = e ? e + 1 : stop;
        e = e ? e : stop;
        if (e > p && e[-1] == '\r')
            --e;
        lines.push_back({p, e});
        p = next;
    }
    return lines;
}

bool Blank(const char* p, const char* e)
{
    for (; p < e; ++p) {
        if (!std::isspace(static_cast<unsigned char>(*p)))
            return false;
    }
    return true;
}

// A finite number at p (after blanks), written with a point or, where
// `comma` is given, a decimal comma (noted there); a C float's 'f' suffix is
// skipped. Sets *after past it. False when there is none.
bool Number(const char* p, const char* e, double* value, bool* comma, const char** after)
{
    while (p < e && (*p == ' ' || *p == '\t'))
        ++p;
    char text[64];
    size_t n = 0;
    const char* q = p;
    bool has_comma = false;
    for (; q < e && n < sizeof(text) - 1; ++q) {
        const char c = *q;
        const bool digit = c >= '0' && c <= '9';
        if (c == ',' && comma != nullptr && !has_comma && n > 0 && text[n - 1] >= '0' &&
            text[n - 1] <= '9' && q + 1 < e && q[1] >= '0' && q[1] <= '9') {
            has_comma = true;
            text[n++] = '.';
        } else if (digit || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E') {
            text[n++] = c;
        } else {
            break;
        }
    }
    text[n] = '\0';
    char* end = nullptr;
    *value = std::strtod(text, &end);
    if (n == 0 || end != text + n || !std::isfinite(static_cast<float>(*value)))
        return false;
    if (q < e && (*q == 'f' || *q == 'F'))
        ++q;
    if (has_comma)
        *comma = true;
    *after = q;
    return true;
}

bool Fail(const std::wstring& name, size_t line, const char* what)
{
    ConsolePrint(L"ERROR:%ls line %llu: %s\n", name.c_str(), static_cast<unsigned long long>(line),
                 what);
    return false;
}

bool StartsWith(const Line& l, const char* prefix)
{
    size_t n = 0;
    for (; prefix[n] != '\0'; ++n) {
        if (l.begin + n >= l.end || std::tolower(static_cast<unsigned char>(l.begin[n])) !=
                                        std::tolower(static_cast<unsigned char>(prefix[n])))
            return false;
    }
    return true;
}

bool ReadRew(const std::vector<Line>& lines, size_t data, const std::wstring& name,
             ImportedFilter* f)
{
    f->format = L"REW impulse response text";
    for (size_t i = 0; i < data; ++i) {
        const std::string line(lines[i].begin, lines[i].end);
        const size_t at = line.find("//");
        double value;
        const char* after;
        if (at != std::string::npos && line.find("Sample interval", at) != std::string::npos &&
            Number(lines[i].begin, lines[i].begin + at, &value, &f->decimal_comma, &after)) {
            if (!(value > 0))
                return Fail(name, i + 1, "expected a sample interval in seconds");
            f->rate = std::round(1.0 / value);
        }
    }
    for (size_t i = data + 1; i < lines.size(); ++i) {
        double value;
        const char* after;
        if (Number(lines[i].begin, lines[i].end, &value, &f->decimal_comma, &after) &&
            Blank(after, lines[i].end)) {
            f->impulse.push_back(static_cast<float>(value));
        } else if (!Blank(lines[i].begin, lines[i].end)) {
            return Fail(name, i + 1, "expected one number");
        }
    }
    return true;
}

bool ReadArray(const std::vector<Line>& lines, size_t open, const std::wstring& name,
               ImportedFilter* f)
{
    f->format = L"C-array text";
    bool closed = false;
    for (size_t i = open; i < lines.size() && !closed; ++i) {
        const char* p = lines[i].begin;
        if (i == open)
            p = static_cast<const char*>(std::memchr(p, '{', lines[i].end - p)) + 1;
        while (p < lines[i].end) {
            double value;
            const char* after;
            if (*p == ' ' || *p == '\t' || *p == ',') {
                ++p;
            } else if (*p == '}') {
                closed = true;
                break;
            } else if (*p == '/' && p + 1 < lines[i].end && p[1] == '/') {
                break;
            } else if (Number(p, lines[i].end, &value, nullptr, &after)) {
                f->impulse.push_back(static_cast<float>(value));
                p = after;
            } else {
                return Fail(name, i + 1, "expected a number, ',' or '}'");
            }
        }
    }
    return closed || Fail(name, lines.size(), "expected '}' at the end of the array");
}

// One number a line, with lines of text before and after them.
bool ReadColumn(const std::vector<Line>& lines, const std::wstring& name, ImportedFilter* f)
{
    f->format = L"text, one number a line";
    size_t footer = 0; // the first line of text after the numbers
    for (size_t i = 0; i < lines.size(); ++i) {
        double value;
        const char* after;
        if (Blank(lines[i].begin, lines[i].end))
            continue;
        // A number alone, or before a blank, ',' or ';' and more text.
        const bool number =
            Number(lines[i].begin, lines[i].end, &value, &f->decimal_comma, &after) &&
            (after == lines[i].end || std::strchr(" \t,;", *after) != nullptr);
        if (number && footer != 0)
            return Fail(name, footer,
                        "expected numbers only after the header; numbers follow this line");
        if (number)
            f->impulse.push_back(static_cast<float>(value));
        else if (!f->impulse.empty() && footer == 0)
            footer = i + 1;
    }
    return true;
}

} // namespace

bool ImportText(const std::string& text, const std::wstring& name, ImportedFilter* f)
{
    const std::vector<Line> lines = Lines(text);
    size_t first = 0;
    while (first < lines.size() && Blank(lines[first].begin, lines[first].end))
        ++first;
    bool ok;
    if (first < lines.size() && *lines[first].begin == '*') {
        size_t data = first;
        while (data < lines.size() && !StartsWith(lines[data], "* Data start"))
            ++data;
        if (data == lines.size())
            return Fail(name, lines.size(), "expected \"* Data start\" after REW's header");
        ok = ReadRew(lines, data, name, f);
    } else {
        size_t open = 0;
        while (open < lines.size() &&
               !std::memchr(lines[open].begin, '{', lines[open].end - lines[open].begin))
            ++open;
        ok = open < lines.size() ? ReadArray(lines, open, name, f) : ReadColumn(lines, name, f);
    }
    if (ok && f->impulse.empty())
        return Fail(name, lines.size(), "expected at least one number");
    return ok;
}
