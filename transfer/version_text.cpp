#include "version_text.h"

namespace pavoline {

std::optional<uint16_t> ParseDecimal16(std::string_view digits) {
    constexpr size_t kMaxDigits = 5; // 65535
    if (digits.empty() || digits.size() > kMaxDigits) return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > UINT16_MAX) return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::optional<SuiteVersion> ParseSuiteVersion(std::string_view text) {
    SuiteVersion version{};
    for (size_t i = 0; i < version.size(); ++i) {
        const size_t point = text.find('.');
        const bool last = i + 1 == version.size();
        // The last number runs to the end; the others end at a point.
        if (last != (point == std::string_view::npos)) return std::nullopt;
        const std::optional<uint16_t> number = ParseDecimal16(text.substr(0, point));
        if (!number) return std::nullopt;
        version[i] = *number;
        text = last ? std::string_view() : text.substr(point + 1);
    }
    return version;
}

std::string VersionText(const SuiteVersion& version) {
    return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." + std::to_string(version[2]) + "." +
           std::to_string(version[3]);
}

} // namespace pavoline
