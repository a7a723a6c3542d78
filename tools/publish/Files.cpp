#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "Crypto.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void FailErrno(const std::string& what)
{
    throw std::runtime_error(what + ": " + strerror(errno));
}

// A file descriptor closed on every path.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { if (m_fd >= 0) close(m_fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    operator int() const { return m_fd; }
    int Release() { int fd = m_fd; m_fd = -1; return fd; }

private:
    int m_fd;
};

void WriteAll(int fd, const char* p, size_t n, const std::string& path)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0)
            FailErrno("cannot write " + path);
        p += w;
        n -= static_cast<size_t>(w);
    }
}

void SyncAndClose(Fd& fd, const std::string& path)
{
    if (fsync(fd) != 0)
        FailErrno("cannot write " + path);
    if (close(fd.Release()) != 0)
        FailErrno("cannot write " + path);
}

void SyncDir(const std::string& path)
{
    Fd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY));
    if (fd < 0 || fsync(fd) != 0)
        FailErrno("cannot flush directory " + path);
}

// Reads a file in pieces, giving each to the sink.
template <typename Sink>
void ReadPieces(const std::string& path, Sink sink)
{
    Fd fd(open(path.c_str(), O_RDONLY));
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0)
        FailErrno("cannot open " + path);
    if (!S_ISREG(st.st_mode))
        throw std::runtime_error(path + " is not a regular file");
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t r = read(fd, buffer.data(), buffer.size());
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            FailErrno("cannot read " + path);
        if (r == 0)
            break;
        sink(buffer.data(), static_cast<size_t>(r));
    }
}

}  // namespace

std::string ReadWholeFile(const std::string& path)
{
    std::string bytes;
    ReadPieces(path, [&](const char* p, size_t n) { bytes.append(p, n); });
    return bytes;
}

void WriteNewFile(const std::string& path, const std::string& bytes)
{
    Fd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
    if (fd < 0)
        FailErrno("cannot create " + path);
    WriteAll(fd, bytes.data(), bytes.size(), path);
    SyncAndClose(fd, path);
}

std::string CopyFileHashing(const std::string& from, const std::string& to)
{
    Fd fd(open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
    if (fd < 0)
        FailErrno("cannot create " + to);
    Sha256 sha;
    ReadPieces(from, [&](const char* p, size_t n) {
        sha.Update(p, n);
        WriteAll(fd, p, n, to);
    });
    SyncAndClose(fd, to);
    return ToHex(sha.Finish());
}

std::string HashFile(const std::string& path)
{
    Sha256 sha;
    ReadPieces(path, [&](const char* p, size_t n) { sha.Update(p, n); });
    return ToHex(sha.Finish());
}

StagingDir::StagingDir(const std::string& target) : m_target(target)
{
    fs::path t(target);
    std::string pattern = (t.parent_path().empty() ? fs::path(".") : t.parent_path())
        / ("." + t.filename().string() + ".tmp-XXXXXX");
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data()))
        FailErrno("cannot create a directory beside " + target);
    m_path = name.data();
    chmod(m_path.c_str(), 0755);  // mkdtemp makes it private; a web server must read it
}

StagingDir::~StagingDir()
{
    std::error_code ec;
    if (!m_bCommitted)
        fs::remove_all(m_path, ec);
}

void StagingDir::Commit()
{
    SyncDir(m_path);
    std::string parent = fs::path(m_path).parent_path().string();
    if (!fs::exists(fs::symlink_status(m_target))) {
        if (rename(m_path.c_str(), m_target.c_str()) != 0)
            FailErrno("cannot move " + m_path + " to " + m_target);
    } else if (renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, m_target.c_str(), RENAME_EXCHANGE) != 0) {
        // Filesystems without an atomic exchange: move the old directory aside
        // first, and back again if the new one cannot take its place.
        std::string aside = m_path + ".old";
        if (rename(m_target.c_str(), aside.c_str()) != 0)
            FailErrno("cannot move " + m_target + " aside");
        if (rename(m_path.c_str(), m_target.c_str()) != 0) {
            int err = errno;
            rename(aside.c_str(), m_target.c_str());
            errno = err;
            FailErrno("cannot move " + m_path + " to " + m_target);
        }
        m_path = aside;
    }
    // m_path now holds the replaced directory, if there was one.
    m_bCommitted = true;
    std::error_code ec;
    fs::remove_all(m_path, ec);
    SyncDir(parent);
}
