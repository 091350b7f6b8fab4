// The phonebook: a 0700 folder with one 0600 file per entry. Entry files hold the entry's properties and its
// dial parameters, the saved password among them, so nothing else may read them.
#pragma once

#include <string>
#include <vector>

#include "DialupService.h"

namespace velmo::dialup {

inline constexpr size_t kMaxEntryNameBytes = 256;

// Names the service accepts: 1 to 256 bytes, no '/', '\', control characters, nor a leading '.'.
bool IsValidEntryName(const std::string& name);

class Phonebook {
  public:
    explicit Phonebook(std::string directory) : dir_(std::move(directory)) {}

    const std::string& Directory() const { return dir_; }
    // The entry file for a name (whether or not it exists).
    std::string EntryPath(const std::string& name) const;

    int Validate(const std::string& name) const;
    int Get(const std::string& name, DialEntry* entry, DialParams* params) const;
    int SetEntry(const DialEntry& entry);
    int SetParams(const DialParams& params, bool removePassword);
    int Delete(const std::string& name);
    int List(std::vector<std::string>& names) const;

  private:
    struct Record {
        DialEntry entry;
        DialParams params;
    };
    int Read(const std::string& name, Record& record) const;
    int Write(const Record& record);
    // Creates the folder (0700) and narrows it to 0700 if it is wider.
    bool EnsureDirectory() const;

    std::string dir_;
};

// File format helpers, exposed for tests.
std::string EscapeValue(const std::string& value);
std::string UnescapeValue(const std::string& value);

}  // namespace velmo::dialup
