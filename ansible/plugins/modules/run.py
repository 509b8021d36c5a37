#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright (c) the fcguard developers; MIT licence (see the collection's LICENSE).
"""Runs fcguard in a working directory and turns its exit status into an
Ansible result, with the status's name and meaning from fcguard's
return-code table and the reason from fcguard-replay's explanation of the
reports the run left."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: run
short_description: Run fcguard (check or flash the converged network adapters) in a working directory
description:
  - Runs C(cd chdir && fcguard --conpath . MODE SELECTION), so that fcguard reads
    C(FC_HBA_Conditions.txt) and the firmware images from I(chdir) and writes the
    C(hbacmd) reports there.
  - Returns fcguard's exit status with its name and meaning from the return-code
    table C(/usr/share/fcguard/return-codes.json), and a one-line reason from
    C(fcguard-replay --explain) (empty when fcguard-replay cannot explain).
  - "Statuses become results: 0 is ok (changed when a flash ran); 12 and 13 (no
    matching controller, no controller at all) are skipped, or as I(no_controller)
    says; every other status fails, with the status in the message."
  - "In check mode fcguard runs with C(--simulate): no C(hbacmd) command runs, the
    reports already in I(chdir) are read, and nothing is flashed."
version_added: "1.2.0"
options:
  chdir:
    description: The working directory (root-owned, not writable by others) holding C(FC_HBA_Conditions.txt) and the images.
    type: path
    required: true
    aliases: [dir]
  selection:
    description:
      - The controllers to check, as fcguard's selection options without their dash.
      - 'Keys C(pci_id), C(vid), C(subvid), C(dev), C(subdev), C(vn), C(mod); for example C({pci_id: "19A2:0714"}).'
    type: dict
    required: true
  mode:
    description: C(check) checks, C(flash) flashes without a check, C(check_then_flash) flashes only after a passed check.
    type: str
    choices: [check, flash, check_then_flash]
    default: check
  checks:
    description: The checks of C(check) and C(check_then_flash).
    type: list
    elements: str
    choices: [valid_subsystem, ctrl_wide_identical, ctrl_vendor_wide_identical]
    default: [valid_subsystem]
  no_controller:
    description: The result for 12 and 13 (no matching controller, no controller installed).
    type: str
    choices: [skipped, ok, failed]
    default: skipped
  verbosity:
    description: fcguard's C(-v) level (0 to 6); its output is returned in C(stdout) and C(stderr).
    type: int
    default: 1
  program:
    description: The fcguard program.
    type: path
    default: /usr/sbin/fcguard
  replay:
    description: fcguard-replay, for the reason. Default C(/usr/sbin/fcguard-replay), else C(/usr/libexec/fcguard/fcguard-replay).
    type: path
  return_codes:
    description: The return-code table.
    type: path
    default: /usr/share/fcguard/return-codes.json
notes:
  - A hung C(hbacmd) is waited for without limit; give the task a C(timeout).
author: fcguard developers
'''

EXAMPLES = r'''
- name: Is the attached storage allowed?
  fcguard.fcguard.run:
    chdir: /srv/fcguard
    selection: {pci_id: "19A2:0714"}

- name: Flash after a passed check
  fcguard.fcguard.run:
    chdir: /srv/fcguard
    selection: {pci_id: "19A2:0714"}
    mode: check_then_flash
'''

RETURN = r'''
status:
  description: fcguard's exit status.
  returned: when fcguard ran
  type: int
  sample: 4
status_name:
  description: The status's name from the return-code table (empty when the table or the status is not there).
  returned: when fcguard ran
  type: str
  sample: RET_INVALID_CTRL_SUBSYSTEM_COMBINATION
meaning:
  description: The status's meaning from the return-code table.
  returned: when fcguard ran
  type: str
reason:
  description: One line from C(fcguard-replay --explain) on the reports the run left; empty when it cannot tell.
  returned: when fcguard ran
  type: str
cmd:
  description: The command line that ran (in I(chdir)).
  returned: always
  type: list
  elements: str
stdout:
  description: fcguard's standard output.
  returned: when fcguard ran
  type: str
stderr:
  description: fcguard's standard error.
  returned: when fcguard ran
  type: str
capture:
  description: The capture in I(chdir) (the hbacmd reports and the conditions file), absolute paths, for fetching.
  returned: always
  type: list
  elements: str
'''

import json
import os
import re

from ansible.module_utils.basic import AnsibleModule

# The selection options, in the order they are passed.
SELECTION_OPTIONS = (('pci_id', '-pci-id'), ('vid', '-vid'), ('subvid', '-subvid'),
                     ('dev', '-dev'), ('subdev', '-subdev'), ('vn', '-vn'), ('mod', '-mod'))
CHECK_OPTIONS = {'valid_subsystem': '--check-for-valid-subsystem',
                 'ctrl_wide_identical': '--ctrl-wide-identical',
                 'ctrl_vendor_wide_identical': '--ctrl-vendor-wide-identical'}
NO_CONTROLLER = (12, 13)
REPLAY_PLACES = ('/usr/sbin/fcguard-replay', '/usr/libexec/fcguard/fcguard-replay')
CAPTURE_NAMES = re.compile(r'^(local_hba_list\.out|.+_hba_attributes\.out|.+_target_mapping\.out'
                           r'|FC_HBA_Conditions\.txt)$')
TABLE_LIMIT = 1 << 20
EXPLAIN_LIMIT = 1 << 20


def fcguard_arguments(params, check_mode):
    """The arguments after --conpath ., in the order fcguard documents."""
    unknown = sorted(set(params['selection']) - set(k for k, _ in SELECTION_OPTIONS))
    if unknown:
        raise ValueError('unknown selection key(s): %s' % ', '.join(unknown))
    if params['mode'] == 'check_then_flash' and not params['checks']:
        raise ValueError('check_then_flash needs a check: without one the flash runs unchecked')
    args = []
    if params['mode'] in ('check', 'check_then_flash'):
        args += [CHECK_OPTIONS[c] for c in params['checks']]
    if params['mode'] in ('flash', 'check_then_flash'):
        args.append('--flash')
    if check_mode:
        args.append('--simulate')
    for key, option in SELECTION_OPTIONS:
        value = params['selection'].get(key)
        if value is not None:
            args += [option, str(value)]
    if not any(params['selection'].get(key) is not None for key, _ in SELECTION_OPTIONS):
        raise ValueError('the selection names no controller')
    return args


def read_bounded(path, limit):
    with open(path, 'rb') as f:
        data = f.read(limit + 1)
    if len(data) > limit:
        raise ValueError('%s is larger than %d bytes' % (path, limit))
    return data.decode('utf-8', 'replace')


def table_row(path, status):
    """(name, meaning) of status from the return-code table; empty when unknown."""
    try:
        for row in json.loads(read_bounded(path, TABLE_LIMIT)):
            if isinstance(row, dict) and type(row.get('value')) is int and row['value'] == status:
                return str(row.get('name') or ''), str(row.get('meaning') or '')
    except (OSError, ValueError, TypeError):
        pass
    return '', ''


def explain(module, replay, chdir, status, args):
    """fcguard-replay's reason for the reports the run left; '' when it cannot tell."""
    if not replay:
        replay = next((p for p in REPLAY_PLACES if os.access(p, os.X_OK)), None)
    if not replay or not os.access(replay, os.X_OK):
        return ''
    rc, out, _ = module.run_command([replay, '--explain', chdir, '--status', str(status),
                                     '--format', 'json', '--'] + args)
    if rc == 2 or len(out) > EXPLAIN_LIMIT:
        return ''
    try:
        row = json.loads(out)
        if isinstance(row, list):
            row = row[0]
        return ' '.join(str(row.get('reason') or '').split())
    except (ValueError, TypeError, AttributeError, IndexError):
        return ''


def capture(chdir):
    try:
        names = sorted(os.listdir(chdir))
    except OSError:
        return []
    return [os.path.join(chdir, n) for n in names
            if CAPTURE_NAMES.match(n) and os.path.isfile(os.path.join(chdir, n))
            and not os.path.islink(os.path.join(chdir, n))]


def main():
    module = AnsibleModule(
        argument_spec=dict(
            chdir=dict(type='path', required=True, aliases=['dir']),
            selection=dict(type='dict', required=True),
            mode=dict(type='str', default='check', choices=['check', 'flash', 'check_then_flash']),
            checks=dict(type='list', elements='str', default=['valid_subsystem'],
                        choices=sorted(CHECK_OPTIONS)),
            no_controller=dict(type='str', default='skipped', choices=['skipped', 'ok', 'failed']),
            verbosity=dict(type='int', default=1),
            program=dict(type='path', default='/usr/sbin/fcguard'),
            replay=dict(type='path'),
            return_codes=dict(type='path', default='/usr/share/fcguard/return-codes.json'),
        ),
        supports_check_mode=True,
    )
    p = module.params
    chdir = os.path.abspath(p['chdir'])
    if not 0 <= p['verbosity'] <= 6:
        module.fail_json(msg='verbosity must be 0 to 6', cmd=[], capture=[])
    try:
        args = fcguard_arguments(p, module.check_mode)
    except ValueError as e:
        module.fail_json(msg=str(e), cmd=[], capture=[])
    cmd = [p['program'], '--conpath', '.', '-v', str(p['verbosity'])] + args
    if not os.path.isdir(chdir):
        module.fail_json(msg='working directory %s does not exist' % chdir, cmd=cmd, capture=[])

    status, out, err = module.run_command(cmd, cwd=chdir)
    name, meaning = table_row(p['return_codes'], status)
    reason = explain(module, p['replay'], chdir, status, args)
    result = dict(status=status, status_name=name, meaning=meaning, reason=reason, cmd=cmd,
                  stdout=out, stderr=err, capture=capture(chdir), changed=False)
    said = 'fcguard ended with status %d%s%s' % (status, ' (%s)' % name if name else '',
                                                 ': %s' % reason if reason else '')
    if status == 0:
        result['changed'] = p['mode'] != 'check' and not module.check_mode
        module.exit_json(msg=said, **result)
    if status in NO_CONTROLLER and p['no_controller'] != 'failed':
        result['skipped'] = p['no_controller'] == 'skipped'
        module.exit_json(msg=said, **result)
    module.fail_json(msg=said, **result)


if __name__ == '__main__':
    main()
