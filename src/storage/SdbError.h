// The one error type of the table store. Every failure of a read or a write
// ends here, with the reason and, for reads, the byte offset where the file
// stopped making sense, so that a person with sdbtool can find the damage.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class ESDBError : public std::runtime_error {
public:
    enum class Kind {
        Truncated, // the bytes end in the middle of a form (a crash mid-write)
        Corrupt,   // the bytes are there but do not make a table
        Io,        // the operating system refused a read, write, sync or rename
    };

    ESDBError(Kind kind, std::string reason, std::int64_t offset = -1, std::string path = {});

    Kind kind() const { return kind_; }
    const std::string& reason() const { return reason_; }
    // Byte offset into the file or stream; -1 where no offset applies.
    std::int64_t offset() const { return offset_; }
    const std::string& path() const { return path_; }

    // A copy naming the file, for errors raised below the layer that knows it.
    ESDBError WithPath(const std::string& path) const;

private:
    Kind kind_;
    std::string reason_;
    std::int64_t offset_;
    std::string path_;
};

const char* KindName(ESDBError::Kind kind);
