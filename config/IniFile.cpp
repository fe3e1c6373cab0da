#include "config/IniFile.h"

#include "config/Messages.h"
#include "config/NumberFormat.h"
#include "platform/Platform.h"

#include <optional>
#include <unordered_map>

namespace {
std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// "[name]" lines open a section; the name is what stands between the brackets.
std::optional<std::string> SectionName(const std::string& line) {
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return std::nullopt;
    std::size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

std::string KeyOf(const std::string& line) {
    std::size_t eq = line.find('=');
    return Trim(eq == std::string::npos ? line : line.substr(0, eq));
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

// [begin, end) of the first section named so, header included; begin == npos when absent.
std::pair<std::size_t, std::size_t> FindSection(const std::vector<std::string>& lines,
                                                const std::string& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto name = SectionName(lines[i]);
        if (!name || !EqualsNoCase(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end]))
            ++end;
        return {i, end};
    }
    return {std::string::npos, std::string::npos};
}

void SetKey(std::vector<std::string>& lines, const std::string& section, const std::string& key,
            const std::string& value) {
    auto [begin, end] = FindSection(lines, section);
    if (begin == std::string::npos) {
        lines.push_back("[" + section + "]");
        lines.push_back(key + "=" + value);
        return;
    }
    std::size_t lastKey = begin;
    for (std::size_t i = begin + 1; i < end; ++i) {
        if (Trim(lines[i]).empty()) continue;
        lastKey = i;
        if (EqualsNoCase(KeyOf(lines[i]), key)) {
            lines[i] = KeyOf(lines[i]) + "=" + value;
            return;
        }
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastKey + 1), key + "=" + value);
}

void RemoveSection(std::vector<std::string>& lines, const std::string& section) {
    for (;;) {
        auto [begin, end] = FindSection(lines, section);
        if (begin == std::string::npos) return;
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                    lines.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

void CheckValue(const std::string& key, const std::string& value) {
    // A line break would end the line and turn the rest into keys of its own.
    for (const std::string* s : {&key, &value})
        if (s->find_first_of("\r\n") != std::string::npos) Throw(Msg::LineBreakInValue, {key});
}
} // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

TIniFile::Lock::Lock(TIniFile& ini) : ini_(ini) {
    if (ini_.lockDepth_++ == 0) ini_.lock_ = std::make_unique<platform::InterProcessLock>(ini_.fileName_);
}

TIniFile::Lock::~Lock() {
    if (--ini_.lockDepth_ == 0) ini_.lock_.reset();
}

std::vector<std::string> TIniFile::LoadLinesForWrite() {
    cacheStamp_.reset();
    return LoadLines();
}

const std::vector<std::string>& TIniFile::LoadLines() const {
    const std::optional<platform::FileStamp> stamp = platform::StatFile(fileName_);
    if (stamp && stamp == cacheStamp_) return cache_;
    std::string raw;
    cacheStamp_.reset();
    if (!stamp || !platform::ReadFile(fileName_, raw)) {
        cache_.clear();
        index_.clear();
        return cache_;
    }
    cache_ = SplitLines(platform::SystemTextToUtf8(raw));
    index_.clear();
    std::optional<std::string> section;
    std::vector<std::string> seenSections;
    bool skipSection = false;
    for (const std::string& line : cache_) {
        if (auto name = SectionName(line)) {
            // Only the first section of a name is read, as FindSection does.
            section = LowerAscii(*name);
            skipSection = false;
            for (const std::string& s : seenSections)
                skipSection = skipSection || s == *section;
            seenSections.push_back(*section);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!section || skipSection || eq == std::string::npos) continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
        index_.emplace(*section + "\n" + LowerAscii(Trim(line.substr(0, eq))), std::move(value));
    }
    // Only trust the cache if the file did not change while it was read.
    if (platform::StatFile(fileName_) == stamp) cacheStamp_ = stamp;
    return cache_;
}

void TIniFile::Store(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& l : lines) {
        text += l;
        text += platform::kLineEnd;
    }
    if (!platform::AtomicWriteFile(fileName_, platform::Utf8ToSystemText(text)))
        Throw(Msg::IniWriteFailed, {fileName_});
}

bool TIniFile::HasKey(const std::string& section, const std::string& key) const {
    LoadLines();
    return index_.count(LowerAscii(section) + "\n" + LowerAscii(key)) != 0;
}

std::vector<std::string> TIniFile::KeyNames(const std::string& section) const {
    LoadLines();
    const std::string prefix = LowerAscii(section) + "\n";
    std::vector<std::string> names;
    for (const auto& entry : index_)
        if (entry.first.compare(0, prefix.size(), prefix) == 0)
            names.push_back(entry.first.substr(prefix.size()));
    return names;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
    LoadLines();
    auto it = index_.find(LowerAscii(section) + "\n" + LowerAscii(key));
    return it == index_.end() ? def : it->second;
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t def) const {
    std::string text = ReadString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
    return ParseInteger(text).value_or(def);
}

double TIniFile::ReadFloat(const std::string& section, const std::string& key, double def) const {
    const std::string text = ReadString(section, key, "");
    if (text.empty()) return def;
    return ParseFloat(text, platform::DecimalSeparator()).value_or(def);
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    CheckValue(key, value);
    Lock lock(*this);
    std::vector<std::string> lines = LoadLinesForWrite();
    SetKey(lines, section, key, value);
    Store(lines);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, FormatFloat(value, platform::DecimalSeparator()));
}

void TIniFile::EraseSection(const std::string& section) {
    Lock lock(*this);
    std::vector<std::string> lines = LoadLinesForWrite();
    RemoveSection(lines, section);
    Store(lines);
}

void TIniFile::ReplaceSection(const std::string& section, const KeyValues& keys) {
    for (const auto& [k, v] : keys)
        CheckValue(k, v);
    Lock lock(*this);
    std::vector<std::string> lines = LoadLinesForWrite();
    RemoveSection(lines, section);
    if (!keys.empty()) {
        // The erased section comes back at the end of the file, as the first
        // write of a missing section appends it; a key written twice keeps its place.
        lines.push_back("[" + section + "]");
        std::unordered_map<std::string, std::size_t> placed;
        for (const auto& [k, v] : keys) {
            auto [it, fresh] = placed.emplace(LowerAscii(Trim(k)), lines.size());
            if (fresh)
                lines.push_back(k + "=" + v);
            else
                lines[it->second] = KeyOf(lines[it->second]) + "=" + v;
        }
    }
    Store(lines);
}
