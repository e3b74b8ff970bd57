#include "vantorel/recorders/counts.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "deririrore/value/utf8.hpp"
#include "http/method.hpp"

namespace vantorel::recorders {

std::string_view merge_error_message(MergeError error) noexcept {
    return error == MergeError::Malformed ? kCountsMalformed : kCountsOtherSpecification;
}

void append_varint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

std::optional<std::uint64_t> read_varint(ByteReader& reader) {
    std::uint64_t value = 0;
    for (int i = 0; i < 10; ++i) {
        if (reader.at >= reader.bytes.size()) return std::nullopt;
        const auto byte = static_cast<unsigned char>(reader.bytes[reader.at++]);
        if (i == 9) {
            if ((byte & 0x80) != 0) return std::nullopt;
            return value | (std::uint64_t(byte & 1) << 63);
        }
        value |= std::uint64_t(byte & 0x7f) << (7 * i);
        if ((byte & 0x80) == 0) return value;
    }
    return std::nullopt;
}

std::optional<std::string_view> read_string(ByteReader& reader) {
    const auto length = read_varint(reader);
    if (!length || *length > reader.remaining()) return std::nullopt;
    const std::string_view text = reader.bytes.substr(reader.at, static_cast<std::size_t>(*length));
    if (!deririrore::value::is_valid_utf8(text)) return std::nullopt;
    reader.at += text.size();
    return text;
}

namespace {

constexpr std::uint64_t kU32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kU64Max = std::numeric_limits<std::uint64_t>::max();

std::uint64_t add_saturating(std::uint64_t a, std::uint64_t b) noexcept { return a > kU64Max - b ? kU64Max : a + b; }

std::uint32_t add_saturating_u32(std::uint32_t a, std::uint64_t b) noexcept {
    if (b >= kU32Max) return static_cast<std::uint32_t>(kU32Max);
    const std::uint64_t sum = std::uint64_t(a) + b;
    return static_cast<std::uint32_t>(std::min(sum, kU32Max));
}

// What the map holds is written so that it reads back: a time that is not a positive finite
// number is unknown (0).
std::uint64_t time_bits(double time) noexcept {
    return std::isfinite(time) && time > 0 ? std::bit_cast<std::uint64_t>(time) : 0;
}

double time_value(std::uint64_t bits) noexcept { return std::bit_cast<double>(bits); }

// A time an export may carry: finite and not negative (0 is unknown).
bool time_plausible(std::uint64_t bits) noexcept {
    const double t = time_value(bits);
    return std::isfinite(t) && !(t < 0);
}

// An elapsed total an export may carry: the bits of a finite, non-negative 32-bit float.
bool elapsed_plausible(std::uint64_t bits) noexcept {
    if (bits > kU32Max) return false;
    const float e = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
    return std::isfinite(e) && !(e < 0);
}

// A total that overflowed to infinity is written as the largest finite one.
std::uint64_t elapsed_bits(float elapsed) noexcept {
    if (!(elapsed > 0)) return 0;
    return std::bit_cast<std::uint32_t>(std::isfinite(elapsed) ? elapsed : std::numeric_limits<float>::max());
}

void merge_earliest(double& current, std::uint64_t bits) noexcept {
    const double incoming = time_value(bits);
    if (!std::isfinite(incoming) || incoming == 0) return;
    if (current == 0 || current > incoming) current = incoming;
}

void merge_elapsed(float& total, std::uint64_t bits) noexcept {
    if (bits > kU32Max) return;
    total += std::bit_cast<float>(static_cast<std::uint32_t>(bits));
}

std::int64_t total_order_key(double value) noexcept {
    const auto bits = std::bit_cast<std::int64_t>(value);
    return bits < 0 ? bits ^ std::numeric_limits<std::int64_t>::max() : bits;
}

std::size_t entry_count(const zavova::CoverageHolder& holder) noexcept {
    return holder.state ? holder.state->entries.size() : 0;
}

// The counter slots in their one order, for every reader and writer of the layout.
template <class Map, class Visitor>
void walk_counter_slots(Map& map, Visitor& visitor) {
    for (auto& path : map.routes.paths) {
        for (auto [method, record] : path.methods) {
            visitor.operation(record);
            for (auto& parameter : record.parameters) visitor.holder(parameter.holder);
            for (auto& response : record.responses) {
                visitor.response(response, true);
                for (auto& body : response.bodies) visitor.holder(body.holder);
            }
            visitor.response(record.default_response, record.has_default_response);
            if (record.has_default_response) {
                for (auto& body : record.default_response.bodies) visitor.holder(body.holder);
            }
        }
    }
    visitor.dropped(map.dropped_requests);
}

struct SlotCounter {
    std::uint64_t slots = 0;
    void operation(const model::OperationRecord&) { slots += 2; }
    void holder(const zavova::CoverageHolder& holder) { slots += 2 + 5 * std::uint64_t(entry_count(holder)); }
    void response(const model::ResponseTarget&, bool) { slots += 3; }
    void dropped(std::uint64_t) { slots += 1; }
};

struct SlotWriter {
    std::string pairs;
    std::uint64_t current = 0;
    std::uint64_t last = 0;
    std::uint64_t written = 0;

    void write(std::uint64_t value) {
        if (value != 0) {
            append_varint(pairs, current - last);
            append_varint(pairs, value);
            last = current;
            ++written;
        }
        ++current;
    }
    void operation(const model::OperationRecord& record) {
        write(record.hits);
        write(time_bits(record.first_seen));
    }
    void holder(const zavova::CoverageHolder& holder) {
        write(holder.hits);
        write(time_bits(holder.covered_at));
        const std::size_t n = entry_count(holder);
        // A state still shared was never written: it holds zeros.
        if (n == 0 || holder.state.use_count() > 1) {
            current += 5 * std::uint64_t(n);
            return;
        }
        const zavova::EntryMap& entries = holder.state->entries;
        for (std::size_t i = 0; i < n; ++i) {
            const zavova::KeywordEntry& e = entries.entry(i);
            write(e.passed);
            write(e.failed);
            write(e.not_applicable);
            write(time_bits(e.first_passed));
            write(time_bits(e.first_failed));
        }
    }
    void response(const model::ResponseTarget& response, bool present) {
        if (!present) {
            current += 3;
            return;
        }
        write(response.hits);
        write(elapsed_bits(response.elapsed_total));
        write(time_bits(response.first_seen));
    }
    void dropped(std::uint64_t count) { write(count); }
};

struct Pair {
    std::uint64_t slot;
    std::uint64_t value;
};

struct IncomingUnexpected {
    std::uint64_t status, hits, elapsed, first_seen;
};

struct IncomingExtras {
    std::uint64_t position = 0;
    std::vector<IncomingUnexpected> unexpected;
    std::vector<std::string_view> errors;
};

struct IncomingLabel {
    std::string_view name;
    LabelBitmap bitmap;
    std::uint32_t largest = 0;
};

struct IncomingUnmatched {
    http::HttpMethod method;
    std::string_view host, path;
    UnmatchedReason reason;
    std::uint64_t count, first_seen;
};

// What an export holds, decoded; texts are views into the input.
struct CountsImport {
    std::uint64_t slot_count = 0;
    std::vector<Pair> pairs;
    std::vector<IncomingExtras> extras;
    std::uint64_t label_overflow = 0;
    std::vector<IncomingLabel> labels;
    std::uint64_t unmatched_overflow = 0;
    std::vector<IncomingUnmatched> unmatched;
};

bool decode_pairs(ByteReader& reader, CountsImport& out) {
    const auto n = read_varint(reader);
    const auto k = read_varint(reader);
    if (!n || !k) return false;
    out.slot_count = *n;
    std::uint64_t slot = 0;
    // Lists grow as entries are read: a count read from the input never sizes an allocation.
    for (std::uint64_t i = 0; i < *k; ++i) {
        const auto gap = read_varint(reader);
        if (!gap) return false;
        const auto value = read_varint(reader);
        if (!value || *value == 0) return false;
        if (i > 0 && *gap == 0) return false;
        if (i > 0 && *gap > kU64Max - slot) return false;
        slot = i == 0 ? *gap : slot + *gap;
        if (slot >= *n) return false;
        out.pairs.push_back(Pair{slot, *value});
    }
    return true;
}

bool decode_extras(ByteReader& reader, CountsImport& out) {
    const auto j = read_varint(reader);
    if (!j) return false;
    for (std::uint64_t i = 0; i < *j; ++i) {
        IncomingExtras record;
        const auto position = read_varint(reader);
        if (!position) return false;
        if (!out.extras.empty() && *position <= out.extras.back().position) return false;
        record.position = *position;
        const auto r = read_varint(reader);
        if (!r) return false;
        for (std::uint64_t u = 0; u < *r; ++u) {
            const auto status = read_varint(reader);
            if (!status || *status >= 65536) return false;
            const auto hits = read_varint(reader);
            if (!hits) return false;
            const auto elapsed = read_varint(reader);
            if (!elapsed || !elapsed_plausible(*elapsed)) return false;
            const auto first_seen = read_varint(reader);
            if (!first_seen || !time_plausible(*first_seen)) return false;
            record.unexpected.push_back(IncomingUnexpected{*status, *hits, *elapsed, *first_seen});
        }
        const auto e = read_varint(reader);
        if (!e) return false;
        for (std::uint64_t m = 0; m < *e; ++m) {
            const auto message = read_string(reader);
            if (!message) return false;
            record.errors.push_back(*message);
        }
        out.extras.push_back(std::move(record));
    }
    return true;
}

bool decode_labels(ByteReader& reader, CountsImport& out) {
    const auto overflow = read_varint(reader);
    const auto l = read_varint(reader);
    // No map holds more labels than its table takes: more is not an export of ours.
    if (!overflow || !l || *l > kMaxLabels) return false;
    out.label_overflow = *overflow;
    for (std::uint64_t i = 0; i < *l; ++i) {
        const auto name = read_string(reader);
        if (!name) return false;
        const auto length = read_varint(reader);
        if (!length || *length > reader.remaining()) return false;
        const std::string_view bytes = reader.bytes.substr(reader.at, static_cast<std::size_t>(*length));
        std::uint32_t largest = 0;
        auto bitmap = read_portable_bitmap(bytes, largest);
        if (!bitmap) return false;
        reader.at += bytes.size();
        out.labels.push_back(IncomingLabel{*name, std::move(*bitmap), largest});
    }
    return true;
}

bool decode_unmatched(ByteReader& reader, CountsImport& out) {
    const auto overflow = read_varint(reader);
    const auto u = read_varint(reader);
    // Nor more unmatched groups than its table keeps.
    if (!overflow || !u || *u > kMaxUnmatchedGroups) return false;
    out.unmatched_overflow = *overflow;
    for (std::uint64_t i = 0; i < *u; ++i) {
        if (reader.remaining() < 1) return false;
        const auto method = static_cast<std::uint8_t>(reader.bytes[reader.at++]);
        if (!http::is_http_method(method)) return false;
        const auto host = read_string(reader);
        if (!host) return false;
        const auto path = read_string(reader);
        if (!path) return false;
        if (reader.remaining() < 1) return false;
        const auto reason = static_cast<std::uint8_t>(reader.bytes[reader.at++]);
        if (reason >= 2) return false;
        const auto count = read_varint(reader);
        if (!count) return false;
        const auto first_seen = read_varint(reader);
        if (!first_seen || !time_plausible(*first_seen)) return false;
        out.unmatched.push_back(IncomingUnmatched{static_cast<http::HttpMethod>(method), *host, *path,
                                                  static_cast<UnmatchedReason>(reason), *count, *first_seen});
    }
    return true;
}

std::optional<CountsImport> decode_counts(std::string_view bytes) {
    if (bytes.empty() || bytes[0] != 1) return std::nullopt;
    ByteReader reader{bytes, 1};
    CountsImport out;
    if (!decode_pairs(reader, out) || !decode_extras(reader, out) || !decode_labels(reader, out) ||
        !decode_unmatched(reader, out))
        return std::nullopt;
    if (reader.remaining() != 0) return std::nullopt;
    return out;
}

// Reads the decoded pairs in slot order with one cursor.
struct SlotCursor {
    const std::vector<Pair>& pairs;
    std::size_t next = 0;
    std::uint64_t current = 0;

    std::uint64_t take() {
        std::uint64_t value = 0;
        if (next < pairs.size() && pairs[next].slot == current) value = pairs[next++].value;
        ++current;
        return value;
    }
    void skip(std::uint64_t slots) {
        current += slots;
        while (next < pairs.size() && pairs[next].slot < current) ++next;
    }
    bool any_below(std::uint64_t end) const { return next < pairs.size() && pairs[next].slot < end; }
};

// Every time and elapsed slot of the input, judged in the map's layout before anything changes.
struct PlausibilityCheck {
    SlotCursor cursor;
    bool ok = true;

    void time() { ok = ok && time_plausible(cursor.take()); }
    void operation(const model::OperationRecord&) {
        cursor.take();
        time();
    }
    void holder(const zavova::CoverageHolder& holder) {
        cursor.take();
        time();
        for (std::size_t i = 0, n = entry_count(holder); i < n; ++i) {
            cursor.take();
            cursor.take();
            cursor.take();
            time();
            time();
        }
    }
    void response(const model::ResponseTarget&, bool) {
        cursor.take();
        ok = ok && elapsed_plausible(cursor.take());
        time();
    }
    void dropped(std::uint64_t) { cursor.take(); }
};

// The scan the tracer keeps: the first entry not yet covered, or all covered.
void rescan_coverage(zavova::CoverageState& state) {
    state.covered_prefix = 0;
    state.all_covered = false;
    const std::size_t count = state.entries.size();
    std::size_t i = 0;
    while (i < count) {
        const zavova::KeywordEntry& e = state.entries.entry(i);
        bool covered = true;
        if (e.kind.tag == zavova::EntryTag::Keyword) {
            switch (e.kind.polarity()) {
                case zavova::Polarity::Both:
                    covered = e.passed > 0 && e.failed > 0;
                    break;
                case zavova::Polarity::ValidOnly:
                    covered = e.passed > 0;
                    break;
                case zavova::Polarity::InvalidOnly:
                    covered = e.failed > 0;
                    break;
            }
        }
        if (!covered) break;
        ++i;
    }
    if (i < count) {
        state.covered_prefix = i;
    } else {
        state.all_covered = true;
    }
}

// The time the last Keyword entry became covered; 0 while some entry is not.
double latest_keyword_covering_time(const zavova::CoverageState& state) {
    if (!state.all_covered) return 0.0;
    double latest = 0.0;
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        const zavova::KeywordEntry& e = state.entries.entry(i);
        if (e.kind.tag != zavova::EntryTag::Keyword) continue;
        double at = 0.0;
        switch (e.kind.polarity()) {
            case zavova::Polarity::ValidOnly:
                at = e.passed > 0 ? e.first_passed : 0.0;
                break;
            case zavova::Polarity::InvalidOnly:
                at = e.failed > 0 ? e.first_failed : 0.0;
                break;
            case zavova::Polarity::Both:
                at = e.passed > 0 && e.failed > 0 ? std::max(e.first_passed, e.first_failed) : 0.0;
                break;
        }
        latest = std::max(latest, at);
    }
    return latest;
}

bool has_keyword_entry(const zavova::CoverageState& state) {
    for (std::size_t i = 0; i < state.entries.size(); ++i) {
        if (state.entries.entry(i).kind.tag == zavova::EntryTag::Keyword) return true;
    }
    return false;
}

struct SlotMerger {
    SlotCursor cursor;
    std::vector<model::OperationRecord*> operations;

    void operation(model::OperationRecord& record) {
        operations.push_back(&record);
        record.hits = add_saturating(record.hits, cursor.take());
        merge_earliest(record.first_seen, cursor.take());
    }
    void holder(zavova::CoverageHolder& holder) {
        holder.hits = add_saturating(holder.hits, cursor.take());
        merge_earliest(holder.covered_at, cursor.take());
        const std::size_t n = entry_count(holder);
        if (n == 0) return;
        if (holder.state.use_count() > 1 && !cursor.any_below(cursor.current + 5 * std::uint64_t(n))) {
            cursor.skip(5 * std::uint64_t(n));
            return;
        }
        // Every counter adds, pass-only targets of the special index included: clamping them
        // would lose what the other process counted.
        zavova::CoverageState& state = zavova::make_state_unique(holder);
        for (std::size_t i = 0; i < n; ++i) {
            zavova::KeywordEntry& e = state.entries.entry(i);
            e.passed = add_saturating(e.passed, cursor.take());
            e.failed = add_saturating(e.failed, cursor.take());
            e.not_applicable = add_saturating(e.not_applicable, cursor.take());
            merge_earliest(e.first_passed, cursor.take());
            merge_earliest(e.first_failed, cursor.take());
        }
        if (holder.hits != 0) {
            rescan_coverage(state);
            if (has_keyword_entry(state)) holder.covered_at = latest_keyword_covering_time(state);
        }
    }
    void response(model::ResponseTarget& response, bool present) {
        const std::uint64_t hits = cursor.take();
        const std::uint64_t elapsed = cursor.take();
        const std::uint64_t first = cursor.take();
        // An operation without `default` has no target to count into; a matching export never
        // carries counts there.
        if (!present) return;
        response.hits = add_saturating_u32(response.hits, hits);
        merge_elapsed(response.elapsed_total, elapsed);
        merge_earliest(response.first_seen, first);
    }
    void dropped(std::uint64_t& count) { count = add_saturating(count, cursor.take()); }
};

void apply_extras(const std::vector<IncomingExtras>& extras, const std::vector<model::OperationRecord*>& operations) {
    for (const IncomingExtras& record : extras) {
        model::OperationRecord& operation = *operations[static_cast<std::size_t>(record.position)];
        for (const IncomingUnexpected& in : record.unexpected) {
            const auto status = static_cast<std::uint16_t>(in.status);
            auto found = std::find_if(operation.unexpected_responses.begin(), operation.unexpected_responses.end(),
                                      [&](const model::UnexpectedResponse& u) { return u.status == status; });
            if (found == operation.unexpected_responses.end()) {
                operation.unexpected_responses.push_back(model::UnexpectedResponse{status, 0, 0.0f, 0.0});
                found = operation.unexpected_responses.end() - 1;
            }
            found->hits = add_saturating_u32(found->hits, in.hits);
            merge_elapsed(found->elapsed_total, in.elapsed);
            merge_earliest(found->first_seen, in.first_seen);
        }
        if (operation.unexpected_responses.size() > 1) {
            std::stable_sort(operation.unexpected_responses.begin(), operation.unexpected_responses.end(),
                             [](const model::UnexpectedResponse& a, const model::UnexpectedResponse& b) {
                                 return total_order_key(a.first_seen) < total_order_key(b.first_seen);
                             });
        }
        for (const std::string_view message : record.errors) operation.errors.emplace(message);
    }
}

void write_extras(const CoverageMap& map, std::string& out) {
    std::string records;
    std::uint64_t count = 0;
    std::uint64_t position = 0;
    for (const auto& path : map.routes.paths) {
        for (auto [method, record] : path.methods) {
            if (!record.unexpected_responses.empty() || !record.errors.empty()) {
                ++count;
                append_varint(records, position);
                append_varint(records, record.unexpected_responses.size());
                for (const auto& u : record.unexpected_responses) {
                    append_varint(records, u.status);
                    append_varint(records, u.hits);
                    append_varint(records, elapsed_bits(u.elapsed_total));
                    append_varint(records, time_bits(u.first_seen));
                }
                std::vector<std::string_view> messages(record.errors.begin(), record.errors.end());
                std::sort(messages.begin(), messages.end());
                append_varint(records, messages.size());
                for (const std::string_view m : messages) {
                    append_varint(records, m.size());
                    records.append(m);
                }
            }
            ++position;
        }
    }
    append_varint(out, count);
    out += records;
}

void write_labels(const LabelRegistry& labels, std::string& out) {
    if (!labels.installed) {
        append_varint(out, 0);
        append_varint(out, 0);
        return;
    }
    append_varint(out, labels.overflow);
    append_varint(out, labels.names.size());
    std::string bitmap;
    for (std::size_t i = 0; i < labels.names.size(); ++i) {
        append_varint(out, labels.names[i].size());
        out += labels.names[i];
        bitmap.clear();
        labels.bitmaps[i].append_portable(bitmap);
        append_varint(out, bitmap.size());
        out += bitmap;
    }
}

void write_unmatched(const UnmatchedRequests& unmatched, std::string& out) {
    std::vector<const UnmatchedGroup*> rows;
    rows.reserve(unmatched.size());
    for (const auto& group : unmatched.groups()) rows.push_back(&group);
    std::sort(rows.begin(), rows.end(), [](const UnmatchedGroup* a, const UnmatchedGroup* b) {
        const auto ta = total_order_key(a->first_seen), tb = total_order_key(b->first_seen);
        if (ta != tb) return ta < tb;
        const auto ma = http::method_name(a->method), mb = http::method_name(b->method);
        if (ma != mb) return ma < mb;
        if (a->host != b->host) return a->host < b->host;
        return a->path < b->path;
    });
    append_varint(out, unmatched.overflow());
    append_varint(out, rows.size());
    for (const UnmatchedGroup* g : rows) {
        out += static_cast<char>(static_cast<std::uint8_t>(g->method));
        append_varint(out, g->host.size());
        out += g->host;
        append_varint(out, g->path.size());
        out += g->path;
        out += static_cast<char>(static_cast<std::uint8_t>(g->reason));
        append_varint(out, g->count);
        append_varint(out, time_bits(g->first_seen));
    }
}

}  // namespace

std::uint64_t counter_slot_count(const CoverageMap& map) {
    SlotCounter counter;
    walk_counter_slots(map, counter);
    return counter.slots;
}

std::string export_counts_writer(const CoverageMap& map) {
    SlotWriter writer;
    walk_counter_slots(map, writer);
    std::string out;
    out += '\x01';
    append_varint(out, writer.current);
    append_varint(out, writer.written);
    out += writer.pairs;
    write_extras(map, out);
    write_labels(map.labels, out);
    write_unmatched(map.unmatched, out);
    return out;
}

std::optional<MergeError> merge_counts(CoverageMap& map, std::string_view bytes) {
    auto decoded = decode_counts(bytes);
    if (!decoded) return MergeError::Malformed;
    const CountsImport& in = *decoded;

    ensure_label_registry(map);
    if (in.slot_count != counter_slot_count(map)) return MergeError::DifferentSpecification;
    if (!in.extras.empty() && in.extras.back().position >= map.labels.operations.size())
        return MergeError::DifferentSpecification;
    for (const IncomingLabel& label : in.labels) {
        if (!label.bitmap.empty() && label.largest >= map.labels.event_space) return MergeError::DifferentSpecification;
    }
    PlausibilityCheck check{SlotCursor{in.pairs}};
    walk_counter_slots(map, check);
    if (!check.ok) return MergeError::Malformed;

    SlotMerger merger{SlotCursor{in.pairs}, {}};
    walk_counter_slots(map, merger);
    apply_extras(in.extras, merger.operations);

    LabelRegistry& labels = map.labels;
    labels.overflow = add_saturating(labels.overflow, in.label_overflow);
    for (const IncomingLabel& label : in.labels) {
        const auto id = intern_label(labels, label.name);
        if (!id) continue;
        labels.bitmaps[*id].unite(label.bitmap);
    }
    map.unmatched.add_overflow(in.unmatched_overflow);
    for (const IncomingUnmatched& row : in.unmatched) {
        map.unmatched.record(row.method, row.host, row.path, row.reason, row.count, time_value(row.first_seen), true);
    }
    return std::nullopt;
}

}  // namespace vantorel::recorders
