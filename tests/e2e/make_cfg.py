#!/usr/bin/env python3
"""Writes a Pelmora.cfg for the end-to-end tests.

Usage: make_cfg.py OUT NAME=HOST,MIRROR[,key=value...] ...
Keys (task record fields): InMain InMirror SizeDiffer NewInMain NewInMirror EmptyDir AutoMode
IntoSub MaxErr Speed DelOn DelList IgnoreOn IgnoreList User Password (the share's login; a
value holds no comma). Defaults are those of a new task with IntoSub on and InMain/NewInMain
copying host to mirror.
"""
import struct
import sys

RECORD_SIZE = 3458
OFFSETS = {
    'Deletions': 0, 'Guard': 1,  # Reserved[0] and [1]: 0 is the default (trash, guard on), 1 the other
    'InMain': 38, 'InMirror': 39, 'SizeDiffer': 40, 'NewInMain': 41, 'NewInMirror': 42, 'IntoSub': 43,
    'MainDir': 44, 'MirrorDir': 556, 'EmptyDir': 2092, 'AutoMode': 2093, 'Desc': 2094,
    'IgnoreOn': 2606, 'DelOn': 2607, 'IgnoreList': 2608, 'DelList': 2864,
    'User': 3120, 'Password': 3152,
    'Speed': 3184, 'MaxErr': 3446, 'Ignore1Hour': 3449, 'TimeShift': 3450,
}
SHORT_TEXTS = {'User', 'Password'}  # a length byte and at most 31 bytes
FLAGS = {'IntoSub', 'AutoMode', 'IgnoreOn', 'DelOn', 'Ignore1Hour'}


def record(host, mirror, fields):
    rec = bytearray(RECORD_SIZE)

    def put_text(name, text, size):
        data = text.encode('utf-8')[:size - 1]
        rec[OFFSETS[name]:OFFSETS[name] + len(data)] = data

    def put_counted(name, text):
        data = text.replace('|', '\r\n').encode('utf-8')[:255]
        rec[OFFSETS[name]] = len(data)
        rec[OFFSETS[name] + 1:OFFSETS[name] + 1 + len(data)] = data

    struct.pack_into('<i', rec, OFFSETS['Speed'], 0)
    struct.pack_into('<H', rec, OFFSETS['MaxErr'], 10)
    rec[OFFSETS['Ignore1Hour']] = 0xFF
    struct.pack_into('<d', rec, OFFSETS['TimeShift'], 2 / 86400 + 0.00000001)
    rec[OFFSETS['IntoSub']] = 0xFF
    rec[OFFSETS['InMain']] = 2
    rec[OFFSETS['NewInMain']] = 2
    put_text('MainDir', host, 512)
    put_text('MirrorDir', mirror, 512)
    for key, value in fields.items():
        if key in ('DelList', 'IgnoreList'):
            put_counted(key, value)
        elif key in SHORT_TEXTS:
            data = value.encode('utf-8')[:31]
            rec[OFFSETS[key]] = len(data)
            rec[OFFSETS[key] + 1:OFFSETS[key] + 1 + len(data)] = data
        elif key == 'Speed':
            struct.pack_into('<i', rec, OFFSETS[key], int(value))
        elif key == 'MaxErr':
            struct.pack_into('<H', rec, OFFSETS[key], int(value))
        elif key in FLAGS:
            rec[OFFSETS[key]] = 0xFF if value not in ('0', 'false') else 0
        else:
            rec[OFFSETS[key]] = int(value)
    return bytes(rec)


def main():
    out = sys.argv[1]
    names = []
    records = []
    for arg in sys.argv[2:]:
        name, rest = arg.split('=', 1)
        parts = rest.split(',')
        fields = dict(p.split('=', 1) for p in parts[2:])
        names.append(name)
        records.append(record(parts[0], parts[1], fields))
    header = struct.pack('<ii', 65627, RECORD_SIZE) + bytes(1016)
    text = ''.join(n + '\r\n' for n in names).encode('utf-8') + b'\0'
    with open(out, 'wb') as f:
        f.write(header + text + b''.join(records) + struct.pack('<i', 0))


if __name__ == '__main__':
    main()
