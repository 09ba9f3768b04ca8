// The version rule and the record of a started update. An input is three texts, a
// drive's revision and two releases' versions: its first two bytes give the lengths
// of the first two (each taken modulo what is left), the third is the rest.
//
// The promises: the rule answers exactly when both texts are clean, a text is the same
// as itself, the order reverses with its operands and is transitive; a record the
// program would write reads back as written, and one read from anywhere writes back
// to a text that reads the same.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "list/update_record.h"
#include "list/version_rule.h"
#include "tests/unit/fuzz/fuzz_require.h"

namespace {

int Rank(VersionOrder order) { return order == VersionOrder::kOlder ? -1 : order == VersionOrder::kSame ? 0 : 1; }

// How `b` stands to `a`: -1 older, 0 the same, 1 newer; 2 without an answer.
int Compare(const std::string& a, const std::string& b) {
    const std::optional<VersionOrder> order = CompareRelease(a, b);
    return order ? Rank(*order) : 2;
}

bool Clean(const std::string& text) {
    const std::optional<std::string> cleaned = CleanVersion(text);
    if (!cleaned) return false;
    FuzzRequire(!cleaned->empty() && cleaned->front() != ' ' && cleaned->back() != ' ', "trimmed and not empty");
    for (char c : *cleaned) FuzzRequire(c >= 0x20 && c <= 0x7E, "printable");
    return true;
}

}  // namespace

void ExerciseVersionInput(const uint8_t* data, size_t size) {
    if (size < 2) return;
    std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const auto take = [&rest](uint8_t length) {
        const std::string text = rest.substr(0, rest.empty() ? 0 : length % (rest.size() + 1));
        rest.erase(0, text.size());
        return text;
    };
    const std::string a = take(data[0]), b = take(data[1]), c = rest;

    const int ab = Compare(a, b), ba = Compare(b, a), bc = Compare(b, c), ac = Compare(a, c);
    FuzzRequire((ab != 2) == (Clean(a) && Clean(b)), "an answer exactly for two clean texts");
    FuzzRequire(ab == 2 || Compare(a, a) == 0, "a text is the same as itself");
    FuzzRequire(ab == 2 ? ba == 2 : ba == -ab, "the order reverses with its operands");
    if (ab != 2 && bc != 2) {
        if (ab >= 0 && bc >= 0) FuzzRequire(ac >= 0 && (ac == 0) == (ab == 0 && bc == 0), "transitive");
        if (ab <= 0 && bc <= 0) FuzzRequire(ac <= 0 && (ac == 0) == (ab == 0 && bc == 0), "transitive");
    }

    // A drive reports 4 revision bytes: a, blank-padded or cut.
    std::string revision = a.substr(0, 4);
    revision.resize(4, ' ');
    const RestartSign sign{RestartSign::Kind::kTicks, 56999, 1796685700};
    if (const std::optional<StartedUpdate> update = UpdateToRemember(revision, b, sign)) {
        const int order = Compare(revision, b);
        FuzzRequire(order == 1 || order == 2, "only a newer release or one without an answer");
        const std::optional<StartedUpdate> read = ParseStartedUpdate(FormatStartedUpdate(*update));
        FuzzRequire(read && read->before == update->before && read->started == update->started &&
                        FormatStartedUpdate(*read) == FormatStartedUpdate(*update),
                    "a record reads back as written");
    }
    if (const std::optional<StartedUpdate> read = ParseStartedUpdate(c)) {
        const std::optional<StartedUpdate> again = ParseStartedUpdate(FormatStartedUpdate(*read));
        FuzzRequire(again && FormatStartedUpdate(*again) == FormatStartedUpdate(*read), "a record writes back");
    }
}
