#!/usr/bin/python3
"""The periodic check as installed: fcguard-check.service and .timer pass
systemd-analyze verify (with the installed fcguard-check and manual page),
fcguard-check is clean under shellcheck, and what it writes for the node
exporter parses as Prometheus text format (a strict parser below) with the
status of the run, replaced whole on every run.  Also: the installed
sandbox finds the installed simulator.

  units_test.py SOURCE_DIR BUILD_DIR

Status 77 (skipped) without systemd-analyze or shellcheck."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

from fleet_check import check, finish, need_tools
import time

source, build = (os.path.abspath(a) for a in sys.argv[1:3])
need_tools(('systemd-analyze', 'shellcheck'), 'it')

def run(argv, env=None):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          env=env)


# The Prometheus text format, strictly: HELP and TYPE before a metric's
# samples and once each, names and label names of the allowed characters,
# label values with only \\, \" and \n escaped, a number as value, each
# series once, a line break at the end.  Returns {(name, labels): value}.
NAME = r'[a-zA-Z_:][a-zA-Z0-9_:]*'
LABEL = r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\\n]|\\[\\"n])*)"'
SAMPLE = re.compile(r'^(%s)(?:\{(%s(?:,%s)*)?\})? (\S+)(?: (-?[0-9]+))?$' % (NAME, LABEL, LABEL))


def parse_prometheus(text):
    if not text.endswith('\n'):
        raise ValueError('no line break at the end')
    help_seen, types, series = set(), {}, {}
    for line in text[:-1].split('\n'):
        if line.startswith('# HELP ') or line.startswith('# TYPE '):
            words = line.split(' ', 3)
            if len(words) < 4 or not re.fullmatch(NAME, words[2]):
                raise ValueError('bad line: %r' % line)
            seen = help_seen if words[1] == 'HELP' else types
            if words[2] in seen or any(k[0] == words[2] for k in series):
                raise ValueError('%s of %s repeated or after its samples' % (words[1], words[2]))
            if words[1] == 'HELP':
                help_seen.add(words[2])
            elif words[3] not in ('counter', 'gauge', 'histogram', 'summary', 'untyped'):
                raise ValueError('bad type: %r' % line)
            else:
                types[words[2]] = words[3]
            continue
        if line.startswith('#'):
            continue
        match = SAMPLE.match(line)
        if not match:
            raise ValueError('bad sample: %r' % line)
        labels = tuple(sorted(re.findall(LABEL, match.group(2) or '')))
        if len(set(k for k, _ in labels)) != len(labels):
            raise ValueError('label repeated: %r' % line)
        value = match.group(7)
        if not re.fullmatch(r'[-+]?([0-9]+(\.[0-9]*)?([eE][-+]?[0-9]+)?|Inf|NaN)', value):
            raise ValueError('bad value: %r' % line)
        key = (match.group(1), labels)
        if key in series:
            raise ValueError('series repeated: %r' % line)
        series[key] = float(value)
    return series


work = tempfile.mkdtemp(prefix='fcguard-units.')
stage = work + '/stage'
env = dict(os.environ, DESTDIR=stage)
installed = run(['cmake', '--install', build, '--prefix', '/usr'], env=env)
check(installed.returncode == 0, 'cmake --install: ' + installed.stdout)
units = stage + '/usr/lib/systemd/system'
script = stage + '/usr/libexec/fcguard/fcguard-check'

# The installed sandbox serves the installed simulator by default.
served = run(['bash', stage + '/usr/libexec/fcguard/sandbox', '--', 'test', '-x',
              '/opt/emulex/ocmanager/bin/hbacmd'])
check(served.returncode == 0, 'installed sandbox without --sim: ' + served.stdout)

linted = run(['shellcheck', '-S', 'warning', script])
check(linted.returncode == 0, 'shellcheck: ' + linted.stdout)

# The service names the installed script; here it is the staged one.
os.mkdir(work + '/units')
with open(units + '/fcguard-check.service') as f:
    service = f.read()
check('ExecStart=/usr/libexec/fcguard/fcguard-check\n' in service, 'the service runs fcguard-check')
with open(work + '/units/fcguard-check.service', 'w') as f:
    f.write(service.replace('/usr/libexec/fcguard/', stage + '/usr/libexec/fcguard/'))
shutil.copy(units + '/fcguard-check.timer', work + '/units/')
verified = subprocess.run(['systemd-analyze', 'verify', 'fcguard-check.service', 'fcguard-check.timer'],
                          cwd=work + '/units', stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, env=dict(os.environ, MANPATH=stage + '/usr/share/man'))
check(verified.returncode == 0 and verified.stdout == '', 'systemd-analyze verify: ' + verified.stdout)

# Runs fcguard-check against a simulated site in the sandbox; returns its
# status and the metrics it wrote.
directory = work + '/srv'
textfiles = work + '/textfile'
os.mkdir(directory, 0o755)
os.mkdir(textfiles)
shutil.copy(source + '/sim/sites/FC_HBA_Conditions.txt', directory)


def check_run(site, selection, expected, said=''):
    before = int(time.time())
    ran = run(['bash', source + '/sim/sandbox', '--sim', build + '/hbacmd-sim', '--', script],
              env=dict(os.environ, FCGUARD_PROGRAM=build + '/fcguard',
                       FCGUARD_REPLAY=build + '/fcguard-replay', FCGUARD_DIR=directory,
                       FCGUARD_TEXTFILE_DIR=textfiles, FCGUARD_SELECTION=selection,
                       HBACMD_SIM_SITE=source + '/sim/sites/%s.site' % site))
    after = int(time.time())
    check(said in ran.stdout, 'fcguard-check %s says %r: %s' % (site, said, ran.stdout))
    check(ran.returncode == expected, 'fcguard-check %s: status %d, not %d: %s' %
          (site, ran.returncode, expected, ran.stdout))
    check(sorted(os.listdir(textfiles)) == ['fcguard.prom'], 'only fcguard.prom: %s' %
          os.listdir(textfiles))
    check(os.stat(textfiles + '/fcguard.prom').st_mode & 0o777 == 0o644, 'fcguard.prom is 644')
    with open(textfiles + '/fcguard.prom') as f:
        text = f.read()
    try:
        series = parse_prometheus(text)
    except ValueError as e:
        check(False, 'not Prometheus text format: %s\n%s' % (e, text))
        return
    label = (('selection', selection.replace('\\', '\\\\').replace('"', '\\"')),)
    check(series.get(('fcguard_status', label)) == expected, 'fcguard_status: %s' % text)
    stamp = series.get(('fcguard_last_run_timestamp_seconds', label))
    check(stamp is not None and before <= stamp <= after, 'timestamp: %s' % text)
    check(len(series) == 2, 'two series: %s' % text)


check_run('cna-basic', '-pci-id 19A2:0714', 0)
# fcguard-replay --explain tells why in the journal, where it can.
explains = '--explain' in run([build + '/fcguard-replay', '--help']).stdout
check_run('invalid-storage', '-pci-id 19A2:0714', 4,
          '\t4\tRET_INVALID_CTRL_SUBSYSTEM_COMBINATION\t' if explains else '')
check_run('cna-basic', '-pci-id 19A2:0714 -mod "a\\b', 3)
check_run('cna-basic', '', 125)

finish(work)
