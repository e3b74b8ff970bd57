import pytest

import vantorel_community


def test_all_names_only_coverage_map():
    assert vantorel_community.__all__ == ["CoverageMap"]
    assert vantorel_community.CoverageMap.__name__ == "CoverageMap"


def test_other_classes_are_not_module_attributes():
    for name in ("RequestsPlugin", "HttpxPlugin", "ResponseHook", "MethodWrapper"):
        assert not hasattr(vantorel_community, name)


def test_coverage_map_cannot_be_instantiated():
    with pytest.raises(TypeError):
        vantorel_community.CoverageMap()


def test_coverage_map_cannot_be_subclassed():
    with pytest.raises(TypeError):
        type("Sub", (vantorel_community.CoverageMap,), {})


def test_coverage_map_docstring():
    doc = vantorel_community.CoverageMap.__doc__
    assert doc.startswith("Tracks API test coverage against an `OpenAPI` specification.\n\n")
    assert "coverage.save_report(output_file=\"coverage.html\")" in doc


def test_module_declares_no_gil_where_supported():
    import sys
    import sysconfig

    if sysconfig.get_config_var("Py_GIL_DISABLED"):
        # Importing must not have re-enabled the interpreter lock.
        assert not sys._is_gil_enabled()
