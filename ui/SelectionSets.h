#pragma once
// The named selections of active directories, one "name=::path::path::" line
// each, kept in the ".aw" file beside the executable. No GUI toolkit here, so
// the format, order and matching can be tested without a display.
#include <string>
#include <vector>

class TOptionen;

struct SelectionSetParts {
    std::string name;
    std::string value;
};
// Splits at the first "="; a line without one has an empty name and value.
SelectionSetParts SplitSelectionSet(const std::string& line);

// Case-insensitive order of whole lines (negative, zero, positive).
int CompareSelectionLines(const std::string& a, const std::string& b);

// The lines of the ".aw" file, sorted case-insensitively; a line equal to one
// already held (ignoring case) is dropped.
class SelectionSetList {
  public:
    // Index of the new line, or -1 when an equal one was already there.
    int Add(const std::string& line);
    void Delete(int index);
    // Removes the line and adds the new one at its sorted place.
    void Replace(int index, const std::string& line);
    void Clear() { lines_.clear(); }
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int index) const { return lines_.at(static_cast<std::size_t>(index)); }
    const std::vector<std::string>& Lines() const { return lines_; }

  private:
    std::vector<std::string> lines_;
};

// CR LF, a lone CR and a lone LF each end a line; a final line end adds no
// empty line.
std::vector<std::string> SplitFileLines(const std::string& text);
// Every line, the last one included, ends with CR LF; no lines give no bytes.
std::string JoinFileLines(const std::vector<std::string>& lines);

// Reads the ".aw" file (system code page) into the list; a missing file gives
// an empty list. False, and the list untouched, when the file exists but
// cannot be read or is too large to be one.
bool ReadSelectionFile(const std::string& file, SelectionSetList& list);
// Replaces the ".aw" file in one atomic step, so that a crash or a kill while
// saving leaves the old file or the new one; false when it cannot be written.
bool WriteSelectionFile(const std::string& file, const std::vector<std::string>& lines);

// "::" followed by the path and "::" of every active entry in list order.
std::string BuildSelectionValue(const TOptionen& options);
// Ticks exactly the entries whose path the value names (case-sensitive);
// each entry whose flag changes saves the settings once.
void ApplySelectionValue(TOptionen& options, const std::string& value);
