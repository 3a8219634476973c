#include "support/FileText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <system_error>

#include "support/BoxFolder.h"

namespace box {

namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    // Closes now and says whether the close reported the data as written.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        // Linux releases the descriptor even when close is interrupted.
        return ::close(fd) == 0 || errno == EINTR;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool IsRegular(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// "<name>.<random>~" beside the target, hidden; a name too long to carry
// the suffix falls back to a short one.
std::string TemporaryName(const std::string& name) {
    static const char kHex[] = "0123456789abcdef";
    std::random_device random;
    std::string suffix;
    for (int i = 0; i < 3; ++i) {
        unsigned value = random();
        for (int j = 0; j < 4; ++j, value >>= 4) suffix += kHex[value & 0x0F];
    }
    const std::string base = name.size() <= 200 ? name : std::string("softbox");
    return "." + base + "." + suffix + "~";
}

}  // namespace

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path, std::size_t maxBytes) {
    if (path.empty()) return std::nullopt;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a
    // writer, and a device may act on a blocking open. Neither is read.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return std::nullopt;

    std::string data(static_cast<std::size_t>(st.st_size), '\0');
    std::size_t got = 0;
    // The file may change while it is read: read up to its size at open,
    // then on in small steps until the end, within maxBytes.
    for (;;) {
        if (got < data.size()) {
            const ssize_t n = ::read(fd.get(), data.data() + got, data.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return std::nullopt;
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
            continue;
        }
        char more[4096];
        const ssize_t n = ::read(fd.get(), more, sizeof more);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        if (static_cast<std::size_t>(n) > maxBytes - got) return std::nullopt;
        data.append(more, static_cast<std::size_t>(n));
        got += static_cast<std::size_t>(n);
    }
    data.resize(got);
    return data;
}

std::optional<std::string> ReadFileBytes(const Text& path, std::size_t maxBytes) {
    return ReadFileBytes(FsPath(path), maxBytes);
}

Text ReadFileText(const std::filesystem::path& path, const Text& def) {
    auto data = ReadFileBytes(path);
    if (!data || data->empty()) return def;
    std::size_t zero = data->find('\0');
    if (zero != std::string::npos) data->resize(zero);
    return *data;
}

Text ReadFileText(const Text& path, const Text& def) {
    return ReadFileText(FsPath(path), def);
}

bool WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
    const std::string name = path.filename().native();
    if (name.empty() || name == "." || name == "..") return false;
    std::filesystem::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    // Everything happens relative to the folder opened once, so the
    // temporary file and the target are in the same folder even when the
    // path's folders are renamed meanwhile.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return false;

    std::string temp;
    UniqueFd out;
    for (int attempt = 0; attempt < 100 && !out; ++attempt) {
        temp = TemporaryName(name);
        // O_EXCL makes the name ours alone; with it, a link at the name is
        // never followed, and O_NOFOLLOW says so once more.
        const int fd =
            ::openat(dir.get(), temp.c_str(),
                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            out.reset(fd);
        } else if (errno != EEXIST) {
            return false;
        }
    }
    if (!out) return false;

    bool ok = WriteAll(out.get(), bytes) && ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    ok = ok && ::renameat(dir.get(), temp.c_str(), dir.get(), name.c_str()) == 0;
    if (!ok) {
        ::unlinkat(dir.get(), temp.c_str(), 0);
        return false;
    }
    // The rename lasts through a crash only once the folder is synced; some
    // file systems cannot sync a folder and say EINVAL.
    return ::fsync(dir.get()) == 0 || errno == EINVAL;
}

bool WriteFileBytes(const Text& path, std::string_view bytes) {
    return WriteFileBytes(FsPath(path), bytes);
}

bool WriteFileText(const std::filesystem::path& path, const Text& text, bool append) {
    if (!append || !FileExists(path)) return WriteFileBytes(path, text);
    UniqueFd fd(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK));
    if (!fd || !IsRegular(fd.get())) return false;
    const bool written = WriteAll(fd.get(), text);
    return fd.close() && written;
}

bool WriteFileText(const Text& path, const Text& text, bool append) {
    return WriteFileText(FsPath(path), text, append);
}

bool FileExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool FileExists(const Text& path) {
    return FileExists(FsPath(path));
}

bool DeleteFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::remove(path, ec) && !ec;
}

bool DeleteFile(const Text& path) {
    return DeleteFile(FsPath(path));
}

}  // namespace box
