#pragma once
#include <stdexcept>
#include <string>

namespace tarvelmond::offline {

// Bad user input, with the place it was found, so the user can go straight to it:
// "file:line:column: message", or "file: message" when the whole file is at fault.
class InputError : public std::runtime_error {
  public:
    InputError(const std::string& file, int line, int column, const std::string& message);
    InputError(const std::string& file, const std::string& message);

    const std::string& file() const { return file_; }
    int line() const { return line_; }      // 1-based, 0 when the whole file is at fault
    int column() const { return column_; }  // 1-based, 0 when unknown

  private:
    std::string file_;
    int line_;
    int column_;
};

}  // namespace tarvelmond::offline
