// The 8-bit texts of the Data files and the devices against the UTF-8 of
// the terminal and the command line, through one code page (Qt's ICU
// converters; a code page is not ours to hand-write).
#pragma once

#include <string>

class TTextCodec {
public:
    explicit TTextCodec(std::string codePage = "windows-1252") : codePage_(std::move(codePage)) {}

    std::string ToUtf8(const std::string& bytes) const;
    // Characters the code page lacks come out as its substitute byte, so
    // they match no stored text.
    std::string FromUtf8(const std::string& utf8) const;

private:
    std::string codePage_;
};
