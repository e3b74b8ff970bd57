"""The bundled example (examples/petstore) keeps working: its suite passes while recording through
the module under test, reaches the operations it exercises and leaves the untested ones uncovered."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

import vantorel_community

pytest.importorskip("flask", reason="the example needs flask; scripts/setup installs it")

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "petstore"


def test_example_suite_records_its_traffic(tmp_path):
    statistics = tmp_path / "statistics.json"
    env = dict(os.environ)
    module_dir = str(pathlib.Path(vantorel_community.__file__).resolve().parent)
    env["PYTHONPATH"] = os.pathsep.join(p for p in (module_dir, env.get("PYTHONPATH")) if p)
    env["VANTOREL_EXAMPLE_STATISTICS"] = str(statistics)
    run = subprocess.run(
        [sys.executable, "-m", "pytest", "-c", os.devnull, "--rootdir", ".", "--confcutdir", "."]
        + ["-p", "no:cacheprovider", "-q", "tests"],
        cwd=EXAMPLE,
        env=env,
        capture_output=True,
        text=True,
    )
    assert run.returncode == 0, run.stdout + run.stderr
    assert "API coverage of openapi.yaml" in run.stdout
    assert "dropped requests    0" in run.stdout

    if not hasattr(vantorel_community.CoverageMap, "statistic"):
        assert "not built yet" in run.stdout
        return
    stats = json.loads(statistics.read_text())
    # listPets, createPet, getPet and deletePet are exercised; updatePet and listOwnerPets are not.
    assert (stats["operations"]["seen"], stats["operations"]["total"]) == (4, 6)
    # 200 and 400 of listPets, 201 and 400 of createPet, 200 and 404 of getPet, 401 of deletePet.
    assert (stats["responses"]["seen"], stats["responses"]["total"]) == (7, 15)
    assert 0 < stats["parameters"]["full"] < stats["parameters"]["total"]


def test_every_report_names_the_package_version():
    import tomllib

    pyproject = pathlib.Path(__file__).resolve().parents[2] / "pyproject.toml"
    version = tomllib.loads(pyproject.read_text())["project"]["version"]
    coverage = vantorel_community.CoverageMap.from_path(EXAMPLE / "openapi.yaml")
    assert coverage.build_json_report()["vantorel_version"] == version
    assert json.loads(coverage.generate_json_report())["vantorel_version"] == version
    assert f") v{version}\n" in coverage.generate_markdown_report()
    assert f"v{version}" in coverage.generate_html_report()
