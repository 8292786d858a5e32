#pragma once
#include <filesystem>
#include <string>

namespace tarvelmond::offline {

// The whole file as bytes; throws InputError naming the file when it cannot be read.
std::string readTextFile(const std::filesystem::path& path);

// Writes the text, creating missing directories; throws std::runtime_error naming the file on failure.
void writeTextFile(const std::filesystem::path& path, const std::string& text);

}  // namespace tarvelmond::offline
