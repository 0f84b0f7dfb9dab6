#!/usr/bin/env python3
"""Finds program files over 400 lines and functions over 80 lines.

Usage: check_lengths.py [--allow FILE:FUNCTION]... FILE...
(the program's C++ files; tests are exempt; --allow names one function
that may stay long for now)

Counts braces in the text with comments, string and character literals
blanked out, so it needs no compiler and no Windows headers. A block is a
function body when it opens at namespace, class or file level after a
closing parenthesis (with const, override, noexcept or a trailing return
type allowed between); lambdas and nested blocks count toward the function
that holds them. Its length runs from the line of the opening brace to the
line of the closing one. Prints one line per finding; exits 1 if any.
"""
import re
import sys

MAX_FILE_LINES = 400
MAX_FUNCTION_LINES = 80

LITERAL = re.compile(
    r'//[^\n]*|/\*.*?\*/|R"([^(\s]*)\(.*?\)\1"|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'',
    re.S)
# What may stand between a function's parameter list and its body.
AFTER_PARAMETERS = re.compile(
    r'\)\s*(?:const\b|override\b|final\b|noexcept\b|volatile\b|&|->[^;{}]*|\s)*$')
NOT_A_FUNCTION = re.compile(r'^\s*(?:if|for|while|switch|catch|do|else)\b')


def blank(match):
    # Keep line breaks so that line numbers stay right.
    return re.sub(r'[^\n]', ' ', match.group(0))


def findings(path, allowed):
    with open(path, encoding='utf-8') as f:
        text = f.read()
    lines = text.count('\n') + (0 if text.endswith('\n') else 1)
    if lines > MAX_FILE_LINES:
        yield f'{path}: {lines} lines (at most {MAX_FILE_LINES})'
    code = LITERAL.sub(blank, text)
    code = re.sub(r'^[ \t]*#[^\n]*', blank, code, flags=re.M)
    stack = []  # per open brace: (kind, line of the brace, header text)
    header_start = 0
    for i, ch in enumerate(code):
        if ch == '{':
            header = code[header_start:i]
            holder = stack[-1][0] if stack else 'scope'
            kind = 'block'
            if holder == 'scope':
                words = header.split()
                if re.search(r'\b(namespace|class|struct|union|enum)\b[^()]*$', header) or (
                        words and words[-1] == 'extern'):
                    kind = 'scope'
                elif AFTER_PARAMETERS.search(header) and not NOT_A_FUNCTION.search(header):
                    kind = 'function'
                elif re.search(r'\)\s*:', header):  # a constructor's initialiser list
                    kind = 'function'
            stack.append((kind, code.count('\n', 0, i) + 1, header))
            header_start = i + 1
        elif ch == '}':
            if not stack:
                yield f'{path}: unbalanced braces'
                return
            kind, first, header = stack.pop()
            last = code.count('\n', 0, i) + 1
            if kind == 'function' and last - first + 1 > MAX_FUNCTION_LINES:
                names = re.findall(r'([~\w:]+)\s*\(', header)
                name = names[0] if names else '?'
                if f'{path}:{name}' not in allowed:
                    yield (f'{path}:{first}: function {name} is {last - first + 1} lines '
                           f'(at most {MAX_FUNCTION_LINES})')
            header_start = i + 1
        elif ch == ';':
            header_start = i + 1
    if stack:
        yield f'{path}: unbalanced braces'


def main(args):
    allowed, paths = set(), []
    while args:
        arg = args.pop(0)
        if arg == '--allow' and args:
            allowed.add(args.pop(0))
        else:
            paths.append(arg)
    status = 0
    for path in paths:
        for line in findings(path, allowed):
            print(line)
            status = 1
    return status


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
