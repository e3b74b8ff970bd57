"""Measures how thoroughly a test suite exercises an HTTP API described by an OpenAPI document."""

import pathlib
from typing import Any, final

__all__ = ["CoverageMap"]

@final
class CoverageMap:
    """Tracks API test coverage against an `OpenAPI` specification.

    The main entry point for `Vantorel`. Load your `OpenAPI` spec, record HTTP
    traffic, and generate coverage reports.
    """

    @classmethod
    def from_path(cls, path: str | pathlib.Path, *, base_path: str | None = None) -> CoverageMap:
        """Create a coverage map from an OpenAPI document file, JSON or YAML."""

    @classmethod
    def from_dict(
        cls, schema: dict[str, Any], *, base_path: str | None = None, location: str | None = None
    ) -> CoverageMap:
        """Create a coverage map from a parsed OpenAPI specification.

        Args:
            schema: The OpenAPI specification as a dictionary.
            base_path: Base path prefix for all operations.
            location: File path or URL of the specification; `$ref`s to other files resolve
                against its directory, or the working directory without it.

        Returns:
            A new `CoverageMap` instance.
        """

    def get_options(self) -> dict[str, str | None]:
        """Return the arguments this map was built with, as a dict with keys `base_path`
        and location (both str | None). Empty values outside a pytest-xdist worker.

        Used by xdist workers so the controller can rebuild an equivalent map.
        """

    def get_schema(self) -> dict[str, Any] | None:
        """Return the stored `OpenAPI` schema dict, or None outside a pytest-xdist worker.

        Used by xdist workers to send the schema to the controller process.
        """
