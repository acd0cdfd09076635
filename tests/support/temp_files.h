#pragma once

#include <string>
#include <string_view>

// A folder of the test's own, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// "1B 69 0A" -> the three bytes.
std::string bytesFromHex(const std::string& hex);
std::string fromGbk(const std::string& gbk);
std::string asUtf8(std::u8string_view text);
