// ".aw" files typed by hand: splitting, sorting and writing back must hold
// for any bytes, and a written file must read back as the same lines.
#include "ui/SelectionSets.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    SelectionSetList list;
    for (const std::string& line : SplitFileLines(text)) {
        list.Add(line);
        SplitSelectionSet(line);
    }
    for (int i = 1; i < list.Count(); ++i)
        if (CompareSelectionLines(list[i - 1], list[i]) >= 0) std::abort();
    const std::string written = JoinFileLines(list.Lines());
    if (SplitFileLines(written) != list.Lines()) std::abort();
    return 0;
}
