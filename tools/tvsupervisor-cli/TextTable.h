// Aligned columns for people and scripts: cells separated by two spaces,
// each column as wide as its widest cell, numbers right-aligned, no
// trailing blanks. Widths count UTF-8 characters, not bytes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

class TTextTable {
public:
    enum class TAlign { Left, Right };

    explicit TTextTable(std::vector<TAlign> columns) : align_(std::move(columns)) {}

    // Missing cells are empty; extra cells are dropped.
    void AddRow(std::vector<std::string> cells);
    // Every row, each line starting with `indent`.
    void Print(std::ostream& out, const std::string& indent = {}) const;

private:
    std::vector<TAlign> align_;
    std::vector<std::vector<std::string>> rows_;
};

// The number of characters of a UTF-8 text.
std::size_t DisplayWidth(const std::string& utf8);
