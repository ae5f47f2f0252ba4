#include "swap_journal.h"

#include "platform.h"

#include <cstdio>

namespace pavoline::updater {
namespace {

constexpr const char* kHeader = "novarel-journal 1";
constexpr const char* kUnknownVersion = "-";

struct ActionName {
    SwapAction action;
    const char* name;
};
constexpr ActionName kActionNames[] = {
    {SwapAction::kMakeDirectory, "mkdir"}, {SwapAction::kAddFile, "add"}, {SwapAction::kReplaceFile, "replace"}};

bool WrittenAsIs(unsigned char c) { return c > ' ' && c <= '~' && c != '%'; }

std::string Encoded(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (WrittenAsIs(static_cast<unsigned char>(c))) {
            out += c;
            continue;
        }
        char escape[4];
        std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
        out += escape;
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Only the spelling Encoded writes: anything else is not one of our journals.
std::optional<std::string> Decoded(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != '%') {
            if (!WrittenAsIs(c)) return std::nullopt;
            out += static_cast<char>(c);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
        const unsigned char value = static_cast<unsigned char>(high * 16 + low);
        if (high < 0 || low < 0 || WrittenAsIs(value)) return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

// A path that names something below the suite directory, and nothing above or beside it.
bool StaysBelowTheSuite(const std::string& path) {
    size_t start = 0;
    for (size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
        if (!IsPlainName(path.substr(start, slash - start))) return false;
    return IsPlainName(path.substr(start));
}

std::optional<std::string> Field(const std::string& line, const std::string& key) {
    if (line.compare(0, key.size() + 1, key + " ") != 0) return std::nullopt;
    return Decoded(line.substr(key.size() + 1));
}

std::optional<SwapStep> StepOf(const std::string& line) {
    for (const ActionName& known : kActionNames) {
        const std::optional<std::string> path = Field(line, known.name);
        if (path) {
            if (!StaysBelowTheSuite(*path)) return std::nullopt;
            return SwapStep{known.action, *path};
        }
    }
    return std::nullopt;
}

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

} // namespace

std::string JournalText(const SwapJournal& journal) {
    std::string text = std::string(kHeader) + "\n";
    text += "from " + Encoded(journal.fromVersion.empty() ? kUnknownVersion : journal.fromVersion) + "\n";
    text += journal.complete ? "state complete\n" : "state swapping\n";
    for (const SwapStep& step : journal.steps)
        for (const ActionName& known : kActionNames)
            if (known.action == step.action) text += std::string(known.name) + " " + Encoded(step.path) + "\n";
    return text + "end\n";
}

std::optional<SwapJournal> ParseJournal(const std::string& text) {
    if (text.empty() || text.back() != '\n') return std::nullopt; // cut short
    const std::vector<std::string> lines = LinesOf(text);
    if (lines.size() < 4 || lines[0] != kHeader || lines.back() != "end") return std::nullopt;
    SwapJournal journal;
    const std::optional<std::string> version = Field(lines[1], "from");
    if (!version || version->empty()) return std::nullopt;
    journal.fromVersion = *version == kUnknownVersion ? "" : *version;
    if (lines[2] != "state swapping" && lines[2] != "state complete") return std::nullopt;
    journal.complete = lines[2] == "state complete";
    for (size_t i = 3; i + 1 < lines.size(); ++i) {
        const std::optional<SwapStep> step = StepOf(lines[i]);
        if (!step) return std::nullopt;
        journal.steps.push_back(*step);
    }
    return journal;
}

} // namespace pavoline::updater
