#include "text_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "input_error.h"

namespace tarvelmond::offline {

std::string readTextFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw InputError(path.string(), "is a directory, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path.string(), std::string("cannot open: ") + std::strerror(errno));
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw InputError(path.string(), "read error");
    return content.str();
}

void writeTextFile(const std::filesystem::path& path, const std::string& text) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error(path.string() + ": cannot write");
}

}  // namespace tarvelmond::offline
