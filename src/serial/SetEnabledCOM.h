// The operator's list of serial ports the program may use, kept in
// "PortList.xml": candidate names in order, each with an enabled mark.
#pragma once

#include "OperatorMessages.h"

#include <string>
#include <vector>

class TEnCOMList {
public:
    // Reads `path` (see LoadFromFile); Modified starts cleared. What is wrong
    // with the file goes to `messages` (borrowed; may be null).
    explicit TEnCOMList(std::string path, IOperatorMessages* messages = nullptr);
    // Writes the file back when the operator changed a mark.
    ~TEnCOMList();
    TEnCOMList(const TEnCOMList&) = delete;
    TEnCOMList& operator=(const TEnCOMList&) = delete;

    int Count() const { return static_cast<int>(entries_.size()); }
    // Empty text / 0 for an index out of range.
    std::string Name(int index) const;
    int Mark(int index) const;
    // Does not set Modified: only the operator's toggles do.
    void SetMark(int index, int mark);
    void Add(const std::string& name, int mark);
    void Clear() { entries_.clear(); }
    // "COM1" .. "COM15", all disabled.
    void AddDefaultPorts();

    const std::string& Path() const { return path_; }
    bool Modified = false;

    // Without the file the list stays empty. A root without children gives
    // the fifteen default ports, disabled. Otherwise the children named
    // "COM1" .. "COM<c>" (c the number of children) are read in that order;
    // a child without attributes is disabled. A file that does not parse, or
    // a mark that is not a whole number, is reported and read as far as it
    // can be (such a mark as 0); the file itself is left as it is. Returns
    // false when something was reported.
    bool LoadFromFile();
    // Writes the list, children named by position, through a temporary file
    // that replaces the old one whole. Reports and returns false on failure.
    bool SaveToFile();

private:
    void Report(const std::string& text) const;

    struct Entry {
        std::string name;
        int mark;
    };
    std::string path_;
    IOperatorMessages* messages_;
    std::vector<Entry> entries_;
};
