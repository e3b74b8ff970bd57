#pragma once
// The words every report shows for a diagnostic: a title, what it is about, what it does to the
// measurement and how to fix the document; and the grouping of diagnostics that share a title
// and a fix. Pure functions over diagnostics; nothing is kept between calls.
//
//   DiagnosticGroups groups = group_diagnostics(collect_diagnostics(map));
//   for (const DiagnosticGroup& g : groups.groups) print(g.text.title, g.text.impact, g.text.fix);
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantorel/reports/diagnostics.hpp"

namespace vantorel::reports {

struct SubjectPart {
    std::string text;
    std::string_view lead;  // static words shown before the text; may be empty
    friend bool operator==(const SubjectPart&, const SubjectPart&) = default;
};

// A piece of a sentence: fixed wording, or a value taken from the document that the plain
// sentence shows between backticks. Renderers escape each value for their target (Markdown code
// spans, HTML, the terminal) instead of trusting backticks in the joined text.
struct TextPiece {
    std::string text;
    bool code = false;
    friend bool operator==(const TextPiece&, const TextPiece&) = default;
};

struct DiagnosticText {
    std::vector<SubjectPart> subject;
    std::string explanation;  // the consequence, one blank, the fix
    std::string fix;
    std::string_view title;
    std::string_view impact;
    std::optional<std::string> why;  // invalid_schema and unreadable_reference: their message
    std::vector<TextPiece> consequence_pieces;
    std::vector<TextPiece> fix_pieces;
};

// The plain form of pieces: fixed wording as it stands, each value between backticks.
std::string join_pieces(const std::vector<TextPiece>& pieces);

// The uncertainty sentence shown for warnings about schemas that could not be analysed.
inline constexpr std::string_view kUncertaintySentence =
    "Coverage is recorded, but Vantorel cannot tell which constraints in this schema no value can satisfy, so "
    "such a constraint shows as untested rather than impossible.";

DiagnosticText describe_diagnostic(const Diagnostic& diagnostic);

// The consequence sentence derived from the diagnostic's position.
std::string scope_sentence(const Diagnostic& diagnostic);

// The subject parts as one line: the first part's text, then each further part as a blank, its
// lead and a blank (when it has a lead), and its text.
std::string subject_line(const std::vector<SubjectPart>& subject);

struct GroupMember {
    std::string subject;
    std::vector<const Diagnostic*> diagnostics;
};

struct DiagnosticGroup {
    DiagnosticText text;  // of the group's first diagnostic
    std::vector<GroupMember> members;
    std::uint64_t count = 0;   // diagnostics in the group, hidden members' included
    std::uint64_t hidden = 0;  // members dropped by the cap
    Severity severity = Severity::Error;
};

inline constexpr std::size_t kGroupMemberCap = 50;

struct DiagnosticGroups {
    std::vector<DiagnosticGroup> groups;
    std::uint64_t error_count = 0;
    std::uint64_t warning_count = 0;
};

// Diagnostics with the same severity, title and fix form one group; within it, those with the
// same subject line one member. Groups: errors first, then larger first, ties in creation order;
// at most 50 members each. The groups point into `diagnostics`, which must outlive them.
DiagnosticGroups group_diagnostics(const std::vector<Diagnostic>& diagnostics);

// The display parts of a position: words ("document"; "body"; location and name; status; status
// and media type), the path and the method (None when the place has none).
struct PositionTrail {
    std::vector<std::string_view> parts;
    std::optional<std::string_view> path;
    http::HttpMethod method = http::HttpMethod::None;
};

PositionTrail position_trail(const DiagnosticPosition& position);

}  // namespace vantorel::reports
