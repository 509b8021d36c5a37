"""What the fleet tests share: a skip without a tool they need, and a list
of failures that each test reports once at its end."""

import shutil
import sys

failures = []


def need_tools(tools, installs):
    """Ends the test as skipped (77) when one of the tools is missing."""
    for tool in tools:
        if not shutil.which(tool):
            print('skipped: %s is not installed (scripts/deps test installs %s)' % (tool, installs))
            sys.exit(77)


def check(condition, what):
    if not condition:
        failures.append(what)
        print('FAILED: ' + what)


def finish(work):
    """Ends the test: failed, keeping its directory, or passed, removing it."""
    if failures:
        print('%d failure(s); kept %s' % (len(failures), work))
        sys.exit(1)
    shutil.rmtree(work)
