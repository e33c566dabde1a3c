#!/usr/bin/env python3
"""The user's guide and the tool say the same: every message the tool can show stands in
the guide's message table byte for byte, and the table names no message the tool cannot
show. A name or number the tool fills in (%s, %ld) is a <var> in the guide. Every number
the tool itself puts into a message (namespace code) has its row in the guide's number
table.

usage: check-guide.py SOURCE_ROOT
"""
import html
import re
import sys

HOLE = '\u25a1'  # where the tool fills in a name or a number


def c_literal(text):
    """The value of adjacent C string literals, escapes undone."""
    out = []
    for body in re.findall(r'"((?:[^"\\]|\\.)*)"', text):
        out.append(re.sub(r'\\(.)', lambda m: {'n': '\n', '0': '\0', 't': '\t'}.get(m.group(1), m.group(1)), body))
    return ''.join(out)


def tool_messages(root):
    messages = {}
    # The tool's own, in namespace msg; the dialog framework's two.
    for path, namespace in (('common/Messages.h', 'msg'), ('winui/Texts.h', 'text')):
        source = open(f'{root}/{path}', encoding='utf-8').read()
        block = re.search(r'namespace %s \{(.*?)\}  // namespace %s' % (namespace, namespace), source, re.S).group(1)
        for name, value in re.findall(r'inline const char (\w+)\[\] =\s*((?:"(?:[^"\\]|\\.)*"\s*)+);', block):
            messages[f'{path}: {name}'] = c_literal(value)
    # The string table's messages (IDP_...); IDS_ entries are menu texts.
    rc = open(f'{root}/resources/OrvelClientTool.rc', encoding='utf-8').read()
    for name, value in re.findall(r'^\s*(IDP_\w+)\s+("(?:[^"\\]|\\.)*")', rc, re.M):
        messages[f'resources: {name}'] = c_literal(value)
    return {key: re.sub(r'%l?[sd]', HOLE, value) for key, value in messages.items()}


def guide_messages(root):
    page = open(f'{root}/docs/guide/guide-ja.html', encoding='utf-8').read()
    cells = re.findall(r'<td class="msg">(.*?)</td>', page, re.S)
    out = []
    for cell in cells:
        cell = re.sub(r'<var>[^<]*</var>', HOLE, cell)
        cell = cell.replace('<br>', '\n')
        out.append(html.unescape(cell))
    return out


def main():
    root = sys.argv[1]
    tool = tool_messages(root)
    guide = guide_messages(root)
    passed = failed = 0
    for key, text in sorted(tool.items()):
        if text in guide:
            passed += 1
        else:
            failed += 1
            print(f'FAILED: {key} is not in the guide\'s message table: {text!r}')
    known = set(tool.values())
    for text in guide:
        if text in known:
            passed += 1
        else:
            failed += 1
            print(f'FAILED: the guide names a message the tool cannot show: {text!r}')
    source = open(f'{root}/common/Messages.h', encoding='utf-8').read()
    block = re.search(r'namespace code \{(.*?)\}  // namespace code', source, re.S).group(1)
    page = open(f'{root}/docs/guide/guide-ja.html', encoding='utf-8').read()
    for name, number in re.findall(r'inline const long (\w+) = (\d+);', block):
        if f'<tr><td>{number}</td>' in page:
            passed += 1
        else:
            failed += 1
            print(f'FAILED: code {name} ({number}) has no row in the guide\'s number table')
    if len(set(guide)) != len(guide):
        failed += 1
        print('FAILED: a message stands twice in the guide')
    print(f'{passed} passed, {failed} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
