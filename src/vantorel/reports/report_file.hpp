#pragma once
// Writing a finished report to disk: missing parent folders are created, and the text goes to a
// temporary file beside the target that is renamed over it only once it is complete, so a failed
// or interrupted write never leaves a half-written report where an older one stood. A path that
// is a symbolic link replaces the file the link names; the link stays.
//
//   if (auto error = write_report_file("out/a/coverage.json", text)) raise OSError(*error);
#include <optional>
#include <string>
#include <string_view>

namespace vantorel::reports {

// None on success, else the message: "Failed to create file {path}: {reason}" when a folder or
// the file cannot be created (or the path holds a NUL or is empty), "Failed to write to file
// {path}: {reason}" when writing fails, "Failed to flush data to file {path}: {reason}" when
// the data cannot be flushed or closed. A system error's reason reads "{description} (os error
// {number})". The temporary file is removed on every failure.
std::optional<std::string> write_report_file(std::string_view path, std::string_view text);

}  // namespace vantorel::reports
