import os
import subprocess
import sys
import textwrap

from batch import batch

# Imported with Dask out of reach: the module needs it only when a client is given.
CHILD = textwrap.dedent("""
    import sys
    sys.modules["distributed"] = sys.modules["dask"] = None
    import gravlag
    import gravlag.figures.__main__  # the package's Python files went with it
    print(gravlag.__file__)
    print(gravlag.sweep({"c": ["0", "50000"]}, iterations=2000)[1].to_json())
""")


def test_the_installed_module_imports_from_a_fresh_prefix(tmp_path):
    build = os.environ["GRAVLAG_BUILD"]
    subprocess.run(["cmake", "--install", build, "--prefix", str(tmp_path), "--component", "python"],
                   check=True, capture_output=True)
    site = tmp_path / os.environ["GRAVLAG_PYTHON_SITE"]
    env = dict(os.environ, PYTHONPATH=str(site))
    done = subprocess.run([sys.executable, "-c", CHILD], env=env, capture_output=True, text=True, check=True)
    file, line = done.stdout.splitlines()
    assert file == str(site / "gravlag" / "__init__.py")
    out, _ = batch("--iterations", "2000", "--sweep", "c=0;50000", status=0)
    assert line == out.splitlines()[1]
