import os
import pathlib
import re

import nbformat
import pytest
from nbclient import NotebookClient

NOTEBOOKS = pathlib.Path(__file__).resolve().parents[2] / "docs" / "notebooks"


@pytest.mark.parametrize("name, figures", [
    ("delay_effects.ipynb", ["orbit", "elements", "budget", "orbit", "elements", "apsis", "budget"]),
    ("sweep_over_c.ipynb", ["sweep"]),
])
def test_the_notebooks_run_and_show_their_figures(name, figures, tmp_path, monkeypatch):
    # The kernel's connection file and IPython's history go here, not into the home folder.
    for variable, folder in (("JUPYTER_RUNTIME_DIR", "runtime"), ("IPYTHONDIR", "ipython")):
        monkeypatch.setenv(variable, str(tmp_path / folder))
    monkeypatch.setenv("PYDEVD_DISABLE_FILE_VALIDATION", "1")  # the kernel debugger's notice
    work = tmp_path / "work"
    work.mkdir()
    notebook = nbformat.read(NOTEBOOKS / name, as_version=4)
    # A cell that raises fails the run with its traceback (CellExecutionError).
    NotebookClient(notebook, timeout=600, kernel_name="python3",
                   resources={"metadata": {"path": str(work)}}).execute()
    pages = [out["data"]["text/html"] for cell in notebook.cells for out in cell.get("outputs", [])
             if "text/html" in out.get("data", {})]
    drawn = [alt for page in pages for alt in re.findall(r'<img alt="(\w+)" src="data:image/png', page)]
    assert drawn == figures
    assert os.listdir(work) == []  # a notebook writes no file
