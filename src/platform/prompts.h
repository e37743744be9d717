#pragma once

#include <optional>
#include <string>

namespace platform {

// The modal dialogs of the window. Texts are UTF-8.
class Prompts {
public:
    virtual ~Prompts() = default;
    // A message box with the text and an OK button.
    virtual void message(const std::string& text) = 0;
    // A confirmation with a warning icon, the caption and the buttons OK and Cancel.
    // True only for OK.
    virtual bool confirm(const std::string& text, const std::string& caption) = 0;
    // The open-file dialog: filter as "description|pattern" pairs (e.g. "ini(*.ini)|*.ini"),
    // starting from startName. The full path chosen, or nothing on Cancel.
    virtual std::optional<std::string> chooseOpenFile(const std::string& filter,
                                                      const std::string& startName) = 0;
};

} // namespace platform
