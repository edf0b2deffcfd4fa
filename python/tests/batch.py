"""The batch runner beside the module under test, run as a shell runs it."""

import os
import subprocess

BATCH = os.environ["GRAVLAG_BATCH"]


def batch(*arguments, status=None):
    """gravlag-batch's standard output and error for these arguments."""
    done = subprocess.run([BATCH, *arguments], capture_output=True, text=True, check=False)
    if status is not None:
        assert done.returncode == status, done.stderr
    return done.stdout, done.stderr
