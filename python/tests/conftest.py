import pathlib
import tempfile

import pytest


@pytest.fixture
def tmp_path():
    """A folder of the test's own, removed with everything in it when the test ends (pytest's
    own keeps the folders of the last three runs in the system's temporary folder)."""
    with tempfile.TemporaryDirectory(prefix="gravlag_py_") as folder:
        yield pathlib.Path(folder)
