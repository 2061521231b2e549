#!/usr/bin/env python3
"""Writes the hand-made tricky configuration files that the loader test replays.

Run from this folder; the files are committed, so this is only needed to change them."""
import struct

REC = 3458
OLD = 2092


def header(record_size, version=65627):
    return struct.pack('<ii', version, record_size).ljust(1024, b'\0')


def default_record():
    r = bytearray(REC)
    r[3184:3188] = struct.pack('<i', 3000)
    r[3446:3448] = struct.pack('<H', 10)
    r[3449] = 0xFF
    r[3450:3458] = bytes.fromhex('3B97AAD27748F83E')
    return r


def schedule(name, kind=1, time=0.5, repeat=-1, next_run=45000.5, name_len=None):
    n = name.encode()
    item = bytes([len(n) if name_len is None else name_len]) + n.ljust(15, b'\0')[:15]
    item += bytes([3]) + b'Job'.ljust(15, b'\0')
    item += struct.pack('<BBdhd', kind, 2, time, repeat, next_run)
    assert len(item) == 52
    return item


def count(n):
    return struct.pack('<i', n)


files = {}
files['empty.cfg'] = b''
files['three-bytes.cfg'] = b'ab\r'
files['truncated-header.cfg'] = header(REC)[:6]
files['header-cut-at-1000.cfg'] = header(REC)[:1000]
files['huge-record-size.cfg'] = header(0x7FFFFFFF) + b'A\r\nB\r\n\0' + bytes(range(256)) * 16
files['negative-record-size.cfg'] = header(-1) + b'X\r\n\0' + count(2) + schedule('s1') + schedule('s2')
files['negative-count.cfg'] = header(REC) + b'\0' + count(-7) + schedule('never')
files['huge-count.cfg'] = header(REC) + b'\0' + count(0x7FFFFFFF) + schedule('a') + schedule('b') + schedule('c') + schedule('d')[:30]

r = default_record()
r[2608] = r[2864] = r[3190] = 255
r[3120] = r[3152] = 255
r[44:556] = b'm' * 512
r[556:1068] = b'n' * 512
r[1068:2092] = b'e' * 1024
r[2094:2606] = b'd' * 512
files['length-bytes-255.cfg'] = header(REC) + b'Full\r\n\0' + bytes(r) + count(1) + schedule('', name_len=255)

files['names-without-line-end.cfg'] = header(REC) + b'Last\0' + bytes(default_record())
files['names-mixed-line-ends.cfg'] = header(REC) + b'a\rb\nc\r\n\r\nd\0'
files['names-without-nul.cfg'] = header(REC) + b'x\r\ny'
files['many-empty-names.cfg'] = header(REC) + b'\n' * 20000 + b'\0'

old = bytearray(b'\xb1\xc6\xa5\xf7\r\nsecond\r\n\0')  # fourth byte >= 0x80: the earlier layout
old += bytes(range(256)) * 8 + bytes(OLD - 2048)
old += bytes(OLD)
old += count(2) + schedule('old') + schedule('cut')[:40]
files['earlier-layout-high-bytes.cfg'] = bytes(old)

nan = default_record()
nan[3450:3458] = struct.pack('<d', float('nan'))
files['non-finite-doubles.cfg'] = (header(REC) + b'N\r\n\0' + bytes(nan) + count(2)
                                   + schedule('inf', next_run=float('inf')) + schedule('nan', time=float('nan')))

for name, data in files.items():
    with open(name, 'wb') as f:
        f.write(data)
