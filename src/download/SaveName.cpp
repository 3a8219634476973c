#include "download/SaveName.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace box {

namespace {

constexpr int kMaxTries = 99;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::string> NextSaveName(std::string_view fileName) {
    const std::size_t dot = fileName.find('.');
    std::string stem(fileName.substr(0, dot));
    const std::string_view rest = dot == std::string_view::npos ? "" : fileName.substr(dot);
    // "(N)" with one or two digits at the end of the stem.
    int number = 0;
    std::size_t open = std::string::npos;
    if (stem.size() >= 3 && stem.back() == ')') {
        const std::size_t digitsEnd = stem.size() - 1;
        std::size_t digitsStart = digitsEnd;
        while (digitsStart > 0 && digitsEnd - digitsStart < 3 && IsDigit(stem[digitsStart - 1]))
            --digitsStart;
        const std::size_t digits = digitsEnd - digitsStart;
        if (digits >= 1 && digits <= 2 && digitsStart > 0 && stem[digitsStart - 1] == '(') {
            open = digitsStart - 1;
            number = std::stoi(stem.substr(digitsStart, digits));
        }
    }
    if (open == std::string::npos) return stem + "(1)" + std::string(rest);
    if (number + 1 >= 100) return std::nullopt;
    return stem.substr(0, open) + "(" + std::to_string(number + 1) + ")" + std::string(rest);
}

int CreateSaveFile(const std::filesystem::path& wanted, std::filesystem::path& used) {
    std::filesystem::path candidate = wanted;
    for (int tries = 0;; ++tries) {
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            used = candidate;
            return fd;
        }
        if (errno != EEXIST || tries == kMaxTries) return -1;
        auto next = NextSaveName(candidate.filename().string());
        if (!next) return -1;
        candidate.replace_filename(*next);
    }
}

}  // namespace box
