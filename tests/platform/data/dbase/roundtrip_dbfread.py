#!/usr/bin/python3
"""Writes .dbf files through the dBase provider (dbase_exec) and reads them
back with python3-dbfread, an independent reader, comparing every field
name and value exactly. The expected names and cuts are worked out here
from Python's own GB18030 codec, not from the program's code.

GDAL's ogrinfo, where installed, must open each file too; where it is not,
that check is skipped (and said so).

usage: roundtrip_dbfread.py PATH/TO/dbase_exec
"""
import codecs
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import dbfread

DATE = (2024, 3, 5)


def _euro(error):
    # Code page 936 writes the euro sign as the single byte 0x80, which
    # GB18030 does not know.
    if error.object[error.start:error.start + 1] == b'\x80':
        return ('\u20ac', error.start + 1)
    raise error


codecs.register_error('cp936-euro', _euro)


def char_bytes(ch):
    return b'\x80' if ch == '\u20ac' else ch.encode('gb18030')


def cut(text, width):
    """The longest run of whole characters that fits width bytes."""
    out = b''
    for ch in text:
        b = char_bytes(ch)
        if len(out) + len(b) > width:
            break
        out += b
    return out


def decode(raw):
    return raw.decode('gb18030', errors='cp936-euro')


def name_key(text):
    return ''.join(c.lower() if ord(c) < 128 else c for c in text)


def expected_names(names):
    taken, out = set(), []
    for name in names:
        text = decode(cut(name, 10))
        if name_key(text) in taken:
            k = 2
            while True:
                suffix = '_%d' % k
                candidate = decode(cut(name, 10 - len(suffix))) + suffix
                if name_key(candidate) not in taken:
                    text = candidate
                    break
                k += 1
        taken.add(name_key(text))
        out.append(text)
    return out


def quote(value):
    return "'" + value.replace("'", "''") + "'"


class Case:
    def __init__(self, title, columns, rows, folder_name='out', close=True, extra=None,
                 expect_error=None):
        self.title = title
        self.columns = columns          # [(name, width)]
        self.rows = rows                # [[value, ...]]
        self.folder_name = folder_name
        self.close = close
        self.extra = extra or []        # statements sent after the rows; {path} is the table
        self.expect_error = expect_error


def run_case(tool, root, case, failures):
    folder = os.path.join(root, case.folder_name)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, '143005.dbf')
    defs = '(' + ','.join('[%s]  CHAR(%d)' % (n, w) for n, w in case.columns) + ')'
    names = ','.join(n for n, _ in case.columns)
    statements = ['CREATE TABLE ' + path + '  ' + defs]
    for row in case.rows:
        statements.append('insert into  ' + path + '  (' + names + ')  values (' +
                          ','.join(quote(v) for v in row) + ')')
    statements += [s.replace('{path}', path) for s in case.extra]
    args = [tool, folder, '%04d-%02d-%02d' % DATE] + ([] if case.close else ['--no-close'])
    done = subprocess.run(args, input=b'\0'.join(s.encode('utf-8') for s in statements),
                          capture_output=True)
    out = done.stdout.decode('utf-8')
    errors = [line for line in out.splitlines() if line.startswith('ERROR')]
    if case.expect_error:
        if not errors or not errors[0].startswith('ERROR %d ' % case.expect_error):
            failures.append('%s: expected error %d, got %r' % (case.title, case.expect_error, out))
    elif done.returncode != 0:
        failures.append('%s: dbase_exec failed: %r %r' % (case.title, out, done.stderr))
        return

    def check(condition, what):
        if not condition:
            failures.append('%s: %s' % (case.title, what))

    raw = open(path, 'rb').read()
    count, header_length, record_length = struct.unpack('<IHH', raw[4:12])
    widths = [w for _, w in case.columns]
    check(raw[0] == 0x03, 'version byte %#x' % raw[0])
    check(tuple(raw[1:4]) == (DATE[0] - 1900, DATE[1], DATE[2]), 'date %r' % raw[1:4])
    check(raw[29] == 0x7A, 'language driver %#x' % raw[29])
    check(header_length == 32 + 32 * len(widths) + 1, 'header length %d' % header_length)
    check(record_length == 1 + sum(widths), 'record length %d' % record_length)
    check(raw[header_length - 1] == 0x0D, 'no header terminator')
    check(count == len(case.rows), 'record count %d, %d rows sent' % (count, len(case.rows)))
    check(len(raw) == header_length + count * record_length + 1, 'file length %d' % len(raw))
    check(raw[-1] == 0x1A, 'no end-of-file byte')
    for i, width in enumerate(widths):
        descriptor = raw[32 + 32 * i:64 + 32 * i]
        check(descriptor[11:12] == b'C' and descriptor[16] == width,
              'descriptor %d: %r' % (i, descriptor))

    # ignorecase=False: its case-blind lookup globs, and brackets in a folder
    # name are glob patterns.
    table = dbfread.DBF(path, encoding='gb18030', char_decode_errors='cp936-euro',
                        ignorecase=False)
    want_names = expected_names([n for n, _ in case.columns])
    check(table.field_names == want_names, 'names %r, expected %r' % (table.field_names, want_names))
    records = list(table)
    check(len(records) == len(case.rows), 'dbfread read %d records' % len(records))
    for r, (record, row) in enumerate(zip(records, case.rows)):
        got = list(record.values())
        # A character field cannot tell trailing spaces from padding.
        want = [decode(cut(v, w)).rstrip(' ') for v, w in zip(row, widths)]
        if got != want:
            failures.append('%s: row %d: %r, expected %r' % (case.title, r + 1, got, want))

    if shutil.which('ogrinfo'):
        info = subprocess.run(['ogrinfo', '-ro', '-so', '-al', path], capture_output=True)
        text = info.stdout.decode('utf-8', 'replace')
        check(info.returncode == 0 and 'Feature Count: %d' % count in text,
              'ogrinfo: %s %s' % (text, info.stderr.decode('utf-8', 'replace')))
    return True


def main():
    tool = sys.argv[1]
    many = [('F%d' % i, 1) for i in range(1, 256)]
    odd_names = ['Code', 'code', 'CODE', '一二三四五六', 'ABCDEFGHIJKL', 'ABCDEFGHIJXY', '单价 (元)',
                 'a,b', "it's", 'x]y', '丄', '乤', '😀名']
    cases = [
        Case('the run\'s statements',
             [('Code', 8), ('名称', 100)],
             [['1', '苹果'], ["O'Brien", '€5 价格'], ['a,b', '(x), [y]'], ['', ''],
              ['12345678901', '一' * 60], ['😀😀😀', 'x😀' * 30], ['  lead', 'trail  '],
              ["'", "''"], ['丄乤', 'end'], ['a\tb', '·—“”…《》，。']],
             folder_name="my data (2024) [v1], O'Brien's 数据"),
        Case('renamed fields', [(n, 10) for n in odd_names],
             [['v%d' % i for i in range(len(odd_names))]]),
        Case('255 fields', many, [['x'] * 255, [''] * 255], folder_name='many'),
        Case('dropped without Close after several batches', [('A', 200)],
             [['%d' % i + 'v' * 150] for i in range(1000)], folder_name='dropped', close=False),
        Case('stopped by a malformed insert', [('A', 5)], [['a'], ['b'], ['c']],
             folder_name='stopped', extra=["insert into  {path}  (A)  values ('O'Brien')"],
             expect_error=1211),
    ]
    failures = []
    root = tempfile.mkdtemp(prefix='e2d-dbfread-')
    try:
        for case in cases:
            run_case(tool, root, case, failures)
    finally:
        shutil.rmtree(root, ignore_errors=True)
    if not shutil.which('ogrinfo'):
        print('ogrinfo not installed: GDAL check skipped')
    for failure in failures:
        print('FAIL', failure)
    print('%d cases, %d failures' % (len(cases), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
