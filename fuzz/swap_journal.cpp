// The journal of a swap, read back from the suite directory at the next start: whatever its bytes,
// a journal read leads nowhere outside the suite and reads back the same once written again.
#include "swap_journal.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace pavoline::updater;
    const std::optional<SwapJournal> journal = ParseJournal(std::string(reinterpret_cast<const char*>(data), size));
    if (!journal) return 0;
    for (const SwapStep& step : journal->steps) {
        const std::string path = "/" + step.path + "/";
        if (step.path.empty() || path.find("/../") != std::string::npos || path.find("//") != std::string::npos ||
            path.find("/./") != std::string::npos || step.path.find('\0') != std::string::npos)
            __builtin_trap();
    }
    const std::optional<SwapJournal> again = ParseJournal(JournalText(*journal));
    if (!again || !(*again == *journal)) __builtin_trap();
    return 0;
}
