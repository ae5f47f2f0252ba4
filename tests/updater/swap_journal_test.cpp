#include "swap_journal.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace pavoline::updater {
namespace {

TEST(SwapJournal, ReadsBackWhatWasWrittenWhateverTheNames) {
    const SwapJournal journal{"1.0.0.1", false,
                              {{SwapAction::kMakeDirectory, "帮助 文件"},
                               {SwapAction::kAddFile, "帮助 文件/a%b\nc\t.txt"},
                               {SwapAction::kReplaceFile, "Novarel/Novarel"},
                               {SwapAction::kReplaceFile, "Pavoline"}}};
    const std::string text = JournalText(journal);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8); // one record a line, names escaped
    EXPECT_EQ(ParseJournal(text), journal);
    SwapJournal done = journal;
    done.complete = true;
    done.fromVersion.clear();
    EXPECT_EQ(ParseJournal(JournalText(done)), done);
}

// A journal that is not wholly ours, or that would lead recovery outside the suite, is not read.
TEST(SwapJournal, RefusesAnythingElse) {
    const std::string head = "novarel-journal 1\nfrom 1.0.0.1\nstate swapping\n";
    const char* const refused[] = {
        "",
        "novarel-journal 1\nfrom 1.0.0.1\nstate swapping\nadd a\n",       // cut short: no end
        "novarel-journal 1\nfrom 1.0.0.1\nstate swapping\nadd a\nend",     // no final line break
        "novarel-journal 2\nfrom 1.0.0.1\nstate swapping\nend\n",
        "novarel-journal 1\nstate swapping\nend\n",
        "novarel-journal 1\nfrom 1.0.0.1\nstate done\nend\n",
        "novarel-journal 1\nfrom 1.0.0.1\nstate swapping\nend\nend\n",
    };
    for (const char* text : refused) EXPECT_EQ(ParseJournal(text), std::nullopt) << text;
    for (const char* record : {"add ../x", "add /etc/passwd", "add a//b", "add a/", "add ./a", "add a/../b",
                               "replace a%2Fb", "add a%2", "add a%0a", "add a%41", "add a b", "delete a", "add ",
                               "mkdir a%00b"})
        EXPECT_EQ(ParseJournal(head + record + "\nend\n"), std::nullopt) << record;
    EXPECT_NE(ParseJournal(head + "add a%0Ab\nend\n"), std::nullopt);
}

} // namespace
} // namespace pavoline::updater
