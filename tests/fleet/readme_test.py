#!/usr/bin/python3
"""The README's command blocks for a fresh machine, run as written: every
```sh block preceded by the line "<!-- readme-test -->", in the README's
order, in the checkout, in a throwaway copy of this machine (an overlay of
/ in a private mount namespace, throwaway_root.sh) where the simulator
answers as hbacmd for the site cna-basic.  Building the package and
installing it, laying out /srv/fcguard and the runs there change nothing
on the machine.

  readme_test.py SOURCE_DIR BUILD_DIR

Status 77 (skipped) when not root or mount namespaces do not work here,
or when BUILD_DIR is not the checkout's build/ (the blocks use build/)."""

import os
import re
import shutil
import subprocess
import sys
import tempfile

source, build = (os.path.abspath(a) for a in sys.argv[1:3])
if os.geteuid() != 0 or not shutil.which('unshare'):
    print('skipped: needs root and unshare')
    sys.exit(77)
if build != source + '/build':
    print('skipped: the README\'s blocks use build/, and this build is %s' % build)
    sys.exit(77)

with open(source + '/README.md') as f:
    readme = f.read()
blocks = re.findall(r'^<!-- readme-test -->\n```sh\n(.*?)^```$', readme, re.M | re.S)
if not blocks or len(blocks) != len(re.findall(r'^<!-- readme-test -->$', readme, re.M)):
    print('a "<!-- readme-test -->" line not followed by a ```sh block')
    sys.exit(1)

work = tempfile.mkdtemp(prefix='fcguard-readme.')
paths = []
for number, block in enumerate(blocks, 1):
    paths.append('%s/block%d.sh' % (work, number))
    with open(paths[-1], 'w') as f:
        f.write(block)
os.mkdir(work + '/layers')
ran = subprocess.run(['unshare', '--mount', '--propagation', 'private', 'bash',
                      os.path.dirname(os.path.abspath(__file__)) + '/throwaway_root.sh',
                      work + '/layers', source, build + '/hbacmd-sim',
                      source + '/sim/sites/cna-basic.site'] + paths,
                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
print(ran.stdout)
shutil.rmtree(work)
sys.exit(0 if ran.returncode == 0 else 1)
