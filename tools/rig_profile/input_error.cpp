#include "input_error.h"

namespace tarvelmond::offline {
namespace {

std::string place(const std::string& file, int line, int column) {
    std::string text = file;
    if (line > 0) text += ":" + std::to_string(line);
    if (line > 0 && column > 0) text += ":" + std::to_string(column);
    return text;
}

}  // namespace

InputError::InputError(const std::string& file, int line, int column, const std::string& message)
    : std::runtime_error(place(file, line, column) + ": " + message),
      file_(file),
      line_(line),
      column_(column) {}

InputError::InputError(const std::string& file, const std::string& message)
    : InputError(file, 0, 0, message) {}

}  // namespace tarvelmond::offline
