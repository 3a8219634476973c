#include "support/FileText.h"

#include <fstream>
#include <system_error>

#include "support/BoxFolder.h"

namespace box {

std::optional<std::string> ReadFileBytes(const Text& path) {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    return data;
}

Text ReadFileText(const Text& path, const Text& def) {
    auto data = ReadFileBytes(path);
    if (!data || data->empty()) return def;
    std::size_t zero = data->find('\0');
    if (zero != std::string::npos) data->resize(zero);
    return *data;
}

bool WriteFileBytes(const Text& path, std::string_view bytes) {
    std::filesystem::path target = FsPath(path);
    std::filesystem::path temp = target;
    temp += ".part~";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool WriteFileText(const Text& path, const Text& text, bool append) {
    if (append && FileExists(path)) {
        std::ofstream out(FsPath(path), std::ios::binary | std::ios::app);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        return static_cast<bool>(out);
    }
    return WriteFileBytes(path, text);
}

bool FileExists(const Text& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(FsPath(path), ec);
}

bool DeleteFile(const Text& path) {
    std::error_code ec;
    return std::filesystem::remove(FsPath(path), ec) && !ec;
}

}  // namespace box
