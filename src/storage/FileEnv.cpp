#include "FileEnv.h"

#include "SdbError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void FailIo(const std::string& what, const std::string& path, int err) {
    throw ESDBError(ESDBError::Kind::Io, what + ": " + std::strerror(err), -1, path);
}

class TPosixFile : public TWritableFile {
public:
    TPosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~TPosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }
    void Append(const std::uint8_t* data, std::size_t n) override {
        // write() may take fewer bytes than offered (a signal, a pipe-like
        // device, a nearly full disk); loop until all are out or it fails.
        while (n > 0) {
            const ssize_t k = ::write(fd_, data, n);
            if (k < 0) {
                if (errno == EINTR) continue;
                FailIo("cannot write", path_, errno);
            }
            data += k;
            n -= static_cast<std::size_t>(k);
        }
    }
    void Sync() override {
        if (::fsync(fd_) != 0) FailIo("cannot flush to disk", path_, errno);
    }
    void Close() override {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) FailIo("cannot close", path_, errno);
    }

private:
    int fd_;
    std::string path_;
};

bool CopyNoReplace(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) FailIo("cannot open", from, errno);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        if (err == EEXIST) return false;
        FailIo("cannot create", to, err);
    }
    TPosixFile file(out, to);
    char buf[1 << 16];
    for (;;) {
        const ssize_t k = ::read(in, buf, sizeof buf);
        if (k < 0 && errno == EINTR) continue;
        if (k < 0) {
            const int err = errno;
            ::close(in);
            ::unlink(to.c_str());
            FailIo("cannot read", from, err);
        }
        if (k == 0) break;
        try {
            file.Append(reinterpret_cast<const std::uint8_t*>(buf), static_cast<std::size_t>(k));
        } catch (...) {
            ::close(in);
            ::unlink(to.c_str());
            throw;
        }
    }
    ::close(in);
    file.Sync();
    file.Close();
    return true;
}

class TPosixEnv : public TFileEnv {
public:
    std::int64_t FileSize(const std::string& path) override {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return -1;
            FailIo("cannot look at", path, errno);
        }
        return static_cast<std::int64_t>(st.st_size);
    }

    std::shared_ptr<const TBuffer> ReadAll(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) FailIo("cannot open", path, errno);
        struct stat st;
        if (::fstat(fd, &st) != 0) {
            const int err = errno;
            ::close(fd);
            FailIo("cannot look at", path, err);
        }
        const std::size_t want = static_cast<std::size_t>(st.st_size);
        auto buffer = TBuffer::Allocate(want);
        std::size_t got = 0;
        while (got < want) {
            const ssize_t k = ::read(fd, buffer->data() + got, want - got);
            if (k < 0 && errno == EINTR) continue;
            if (k < 0) {
                const int err = errno;
                ::close(fd);
                FailIo("cannot read", path, err);
            }
            if (k == 0) break; // shrank while we read: keep what is there
            got += static_cast<std::size_t>(k);
        }
        ::close(fd);
        buffer->Shrink(got);
        return buffer;
    }

    std::unique_ptr<TWritableFile> CreateTemp(const std::string& target,
                                              std::string& tempPath) override {
        std::string pattern = target + ".tmp-XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) FailIo("cannot create a file beside", target, errno);
        tempPath = pattern;
        // mkostemp makes the file private; the table gets the mode of the
        // file it replaces, or the usual one for a new file.
        struct stat st;
        const mode_t mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
        ::fchmod(fd, mode);
        return std::make_unique<TPosixFile>(fd, tempPath);
    }

    void Rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) FailIo("cannot rename to " + to, from, errno);
    }

    bool LinkNoReplace(const std::string& from, const std::string& to) override {
        if (::link(from.c_str(), to.c_str()) == 0) return true;
        if (errno == EEXIST) return false;
        // File systems without hard links get a copy made the same careful way.
        if (errno == EPERM || errno == ENOTSUP || errno == EXDEV || errno == EMLINK)
            return CopyNoReplace(from, to);
        FailIo("cannot link to " + to, from, errno);
    }

    bool RenameNoReplace(const std::string& from, const std::string& to) override {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EEXIST) return false;
        if (errno == EINVAL || errno == ENOSYS) {
            if (!LinkNoReplace(from, to)) return false;
            Remove(from);
            return true;
        }
        FailIo("cannot move to " + to, from, errno);
    }

    void Remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) FailIo("cannot delete", path, errno);
    }

    void SyncDir(const std::string& dir) override {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) FailIo("cannot open folder", dir, errno);
        const int rc = ::fsync(fd);
        const int err = errno;
        ::close(fd);
        if (rc != 0 && err != EINVAL) FailIo("cannot flush folder", dir, err);
    }
};

} // namespace

std::shared_ptr<TBuffer> TBuffer::Allocate(std::size_t size) {
    constexpr std::size_t kHuge = std::size_t{2} << 20;
    void* p = nullptr;
    if (size >= kHuge) {
        const std::size_t rounded = (size + kHuge - 1) / kHuge * kHuge;
        p = std::aligned_alloc(kHuge, rounded);
        if (p) ::madvise(p, rounded, MADV_HUGEPAGE);
    } else {
        p = std::malloc(size == 0 ? 1 : size);
    }
    if (!p) throw std::bad_alloc();
    return std::shared_ptr<TBuffer>(new TBuffer(static_cast<std::uint8_t*>(p), size));
}

TBuffer::~TBuffer() {
    std::free(data_);
}

TFileEnv* TFileEnv::Posix() {
    static TPosixEnv env;
    return &env;
}
