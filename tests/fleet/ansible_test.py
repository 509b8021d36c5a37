#!/usr/bin/python3
"""The fcguard collection under ansible-core: the role (and so the run
module) on five local hosts, each with its own working directory and
simulated site.  The playbook runs in a throwaway copy of this machine (an
overlay of / in a private mount namespace, throwaway_root.sh) where the
simulator answers as hbacmd: the role installs the package built from this
tree there and runs the installed fcguard with its installed return-code
table and fcguard-replay.  Then the fetched captures replay with the
statuses the hosts had.

  ansible_test.py SOURCE_DIR BUILD_DIR

Hosts: pass (cna-basic: ok), refused (invalid-storage: failed, with the
status name and the reason), noctrl (empty: skipped), flash (cna-basic,
--flash: changed), dryrun (cna-basic, --flash in check mode: --simulate,
nothing downloaded).  Status 77 (skipped) without ansible-playbook, when
not root or without unshare."""

import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

from fleet_check import check, finish, need_tools

source, build = (os.path.abspath(a) for a in sys.argv[1:3])
need_tools(('ansible-playbook', 'ansible-galaxy'), 'ansible-core')
if os.geteuid() != 0 or not shutil.which('unshare'):
    print('skipped: needs root and unshare')
    sys.exit(77)

def run(argv, **kw):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)


work = tempfile.mkdtemp(prefix='fcguard-ansible.')
os.chmod(work, 0o755)
env = dict(os.environ, ANSIBLE_HOME=work + '/home', ANSIBLE_LOCAL_TEMP=work + '/tmp',
           ANSIBLE_REMOTE_TEMP=work + '/tmp', ANSIBLE_COLLECTIONS_PATH=work + '/collections',
           ANSIBLE_STDOUT_CALLBACK='json', ANSIBLE_NOCOLOR='1', ANSIBLE_RETRY_FILES_ENABLED='0',
           ANSIBLE_PIPELINING='1', ANSIBLE_CONFIG=work + '/ansible.cfg')
open(work + '/ansible.cfg', 'w').close()

# The collection as it ships: built and installed like any other.
built = run(['ansible-galaxy', 'collection', 'build', source + '/ansible', '--output-path', work],
            env=env)
check(built.returncode == 0, 'collection build: ' + built.stdout + built.stderr)
tarball = ''.join(glob.glob(work + '/fcguard-fcguard-*.tar.gz')[:1])
installed = run(['ansible-galaxy', 'collection', 'install', '-p', work + '/collections', tarball],
                env=env)
check(installed.returncode == 0, 'collection install: ' + installed.stdout + installed.stderr)

documented = run(['ansible-doc', 'fcguard.fcguard.run'], env=env)
check(documented.returncode == 0 and 'check_then_flash' in documented.stdout,
      'ansible-doc of the module: ' + documented.stdout + documented.stderr)

sites = {'pass': 'cna-basic', 'refused': 'invalid-storage', 'noctrl': 'empty',
         'flash': 'cna-basic', 'dryrun': 'cna-basic'}
images = work + '/images'
os.makedirs(images + '/OCe14102')
with open(images + '/OCe14102/oce14102-10.2.370.19.ufi', 'w') as f:
    f.write('test image\n')
hosts = {}
for host, site in sites.items():
    hosts[host] = {'ansible_connection': 'local',
                   'ansible_python_interpreter': '{{ ansible_playbook_python }}',
                   'fcguard_dir': '%s/hosts/%s' % (work, host),
                   'sim_site': '%s/sim/sites/%s.site' % (source, site),
                   'sim_log': '%s/%s.calls' % (work, host),
                   'fcguard_mode': 'flash' if host in ('flash', 'dryrun') else 'check'}
# The check-mode host holds what an earlier run left: the conditions, the
# images and the reports (which the simulator writes as a full run would).
dryrun = work + '/hosts/dryrun'
shutil.copytree(images, dryrun)
shutil.copy(source + '/sim/sites/FC_HBA_Conditions.txt', dryrun)
run([build + '/hbacmd-sim', 'generate-reports', hosts['dryrun']['sim_site'], dryrun])

with open(work + '/inventory.json', 'w') as f:
    json.dump({'all': {'hosts': hosts}}, f)
role = {'role': 'fcguard.fcguard.fcguard', 'vars': {
    'fcguard_install': '{{ inventory_hostname == "pass" }}',
    'fcguard_package_file': work + '/fcguard.deb',
    'fcguard_conditions_file': source + '/sim/sites/FC_HBA_Conditions.txt',
    'fcguard_images_dir': images,
    'fcguard_selection': {'pci_id': '19A2:0714'},
    'fcguard_capture_dest': work + '/captures'}}
plays = [{'hosts': 'all:!dryrun', 'gather_facts': False, 'roles': [role]},
         {'hosts': 'dryrun', 'gather_facts': False, 'check_mode': True, 'roles': [role]}]
for play in plays:
    play['environment'] = {'HBACMD_SIM_SITE': '{{ sim_site }}', 'HBACMD_SIM_LOG': '{{ sim_log }}'}
with open(work + '/play.json', 'w') as f:
    json.dump(plays, f)

# In the throwaway copy: the package built from this tree, then the
# playbook; only what lands in the work directory stays.
with open(work + '/package.sh', 'w') as f:
    f.write('cd "%s" && cpack -G DEB >/dev/null && cp fcguard_*_amd64.deb "%s/fcguard.deb"\n'
            % (build, work))
with open(work + '/play.sh', 'w') as f:
    f.write(''.join('export %s="%s"\n' % (k, v) for k, v in env.items() if k.startswith('ANSIBLE_')))
    f.write('cd "%s" && ansible-playbook -i inventory.json play.json >played.json 2>played.err'
            ' || echo "ansible-playbook: status $?"\n' % work)
os.mkdir(work + '/layers')
root = run(['unshare', '--mount', '--propagation', 'private', 'bash',
            os.path.dirname(os.path.abspath(__file__)) + '/throwaway_root.sh', '--keep', work,
            work + '/layers', source, build + '/hbacmd-sim', os.devnull,
            work + '/package.sh', work + '/play.sh'])
with open(work + '/played.json') as f:
    played = subprocess.CompletedProcess([], root.returncode, f.read(), root.stdout + root.stderr)
try:
    report = json.loads(played.stdout)
except ValueError:
    print(played.stdout + played.stderr + '\nkept ' + work)
    sys.exit(1)
results = {}
for play in report['plays']:
    for task in play['tasks']:
        if task['task']['name'].endswith(' : Run fcguard'):
            results.update(task['hosts'])
check(sorted(results) == sorted(sites), 'run on every host: %s' % sorted(results))


def result(host):
    return results.get(host, {})


def calls(host):
    try:
        with open(hosts[host]['sim_log']) as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


have_table = os.path.exists(build + '/return-codes.json')
have_explain = '--explain' in run([build + '/fcguard-replay', '--help']).stdout

r = result('pass')
check(r.get('cmd', [''])[0] == '/usr/sbin/fcguard', 'pass: the installed fcguard: %s' % r.get('cmd'))
check(r.get('status') == 0 and not r.get('failed') and not r.get('changed')
      and not r.get('skipped'), 'pass: ok, not changed: %s' % r)
check(r.get('status_name') == ('RET_OK' if have_table else ''), 'pass: status name')

r = result('refused')
check(r.get('failed') and r.get('status') == 4, 'refused: failed with 4: %s' % r)
check('status 4' in r.get('msg', ''), 'refused: the status in the message: %s' % r.get('msg'))
if have_table:
    check(r.get('status_name') == 'RET_INVALID_CTRL_SUBSYSTEM_COMBINATION' and r.get('meaning'),
          'refused: name and meaning from the table: %s' % r)
if have_explain:
    check('LUNZ' in r.get('reason', '') and r['reason'] in r['msg'],
          'refused: the reason names the refused storage: %s' % r.get('reason'))
else:
    check(r.get('reason') == '', 'refused: no reason without fcguard-replay --explain')

r = result('noctrl')
check(r.get('skipped') and r.get('status') == 13 and not r.get('failed'),
      'noctrl: skipped with 13: %s' % r)

r = result('flash')
check(r.get('changed') and r.get('status') == 0 and not r.get('failed'),
      'flash: changed: %s' % r)
check(any(c.startswith('download ') for c in calls('flash')), 'flash: downloaded')

r = result('dryrun')
check(r.get('status') == 0 and not r.get('changed') and '--simulate' in r.get('cmd', []),
      'dryrun: --simulate, not changed: %s' % r)
check(calls('dryrun') == [], 'dryrun: no hbacmd call: %s' % calls('dryrun'))
check(not os.path.exists(dryrun + '/OCe14102/FWtrace.out'), 'dryrun: no flash trace')

# Every host's capture was fetched, the failed one included, and replays
# with the status the host had.
captures = [work + '/captures/' + h for h in sorted(sites)]
for c in captures:
    check(os.path.isfile(c + '/local_hba_list.out') and os.path.isfile(c + '/FC_HBA_Conditions.txt'),
          'capture fetched: %s' % c)
replayed = run([build + '/fcguard-replay'] + captures + ['--', '-pci-id', '19A2:0714'])
statuses = {}
for line in replayed.stdout.splitlines():
    cells = line.split('\t')
    statuses[os.path.basename(cells[0])] = cells[1] if len(cells) > 1 else None
expected = {'pass': '0', 'refused': '4', 'noctrl': '13', 'flash': '0', 'dryrun': '0'}
check(statuses == expected, 'replayed statuses %s, the hosts had %s\n%s' %
      (statuses, expected, replayed.stderr))

finish(work)
