#include "temp_files.h"

#include <stdlib.h>

#include <iconv.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "printer-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

TempDir::~TempDir() {
    std::filesystem::remove_all(dir_);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string bytesFromHex(const std::string& hex) {
    std::istringstream in(hex);
    std::string bytes;
    for (unsigned value; in >> std::hex >> value;) bytes.push_back(static_cast<char>(value));
    return bytes;
}

std::string fromGbk(const std::string& gbk) {
    iconv_t converter = iconv_open("UTF-8", "CP936");
    std::string out(gbk.size() * 2 + 4, '\0');
    char* in = const_cast<char*>(gbk.data());
    std::size_t inLeft = gbk.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1)) throw std::runtime_error("not GBK");
    out.resize(out.size() - outLeft);
    return out;
}

std::string asUtf8(std::u8string_view text) {
    return {text.begin(), text.end()};
}
