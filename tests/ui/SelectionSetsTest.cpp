// The ".aw" line format, its order and the matching of paths, without a display.
#include "ui/SelectionSets.h"

#include <gtest/gtest.h>

namespace {

TEST(SelectionSets, SplitAtFirstEquals) {
    EXPECT_EQ(SplitSelectionSet("Urlaub=::C:\\A::").name, "Urlaub");
    EXPECT_EQ(SplitSelectionSet("Urlaub=::C:\\A::").value, "::C:\\A::");
    // A path may hold "=" itself: only the first one splits.
    EXPECT_EQ(SplitSelectionSet("a=::x=y::").value, "::x=y::");
    EXPECT_EQ(SplitSelectionSet("=::x::").name, "");
    EXPECT_EQ(SplitSelectionSet("=::x::").value, "::x::");
    const SelectionSetParts none = SplitSelectionSet("kein Gleichheitszeichen");
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.value, "");
}

TEST(SelectionSets, ListIsSortedCaseInsensitivelyWithoutDuplicates) {
    SelectionSetList list;
    EXPECT_EQ(list.Add("b=::"), 0);
    EXPECT_EQ(list.Add("A=::"), 0);
    EXPECT_EQ(list.Add("a=::"), -1) << "equal ignoring case";
    EXPECT_EQ(list.Add("AB=::"), 1);
    EXPECT_EQ(list.Add(""), 0);
    EXPECT_EQ(list.Add(""), -1);
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"", "A=::", "AB=::", "b=::"}));
    // Umlauts fold like ASCII letters.
    EXPECT_EQ(CompareSelectionLines("Ärger=::", "ärger=::"), 0);
}

TEST(SelectionSets, ReplaceMovesTheLineToItsPlaceOrMergesIntoAnEqualOne) {
    SelectionSetList list;
    list.Add("a=::1::");
    list.Add("m=::");
    list.Add("z=::");
    list.Replace(0, "y=::");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"m=::", "y=::", "z=::"}));
    list.Replace(0, "Z=::");
    EXPECT_EQ(list.Lines(), (std::vector<std::string>{"y=::", "z=::"}));
    EXPECT_THROW(list.Delete(2), std::out_of_range);
}

TEST(SelectionSets, EveryLineEndIsReadAndCrLfIsWritten) {
    EXPECT_EQ(SplitFileLines("a\r\nb\rc\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitFileLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_EQ(SplitFileLines("a\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitFileLines("\n\r"), (std::vector<std::string>{"", ""}));
    EXPECT_TRUE(SplitFileLines("").empty());
    EXPECT_EQ(JoinFileLines({"a=::", ""}), "a=::\r\n\r\n");
    EXPECT_EQ(JoinFileLines({}), "");
}

} // namespace
