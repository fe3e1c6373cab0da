#include "ui/SelectionSets.h"

#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

SelectionSetParts SplitSelectionSet(const std::string& line) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return {};
    return {line.substr(0, eq), line.substr(eq + 1)};
}

namespace {
// Next code point of UTF-8 text, folded to lower case for ASCII and the
// Latin-1 letters; a stray byte stands for itself so that no text is lost.
char32_t NextFolded(const std::string& s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    char32_t c = b0;
    std::size_t len = 1;
    if (b0 >= 0xC2 && b0 <= 0xDF && i + 1 < s.size() &&
        (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
        c = ((b0 & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
        len = 2;
    }
    i += len;
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    // A byte that did not decode keeps its place after every character.
    if (len == 1 && c >= 0x80) return 0x110000 + c;
    return c;
}
} // namespace

int CompareSelectionLines(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t ca = NextFolded(a, i);
        const char32_t cb = NextFolded(b, j);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

int SelectionSetList::Add(const std::string& line) {
    const auto it =
        std::lower_bound(lines_.begin(), lines_.end(), line, [](const std::string& a, const std::string& b) {
            return CompareSelectionLines(a, b) < 0;
        });
    if (it != lines_.end() && CompareSelectionLines(*it, line) == 0) return -1;
    const auto index = it - lines_.begin();
    lines_.insert(it, line);
    return static_cast<int>(index);
}

void SelectionSetList::Delete(int index) {
    if (index < 0 || index >= Count()) throw std::out_of_range("SelectionSetList::Delete");
    lines_.erase(lines_.begin() + index);
}

void SelectionSetList::Replace(int index, const std::string& line) {
    Delete(index);
    Add(line);
}

std::vector<std::string> SplitFileLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::string JoinFileLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string BuildSelectionValue(const TOptionen& options) {
    std::string value = "::";
    for (int i = 0; i < options.DirectoryCount(); ++i) {
        if (!options.IsDirectoryActive(i)) continue;
        value += options.GetDirectoryPath(i);
        value += "::";
    }
    return value;
}

void ApplySelectionValue(TOptionen& options, const std::string& value) {
    for (int i = 0; i < options.DirectoryCount(); ++i)
        options.SetDirectoryActive(i, value.find("::" + options.GetDirectoryPath(i) + "::") !=
                                          std::string::npos);
}

namespace {
// A hand-edited ".aw" file is read whole; anything larger is not one.
constexpr std::uint64_t kMaxSelectionFileBytes = 16u << 20;
} // namespace

bool ReadSelectionFile(const std::string& file, SelectionSetList& list) {
    if (!platform::FileExists(file)) {
        list.Clear();
        return true;
    }
    std::string content;
    if (!platform::ReadFile(file, content, kMaxSelectionFileBytes)) return false;
    list.Clear();
    for (const auto& line : SplitFileLines(platform::SystemTextToUtf8(content)))
        list.Add(line);
    return true;
}

bool WriteSelectionFile(const std::string& file, const std::vector<std::string>& lines) {
    return platform::AtomicWriteFile(file, platform::Utf8ToSystemText(JoinFileLines(lines)));
}
