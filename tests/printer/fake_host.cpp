#include "fake_host.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <iconv.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <utility>

void FakeHost::pumpEvents(std::chrono::milliseconds waitUpTo) {
    ++pumps;
    if (waitUpTo.count() > 0) {
        std::this_thread::sleep_for(waitUpTo);
        if (auto pause = std::exchange(duringPause, nullptr)) pause();
    } else if (atPlainPump) {
        atPlainPump();
    }
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "printer-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

TempDir::~TempDir() {
    std::filesystem::remove_all(dir_);
}

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    slavePath = ptsname(master_);
    slave_ = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
    if (slave_ < 0) throw std::runtime_error("cannot open " + slavePath);
}

PseudoTerminal::~PseudoTerminal() {
    close(slave_);
    close(master_);
}

std::string PseudoTerminal::readAll() {
    std::string arrived;
    pollfd readable{master_, POLLIN, 0};
    char chunk[4096];
    while (poll(&readable, 1, 100) > 0) {
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n <= 0) break;
        arrived.append(chunk, static_cast<std::size_t>(n));
    }
    return arrived;
}

bool PseudoTerminal::slaveOutputProcessing() const {
    termios settings{};
    tcgetattr(slave_, &settings);
    return (settings.c_oflag & OPOST) != 0;
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
