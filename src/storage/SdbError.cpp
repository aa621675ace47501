#include "SdbError.h"

namespace {
std::string Compose(const std::string& reason, std::int64_t offset, const std::string& path) {
    std::string text = path.empty() ? std::string() : path + ": ";
    text += reason;
    if (offset >= 0) text += " at byte " + std::to_string(offset);
    return text;
}
} // namespace

ESDBError::ESDBError(Kind kind, std::string reason, std::int64_t offset, std::string path)
    : std::runtime_error(Compose(reason, offset, path)), kind_(kind), reason_(std::move(reason)),
      offset_(offset), path_(std::move(path)) {}

ESDBError ESDBError::WithPath(const std::string& path) const {
    return ESDBError(kind_, reason_, offset_, path);
}

const char* KindName(ESDBError::Kind kind) {
    switch (kind) {
    case ESDBError::Kind::Truncated:
        return "truncated";
    case ESDBError::Kind::Corrupt:
        return "corrupt";
    case ESDBError::Kind::Io:
        return "i/o error";
    }
    return "error";
}
