#!/usr/bin/env python3
"""Writes a `kbndump --json` document in kbndump's text form, so a test can
hold the two listings against each other."""
import json
import sys


def quoted(name):
    text = ''
    for c in name:
        byte = ord(c)
        if c in '"\\':
            text += '\\' + c
        elif 0x20 <= byte < 0x7F:
            text += c
        else:
            text += '\\x%02X' % byte
    return '"' + text + '"'


def amount(g):
    a = g['amount']
    return '%d-%d' % (a['low'], a['high']) if isinstance(a, dict) else str(a)


def zones(owner):
    lines = []
    for z, zone in enumerate(owner['zones']):
        lines.append('  zone %d:' % z + ''.join(' %s=%s' % (g['name'], amount(g)) for g in zone['generators']))
        for m in zone['modulators']:
            destination = m['destination_name'] or '0x%04X' % m['destination']
            lines.append('    modulator source=0x%04X destination=%s amount=%d amountSource=0x%04X transform=%d'
                         % (m['source'], destination, m['amount'], m['amount_source'], m['transform']))
    return lines


bank = json.load(open(sys.argv[1]))
lines = ['bank: %d samples, %d instruments, %d presets, %d bytes'
         % (len(bank['samples']), len(bank['instruments']), len(bank['presets']), bank['bytes'])]
for s in bank['samples']:
    bits = '%.2f' % (s['encoded_bits'] / s['length']) if s['length'] else '-'
    lines.append('sample %d %s length=%d loop=%d-%d rate=%d key=%d correction=%d flags=0x%02X bytes=%d bits/sample=%s'
                 % (s['index'], quoted(s['name']), s['length'], s['loop_start'], s['loop_end'], s['sample_rate'],
                    s['root_key'], s['pitch_correction'], s['flags'], 10 + s['encoded_bytes'], bits))
for i in bank['instruments']:
    lines += ['instrument %d %s' % (i['index'], quoted(i['name']))] + zones(i)
for p in bank['presets']:
    lines += ['preset %d %s bank=%d program=%d' % (p['index'], quoted(p['name']), p['bank'], p['preset'])] + zones(p)
print('\n'.join(lines))
