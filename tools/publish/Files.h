// File helpers of the publishing tool: whole-file reads, durable writes, a
// copy that hashes what it writes, and a staging directory that replaces its
// target in one step.
#pragma once
#include <string>

std::string ReadWholeFile(const std::string& path);                        // throws
void WriteNewFile(const std::string& path, const std::string& bytes);      // throws; flushed to disk
// Copies a file and returns the lowercase hex SHA-256 of the bytes copied (one pass).
std::string CopyFileHashing(const std::string& from, const std::string& to);
// The lowercase hex SHA-256 of a file's contents.
std::string HashFile(const std::string& path);

// A directory built beside its final place. Commit puts it there, replacing
// an older one in a single rename; until then, and if Commit fails, the
// final place keeps whatever it held and the staging directory is removed.
class StagingDir {
public:
    explicit StagingDir(const std::string& target);
    ~StagingDir();
    StagingDir(const StagingDir&) = delete;
    StagingDir& operator=(const StagingDir&) = delete;

    const std::string& Path() const { return m_path; }
    void Commit();

private:
    std::string m_target;
    std::string m_path;
    bool m_bCommitted = false;
};
