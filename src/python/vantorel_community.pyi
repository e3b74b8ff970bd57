"""Measures how thoroughly a test suite exercises an HTTP API described by an OpenAPI document."""

import os
import pathlib
from collections.abc import Callable, Generator, Iterable, Sequence
from typing import Any, Protocol, SupportsFloat, SupportsIndex, TypedDict, TypeVar, final, type_check_only

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
class _CoveredRatio(TypedDict):
    covered: int
    total: int
    percent: float | None

class _PartialRatio(TypedDict):
    covered: int
    partial: int
    total: int
    percent: float | None

class _ReachRatio(TypedDict):
    reached: int
    violated: int
    total: int
    percent: float | None

class _LabelSummary(TypedDict):
    operations: _CoveredRatio
    parameters: _PartialRatio
    keywords: _PartialRatio
    examples: _CoveredRatio
    responses: _CoveredRatio
    response_keywords: _ReachRatio

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

@type_check_only
class _DrovanterialRequest(Protocol):
    @property
    def url(self) -> str: ...
    @property
    def headers(self) -> dict[str, str] | _HeaderItems: ...
    @property
    def body(self) -> object: ...

@type_check_only
class _DrovanterialInteraction(Protocol):
    """What `CoverageMap.record_drovanterial_interactions` reads of one item."""

    @property
    def request(self) -> _DrovanterialRequest: ...
    @property
    def response(self) -> _RecordedResponse | None: ...
    @property
    def timestamp(self) -> float | int: ...

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
    def from_url(cls, url: str, *, base_path: str | None = None) -> CoverageMap:
        """Create a coverage map from an OpenAPI specification URL.

        Fetches the schema from the given URL and parses it as JSON or YAML.

        Args:
            url: URL to fetch the OpenAPI specification from.
            base_path: Base path prefix for all operations.

        Returns:
            A new `CoverageMap` instance.
        """

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

    @property
    def requests(self) -> _RequestsPlugin:
        """A new `RequestsPlugin` bound to this map, on every access."""

    @property
    def httpx(self) -> _HttpxPlugin:
        """A new `HttpxPlugin` bound to this map, on every access."""

    @property
    def django(self) -> _DjangoPlugin:
        """A new `DjangoPlugin` bound to this map, on every access."""

    @property
    def flask(self) -> _FlaskPlugin:
        """A new `FlaskPlugin` bound to this map, on every access."""

    @property
    def har(self) -> _HarPlugin:
        """A new `HarPlugin` bound to this map, on every access."""

    @property
    def vcr(self) -> _VcrPlugin:
        """A new `VcrPlugin` bound to this map, on every access."""

    @property
    def postman(self) -> _PostmanPlugin:
        """A new `PostmanPlugin` bound to this map, on every access."""

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

    def record_drovanterial_interactions(
        self,
        method: str,
        path: str,
        interactions: list[_DrovanterialInteraction],
        labels: str | Sequence[str] | None = None,
        *,
        events: bool = True,
    ) -> list[tuple[str, str]]:
        """Import a batch of the API-testing tool's interactions for the operation `method` on the
        path template `path`. Every interaction counts for that operation; its URL only supplies
        path parameter values. An undocumented path or method files each one as unmatched.

        With `events`, returns one (event text, outcome) pair per keyword check the batch moved,
        outcome "valid", "invalid" or "skipped"; the text is "vantorel|schema|METHOD|path|location|
        name|schema location" or "vantorel|response|METHOD|path|status|media type|schema location".
        A malformed item raises ValueError "Error parsing interaction at index N: ..." before
        anything is imported.
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

        With `label`, the coverage that traffic recorded with that label reached is
        checked: per dimension the label's covered count against the map-wide total,
        as `label_summary` gives them.

        Returns:
            A list of failures in dimension order, each a dict with the keys
            ``dimension`` (str), ``actual`` (float), ``minimum`` (float).

        Raises:
            ValueError: when `label` names a label no recorded traffic carried.
        """

    def export_counts(self) -> bytes:
        """Everything this map recorded, as opaque bytes for `merge_counts` on a map of the same
        specification in another process."""

    def merge_counts(self, counts: bytes) -> None:
        """Add counts another map of the same specification exported, as if this map had recorded
        their traffic too.

        Raises:
            ValueError: When `counts` is malformed or does not fit this map's specification.
        """

    def covered_by(
        self,
        method: str,
        path: str,
        *,
        location: str | None = None,
        name: str | None = None,
        keyword: str | None = None,
        status: str | None = None,
        media_type: str | None = None,
    ) -> dict[str, str]:
        """Labels whose traffic reached one element of an operation, by name, with the sides
        each reached (`valid`, `invalid` or `both`).

        Name the element as the JSON report does: nothing for the operation itself;
        ``location`` and ``name`` for a parameter (``media_type`` for a body), plus
        ``keyword`` for one of its schema keywords; ``status`` for a response, plus
        ``keyword`` (and ``media_type`` when it declares several bodies) for its body.

        A keyword is reached on the valid side when labelled traffic made it pass and on
        the invalid side when it made it fail; a parameter or body by its schema as a whole;
        an operation or a response has only the valid side (it was reached).

        Returns:
            A dict from label name to ``"valid"``, ``"invalid"`` or ``"both"``, labels in
            ascending order; labels that never reached the element are left out.

        Raises:
            ValueError: When the map has no such operation, parameter, response, body or keyword.
        """

    def label_summary(self, label: str) -> _LabelSummary | None:
        """Coverage reached by the traffic recorded with one label, in the JSON report's
        summary shape.

        Returns:
            A dict with ``operations``, ``parameters``, ``keywords``, ``examples``,
            ``responses`` and ``response_keywords``, each with its covered (or reached) count,
            the map-wide ``total`` and ``percent`` (None when the total is 0), the same
            figures as the report's ``labels`` member; None for a label no recorded traffic
            carried.
        """

    def label_summaries(self) -> dict[str, _LabelSummary]:
        """Every label's `label_summary`, as a dict keyed by label name in ascending order
        (the JSON report's ``labels`` member); empty when no traffic carried a label."""

    def generate_report(self, *, format: str = "html", title: str | None = None) -> str:
        """Generate a coverage report.

        Args:
            format: Output format - "html" (default) or "json"
            title: Custom title for HTML reports

        Returns: Report content as a string
        """

    def save_report(self, *, output_file: str | None = None, format: str = "html", title: str | None = None) -> None:
        """Save a coverage report to a file.

        Args:
            `output_file`: Output file path. Defaults based on format.
            `format`: Output format - "html" (default) or "json"
            `title`: Custom title for HTML reports
        """

    def generate_html_report(self, *, title: str | None = None) -> str: ...
    def save_html_report(self, *, output_file: str | None = None, title: str | None = None) -> None: ...
    def generate_json_report(self) -> str: ...
    def save_json_report(self, *, output_file: str | None = None) -> None: ...
    def generate_markdown_report(
        self,
        *,
        report_url: str | None = None,
        weak_threshold: SupportsFloat | SupportsIndex | None = None,
        is_pull_request: bool = False,
        sub_text: str | None = None,
        columns: Sequence[str] | None = None,
    ) -> str:
        """Generate a Markdown coverage report.

        Args:
            `report_url`: Optional URL to link to the full HTML report
            `weak_threshold`: Parameter coverage ratio below which an operation is flagged (0.0–1.0, default 1.0)
            `columns`: List of columns to include (default: all). Valid values: parameters, keywords, responses, examples

        Returns: Markdown report content as a string
        """

    def save_markdown_report(
        self,
        *,
        output_file: str | None = None,
        report_url: str | None = None,
        weak_threshold: SupportsFloat | SupportsIndex | None = None,
        is_pull_request: bool = False,
        sub_text: str | None = None,
        columns: Sequence[str] | None = None,
    ) -> None: ...
    def generate_text_report(
        self,
        *,
        width: SupportsIndex,
        colored: bool = True,
        skip_covered: bool = False,
        skip_empty: bool = False,
        show_missing: Sequence[str] | None = None,
    ) -> str: ...
    def generate_text_summary(self, *, colored: bool = True) -> str:
        """Generate a compact per-metric coverage summary for terminal output."""

    def coverage_gaps(self) -> list[dict[str, Any]]:
        """Returns all coverage gaps as a flat list of dicts.

        Each dict has `method`, `path`, `kind`, and optional fields depending on kind.
        """

    def build_json_report(self) -> dict[str, Any]:
        """Returns the full coverage report as a Python dict."""

    def operation_report(self, method: str, path: str) -> dict[str, Any] | None:
        """Returns the report for a single operation as a Python dict, or None if not found."""

    def operation_reports(self) -> list[dict[str, Any]]:
        """Returns per-operation report data for all operations as a Python list."""

    def diagnostics(self) -> list[dict[str, Any]]:
        """Everything worth telling the reader, as a list of dicts with keys: severity (str),
        kind (str), the fields that kind carries, and at (dict naming the position)."""

    def unmatched_requests(self) -> list[dict[str, Any]]:
        """Requests that matched no documented operation, most frequent first.

        Returns:
            A list of dicts with keys ``method``, ``host``, ``path``, ``reason``, ``count`` and
            ``first_seen_at``; ``reason`` is ``no_matching_path`` or ``method_not_documented``.
        """

    def uncovered_keywords(self) -> list[dict[str, str]]:
        """Returns keywords without full coverage."""

    def suggestions(self) -> list[dict[str, Any]]:
        """Suggested requests per operation and location, as the JSON report lists them.
        
        Returns:
            A list of dicts with keys ``method``, ``path``, ``location``, ``media_type`` (body
            only), ``gaps``, ``requests``, ``hidden``, ``uncovered``; ``covers`` and
            ``uncovered[].gap`` index ``gaps``.
        
        A gap is one side of a keyword check that recorded traffic has not reached: ``valid``
        when the check never passed, ``invalid`` when it never failed (a check that can only
        pass, or only fail, has one side). Candidate values are built from the schema: its
        ``const``, ``enum``, ``examples``, ``example`` and ``default``; values at and beside its
        bounds (``minimum``, ``maximum``, their exclusive forms, ``multipleOf``, lengths, item and
        property counts); the object without each ``required`` property or with an extra one;
        samples of known ``format``s; a value of every JSON type. Each is placed where the
        keyword's subschema applies inside an otherwise schema-built value, then traced through
        the operation's own compiled schema on a scratch copy of its counters: ``covers`` lists
        only the gaps that trace reached, and ``polarity`` says whether the whole value was valid.
        Requests are chosen greedily, the one reaching most open gaps first; at most 8 are listed
        and ``hidden`` counts the further ones needed. For a parameter location a request's
        ``value`` maps one parameter name to its value; for a body it is the body. A gap no
        candidate reached is in ``uncovered`` with its reason: ``unsatisfiable`` (no value passes
        the schema), ``unsupported`` (its place in a value cannot be told from the schema path,
        or the target has no compiled schema), ``heavy`` (more than 256 distinct candidates or
        20000 counted checks), ``exhausted`` (no candidate reached it).
        """

# The integration classes are not attributes of the module: reach them through a map's
# properties (`coverage.requests`) or their type (`type(coverage.requests)(coverage)`).

_Client = TypeVar("_Client")

@final
@type_check_only
class _RequestsPlugin:
    """RequestsPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def track_session(self, session: _Client) -> _Client:
        """Append a response hook to a `requests.Session` (or subclass) that records every exchange."""

    def record(self, request: Any, response: Any = None, timestamp: float | int | None = None) -> None:
        """Record one prepared request and, when given, its response."""

    def response_hook(self) -> _ResponseHook:
        """A new hook bound to the same map, for registering by hand."""

@final
@type_check_only
class _ResponseHook:
    """ResponseHook(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def __call__(self, response: Any, timestamp: float | int | None = None, **kwargs: Any) -> None: ...

@final
@type_check_only
class _HttpxPlugin:
    """HttpxPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def track_client(self, client: _Client) -> _Client:
        """Append a response event hook to an httpx `Client` or `AsyncClient` (or subclass)."""

    def record(self, request: Any, response: Any = None, timestamp: float | int | None = None) -> None:
        """Record one httpx request and, when given, its response."""

    def response_hook(self) -> _SyncResponseHook:
        """A new synchronous hook bound to the same map."""

    def async_response_hook(self) -> _AsyncResponseHook:
        """A new asynchronous hook bound to the same map."""

@final
@type_check_only
class _SyncResponseHook:
    """SyncResponseHook(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def __call__(self, response: Any) -> None: ...

@final
@type_check_only
class _AsyncResponseHook:
    """AsyncResponseHook(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def __call__(self, response: Any) -> _AsyncResponseHookAwaitable: ...

@final
@type_check_only
class _AsyncResponseHookAwaitable:
    """AsyncResponseHookAwaitable(coverage, request, response, result)

    Reads the response's body when it is still open, records the exchange, and completes with
    `result`. It can be awaited once; a second await raises RuntimeError.
    """

    def __init__(self, coverage: CoverageMap, request: Any, response: Any, result: Any) -> None: ...
    def __await__(self) -> Generator[Any, Any, Any]: ...
    def __iter__(self) -> _AsyncResponseHookAwaitable: ...
    def __next__(self) -> Any: ...
    def send(self, value: Any) -> Any: ...
    def throw(self, exc: BaseException) -> Any: ...

@final
@type_check_only
class _DjangoPlugin:
    """DjangoPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def track_client(self, client: _Client) -> _Client:
        """Wrap the request methods of a `django.test.Client` or `AsyncClient` (or subclass)."""

    def record(
        self,
        request: Any,
        response: Any = None,
        timestamp: float | int | None = None,
        elapsed: SupportsFloat | SupportsIndex | None = None,
    ) -> None:
        """Record one Django request and, when given, its response."""

@final
@type_check_only
class _MethodWrapper:
    """Replaces one request method of a Django test client; records each call's exchange."""

    __wrapped__: Callable[..., Any]
    def __call__(self, *args: Any, **kwargs: Any) -> Any: ...

@final
@type_check_only
class _AsyncMethodWrapper:
    """Replaces one request method of a Django async test client."""

    __wrapped__: Callable[..., Any]
    def __call__(self, *args: Any, **kwargs: Any) -> _AsyncMethodCallAwaitable: ...

@final
@type_check_only
class _AsyncMethodCallAwaitable:
    """Awaitable that delegates to the underlying async Django test client coroutine,
    then records coverage when the coroutine completes."""

    def __await__(self) -> Generator[Any, Any, Any]: ...
    def __iter__(self) -> _AsyncMethodCallAwaitable: ...
    def __next__(self) -> Any: ...
    def send(self, value: Any) -> Any: ...
    def throw(self, exc: BaseException) -> Any: ...

@final
@type_check_only
class _FlaskPlugin:
    """FlaskPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def track_client(self, client: _Client) -> _Client:
        """Wrap `open` of a `werkzeug.test.Client` (or subclass, such as Flask's test client)."""

    def record(
        self,
        request: Any,
        response: Any = None,
        timestamp: float | int | None = None,
        elapsed: SupportsFloat | SupportsIndex | None = None,
    ) -> None:
        """Record one Werkzeug request and, when given, its response."""

@final
@type_check_only
class _OpenWrapper:
    """Replaces `open` of a Werkzeug test client; records each request's exchange."""

    __wrapped__: Callable[..., Any]
    def __call__(self, *args: Any, **kwargs: Any) -> Any: ...

@final
@type_check_only
class _HarPlugin:
    """HarPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def record_from_path(self, path: str | os.PathLike[str]) -> int:
        """Record every entry of an HTTP Archive (HAR 1.2) file, JSON; returns how many were
        recorded. Entries whose URL is not http or https are left out; status 0 is no response.
        Raises OSError when the file cannot be read and ValueError, naming the place, for a
        malformed archive, before anything is recorded."""

    def record_from_dict(self, archive: dict[str, Any]) -> int:
        """The same for an archive already parsed."""

@final
@type_check_only
class _VcrPlugin:
    """VcrPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def record_from_path(self, path: str | os.PathLike[str]) -> int:
        """Record every interaction of a VCR cassette (version 1, as vcrpy writes it, YAML or
        JSON); returns how many were recorded. Cassettes keep no time of capture: the exchanges
        are recorded at the current time. Errors as for `HarPlugin`."""

    def record_from_dict(self, cassette: dict[str, Any]) -> int:
        """The same for a cassette already parsed."""

@final
@type_check_only
class _PostmanPlugin:
    """PostmanPlugin(coverage)"""

    def __init__(self, coverage: CoverageMap) -> None: ...
    def record_from_path(self, path: str | os.PathLike[str]) -> int:
        """Record every saved response of a Postman collection (format v2.1) with its original
        request, collection variables filled in; returns how many were recorded. Requests without
        a saved response are left out. Errors as for `HarPlugin`."""

    def record_from_dict(self, data: dict[str, Any]) -> int:
        """The same for a collection already parsed."""
