#!/usr/bin/env python3
# Writes the seed corpora of the binary targets (month files, station answers, readings); run from
# tests/fuzz when their layouts change.
import datetime
import struct

base = (datetime.date(2024, 6, 1) - datetime.date(1899, 12, 30)).days


def rec(t, sky=-20.0, temp=12.5):
    return struct.pack('<d11fBBBIBBBdf', t, 1.2, sky, 2.1, 14.0, temp, 13.0, sky - temp, 71.0, 7.4, 3.5, 202.5,
                       1, 0, 10, 123456, 4, 2, 1, 1.75, 12.1)


def month(records, count=None, magic=0xF78A1112):
    return struct.pack('<Ii', magic, len(records) if count is None else count) + b''.join(records)


def write(path, data):
    with open(path, 'wb') as f:
        f.write(data)


recs = [rec(base + 2 + i / 144.0, -20 + i, 10 + i / 10) for i in range(6)]
d = 'corpus/fuzz_month_file/'
write(d + 'sound_6_records', month(recs))
write(d + 'count_says_9', month(recs, 9))
write(d + 'cut_record', month(recs)[:-30])
write(d + 'empty_month', month([]))
write(d + 'zero_magic', month(recs, magic=0))
write(d + 'out_of_order', month([recs[2], recs[0], recs[1], recs[3]]))
write(d + 'other_month', month([rec(base - 3)] + recs[:2] + [rec(base + 40)]))

# Station answers: a control byte below 0x80 sends its payload in a correct frame, from 0x80 raw bytes.
def framed(p):
    return bytes([len(p)]) + bytes(p)


def raw(b):
    return bytes([0x80 | len(b)]) + bytes(b)


def bcd(v):
    return (v // 10) * 16 + v % 10


weather = [0x20, 0x03, 0x10, 0x03, 0x40, 0x02, bcd(30), bcd(15), bcd(21), bcd(11), bcd(6), bcd(24),
           0x18, 0x03, 0x80, 0x01, 0x00, 0x02, 1]
gust = [0, 0, 0] + [0] * 8 + [5, 42, 0]
flags = [0, 0, 0, 35] + [0] * 9 + [1, 0, 1, 0]
version = [2, 60, 0, 0, 170, 3, 60, 0, 0, 1, 0, 0, 1, 1, 90, 30, 1, 0, 0, 0x40]
irgain = [0, 0, 12, 40]
light = [0, 1, 0x86, 0xa0, 4, 2]
memory = [0x24, 0x06, 0x15, 0x21, 0x10, 0x00, 0x03, 0x2a, 0x80, 0x01, 0x40, 0x02, 0x20, 0x03, 0x10, 0x20, 0x00]
d = 'corpus/fuzz_station_answers/'
write(d + 'sensor_infos', bytes([1]) + framed(weather) + framed(gust) + framed(flags))
write(d + 'sensor_infos_analog_wind', bytes([1]) + framed(weather) + framed([0, 0, 0x80] + [0] * 11)
      + framed([0x00, 0x30, 0x00, 0x50]) + framed(flags))
write(d + 'sensor_infos_bad_checksum', bytes([1]) + raw([0x1f, 20] + weather + [0]))
write(d + 'version', bytes([0]) + framed(version) + framed(irgain))
write(d + 'light_twice', bytes([2]) + framed(light) + framed([0, 2, 0x86, 0xa0, 4, 2]))
write(d + 'download', bytes([3]) + framed(version) + framed(irgain) + b''.join(framed(memory) for _ in range(10)))
write(d + 'date', bytes([4]) + framed(weather))
write(d + 'long_header', bytes([1]) + raw([0x1f, 0xff, 1, 2, 3]))

d = 'corpus/fuzz_condition_files/'
values = struct.pack('<BBBB14dB', 1, 1, 1, 2, -25.0, 12.0, 14.0, 11.0, 200.0, 71.0, 7.4, 5.0, 20.5, -8.0, -5.0,
                     30.0, 50.0, base + 27.5, 1)
for f in range(3):
    write(d + 'reading_flavour%d' % (f + 1), rec(base + 27.49) + bytes([f]) + struct.pack('<d', base + 27.5) + values)
write(d + 'nan_date', struct.pack('<d', float('nan')) + rec(0)[8:] + bytes([0]) + struct.pack('<d', 1e308))
