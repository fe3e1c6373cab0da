#pragma once
// Our own INI accessor with the private-profile behaviour the settings rely
// on: sections and keys matched without regard to case, other sections and
// unknown lines kept, at most 2047 characters read back, and every write
// reaching the file at once, as one atomic replacement of the whole file.
#include "platform/Platform.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <string>
#include <utility>
#include <vector>

class TIniFile {
  public:
    using KeyValues = std::vector<std::pair<std::string, std::string>>;

    explicit TIniFile(std::string fileName);
    const std::string& FileName() const { return fileName_; }

    // Held while it lives: other processes writing through a TIniFile wait,
    // so that what is read under it and the write built from that form one
    // step. Every write takes it itself; it nests within one TIniFile.
    class Lock {
      public:
        explicit Lock(TIniFile& ini);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

      private:
        TIniFile& ini_;
    };

    bool HasKey(const std::string& section, const std::string& key) const;
    // The section's key names as lookups see them (trimmed, lower case),
    // each once, in no particular order.
    std::vector<std::string> KeyNames(const std::string& section) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t def) const;
    double ReadFloat(const std::string& section, const std::string& key, double def) const;

    // Each throws "nach %s kann nicht geschrieben werden" when the file cannot
    // be written; the file then stays as it was.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    void WriteFloat(const std::string& section, const std::string& key, double value);
    void EraseSection(const std::string& section);
    // The file that erasing the section and then writing each key in turn
    // would leave, produced in one atomic replacement.
    void ReplaceSection(const std::string& section, const KeyValues& keys);

    static constexpr std::size_t kMaxValueLength = 2047;

  private:
    const std::vector<std::string>& LoadLines() const;
    // The file as it is now, never the cache: an inode reused within the
    // clock's granularity can repeat a stamp, and a write must not build on
    // another process's older version.
    std::vector<std::string> LoadLinesForWrite();
    void Store(const std::vector<std::string>& lines);

    std::string fileName_;
    // The parsed file, reused while the file on disk is the same version.
    mutable std::vector<std::string> cache_;
    mutable std::unordered_map<std::string, std::string> index_; // "section\nkey", lower case -> value
    mutable std::optional<platform::FileStamp> cacheStamp_;
    int lockDepth_ = 0;
    std::unique_ptr<platform::InterProcessLock> lock_;
};
