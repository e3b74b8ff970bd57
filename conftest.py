"""Lets plain `pytest` at the root find the module that scripts/test builds in build/py/python.

A module on PYTHONPATH comes first; then one built there for the running interpreter, so that tests
see the C++ just built rather than an older `pip install .`; then an installed one. With none, pytest
stops and says how to build one.
"""

import importlib.util
import os
import pathlib
import sys
import sysconfig

import pytest

_BUILT = pathlib.Path(__file__).resolve().parent / "build" / "py" / "python"
_SUFFIX = sysconfig.get_config_var("EXT_SUFFIX")
_FILE = f"vantorel_community{_SUFFIX}"

_on_pythonpath = any(
    (pathlib.Path(d) / _FILE).is_file() for d in os.environ.get("PYTHONPATH", "").split(os.pathsep) if d
)
if not _on_pythonpath and (_BUILT / _FILE).is_file():
    sys.path.insert(0, str(_BUILT))


def pytest_configure(config):
    if importlib.util.find_spec("vantorel_community") is None:
        others = sorted(p.name for p in _BUILT.glob("vantorel_community*"))
        found = f" ({_BUILT} has {', '.join(others)}, built for another Python)" if others else ""
        raise pytest.UsageError(
            f"the module vantorel_community is not built for this Python ({sys.version.split()[0]}, "
            f"{_SUFFIX}){found}: run scripts/test, which builds it in build/py/python, or `pip install .`"
        )
