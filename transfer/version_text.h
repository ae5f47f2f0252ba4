#pragma once
// Suite versions as the launcher and the updater send them: four numbers of 0..65535 joined by
// points ("1.0.0.10"). Versions compare number by number, so 1.0.0.9 is older than 1.0.0.10.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pavoline {

using SuiteVersion = std::array<uint16_t, 4>;

// Nothing unless the text is 1 to 5 decimal digits of a value up to 65535 (a version's number, a port).
std::optional<uint16_t> ParseDecimal16(std::string_view digits);

// Nothing unless the text is exactly four decimal numbers (digits only) joined by points.
std::optional<SuiteVersion> ParseSuiteVersion(std::string_view text);

inline bool IsOlder(const SuiteVersion& a, const SuiteVersion& b) { return a < b; }

std::string VersionText(const SuiteVersion& version);

} // namespace pavoline
