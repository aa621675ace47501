// The file operations the table store needs, behind one small interface so
// that tests can make any write, sync or rename fail on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// A byte buffer that nested tables can keep referring to after the file
// that filled it has been closed.
class TBuffer {
public:
    // Room for `size` bytes, not initialised. A large buffer is placed on
    // huge pages where the system offers them: filling a fresh buffer costs
    // a page fault per page, and a history file has tens of thousands.
    static std::shared_ptr<TBuffer> Allocate(std::size_t size);
    ~TBuffer();
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    // Keeps only the first n bytes (n no more than the size).
    void Shrink(std::size_t n) {
        if (n < size_) size_ = n;
    }

private:
    TBuffer(std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t* data_;
    std::size_t size_;
};

class TWritableFile {
public:
    virtual ~TWritableFile() = default;
    // Each throws ESDBError (Io) on failure.
    virtual void Append(const std::uint8_t* data, std::size_t n) = 0;
    virtual void Sync() = 0;
    virtual void Close() = 0;
};

class TFileEnv {
public:
    virtual ~TFileEnv() = default;

    // Size in bytes, or -1 when there is no such file.
    virtual std::int64_t FileSize(const std::string& path) = 0;
    virtual std::shared_ptr<const TBuffer> ReadAll(const std::string& path) = 0;
    // A new file beside `target` under a unique name, which is returned in
    // `tempPath`.
    virtual std::unique_ptr<TWritableFile> CreateTemp(const std::string& target,
                                                      std::string& tempPath) = 0;
    // Atomically replaces `to`.
    virtual void Rename(const std::string& from, const std::string& to) = 0;
    // A second name for `from`; false, with nothing done, when `to` exists.
    virtual bool LinkNoReplace(const std::string& from, const std::string& to) = 0;
    // Moves `from` to `to`; false, with nothing done, when `to` exists.
    virtual bool RenameNoReplace(const std::string& from, const std::string& to) = 0;
    // No error when the file is already gone.
    virtual void Remove(const std::string& path) = 0;
    // Makes the directory's entries (a rename) durable.
    virtual void SyncDir(const std::string& dir) = 0;

    // The real file system; lives for the whole run.
    static TFileEnv* Posix();
};
