#include "TextTable.h"

#include <algorithm>

std::size_t DisplayWidth(const std::string& utf8) {
    // Continuation bytes (10xxxxxx) do not start a character.
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void TTextTable::AddRow(std::vector<std::string> cells) {
    cells.resize(align_.size());
    rows_.push_back(std::move(cells));
}

void TTextTable::Print(std::ostream& out, const std::string& indent) const {
    std::vector<std::size_t> width(align_.size(), 0);
    for (const auto& row : rows_)
        for (std::size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], DisplayWidth(row[c]));
    for (const auto& row : rows_) {
        std::string line = indent;
        for (std::size_t c = 0; c < row.size(); ++c) {
            const std::string pad(width[c] - DisplayWidth(row[c]), ' ');
            if (c > 0) line += "  ";
            line += align_[c] == TAlign::Right ? pad + row[c] : row[c] + pad;
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}
