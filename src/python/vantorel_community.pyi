"""Measures how thoroughly a test suite exercises an HTTP API described by an OpenAPI document."""

import pathlib
from collections.abc import Iterable, Sequence
from typing import Any, Protocol, SupportsFloat, SupportsIndex, TypedDict, final, type_check_only

__all__ = ["CoverageMap"]

@type_check_only
class _SeenStatistics(TypedDict):
    seen: int
    total: int
    timeline: list[tuple[float, int]]

@type_check_only
class _GradedStatistics(TypedDict):
    positive: int
    negative: int
    partial: int
    full: int
    total: int
    timeline: list[tuple[float, int]]

@type_check_only
class _ResponseStatistics(TypedDict):
    seen: int
    total: int
    elapsed_total_seconds: float
    timeline: list[tuple[float, int]]

@type_check_only
class _ResponseKeywordStatistics(TypedDict):
    reached: int
    violated: int
    total: int

@type_check_only
class _Statistics(TypedDict):
    operations: _SeenStatistics
    parameters: _GradedStatistics
    keywords: _GradedStatistics
    examples: _SeenStatistics
    responses: _ResponseStatistics
    response_keywords: _ResponseKeywordStatistics

@type_check_only
class _ThresholdFailure(TypedDict):
    dimension: str
    actual: float
    minimum: float

@type_check_only
class _HeaderItems(Protocol):
    def items(self) -> Iterable[tuple[str, str]]: ...

@type_check_only
class _RecordedRequest(Protocol):
    """What `CoverageMap.record` reads of a request: any object with these attributes."""

    @property
    def method(self) -> str: ...
    @property
    def url(self) -> str: ...
    @property
    def headers(self) -> dict[str, str] | _HeaderItems: ...
    @property
    def body(self) -> object: ...

@type_check_only
class _RecordedResponse(Protocol):
    """What `CoverageMap.record` reads of a response: any object with these attributes."""

    @property
    def status_code(self) -> SupportsIndex: ...
    @property
    def elapsed(self) -> SupportsFloat | SupportsIndex: ...
    @property
    def body(self) -> object: ...
    @property
    def headers(self) -> dict[str, str] | _HeaderItems: ...

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

    def record(
        self,
        request: _RecordedRequest,
        response: _RecordedResponse | None = None,
        timestamp: float | int | None = None,
        labels: str | Sequence[str] | None = None,
    ) -> None:
        """Record one request and, optionally, its response.

        The request's `method` (any letter case), `url` (absolute), `headers` (a dict, or an
        object with `items()`, of str to str) and `body` (None, bytes, bool, or anything whose
        str() is the body) are read, then the response's `status_code` (0 to 65535), `elapsed`
        (seconds), `body` and `headers`. `timestamp` is seconds since the Unix epoch (now when
        None); `labels` is a str, or a list or tuple of str.

        Raises ValueError for an unknown method or a URL that is not absolute, TypeError for a
        value of the wrong type and OverflowError for a status code out of range; a call that
        raises records nothing. A request that matches no documented operation is counted among
        the unmatched requests, not raised.
        """

    def record_error(self, method: str, path: str, message: str) -> None:
        """Attach an error message to the documented operation of `method` on the path template
        `path` (its text, as in the document, not a concrete path). An unknown path or method is
        ignored; raises ValueError for a method name that is none of the HTTP methods.
        """

    def dropped_requests(self) -> int:
        """Requests discarded before matching (unparsable URL or unknown method)."""

    def unmatched_overflow(self) -> int:
        """Requests dropped after the distinct-group cap of unmatched requests was reached.

        A non-zero value means that `unmatched_requests` is truncated.
        """

    def label_overflow(self) -> int:
        """Labels refused because the map already holds the most distinct labels it keeps."""

    def statistic(self) -> _Statistics:
        """Return the coverage statistics as nested dicts, one per dimension.

        Keys, in order: ``operations`` (seen, total, timeline), ``parameters`` and ``keywords``
        (positive, negative, partial, full, total, timeline), ``examples`` (seen, total,
        timeline), ``responses`` (seen, total, elapsed_total_seconds, timeline) and
        ``response_keywords`` (reached, violated, total). A timeline is a list of
        ``(time, count)`` tuples, time in seconds since the Unix epoch, ascending: how many
        targets became covered at that instant. Operations on path templates that cannot
        be routed and were never hit are left out of every count.
        """

    def check_thresholds(
        self,
        *,
        operations: SupportsFloat | SupportsIndex | None = None,
        parameters: SupportsFloat | SupportsIndex | None = None,
        keywords: SupportsFloat | SupportsIndex | None = None,
        examples: SupportsFloat | SupportsIndex | None = None,
        responses: SupportsFloat | SupportsIndex | None = None,
        response_keywords: SupportsFloat | SupportsIndex | None = None,
        label: str | None = None,
    ) -> list[_ThresholdFailure]:
        """Check per-dimension coverage thresholds.

        All threshold values are percentages (0-100). Dimensions with no data
        (total == 0) are silently skipped. An empty list means every configured
        threshold is met. `response_keywords` is not covered by any
        other threshold — it must be set explicitly.

        Returns:
            A list of failures in dimension order, each a dict with the keys
            ``dimension`` (str), ``actual`` (float), ``minimum`` (float).

        Raises:
            NotImplementedError: when `label` is given; this map does not keep
                coverage per label yet.
        """
