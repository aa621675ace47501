// Messages for the operator, shown in a message box. The
// main window implements this; tests and command-line tools record or
// print.
#pragma once

#include <string>

class IOperatorMessages {
public:
    virtual ~IOperatorMessages() = default;
    virtual void ShowMessage(const std::string& text) = 0;
};
