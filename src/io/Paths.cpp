#include "io/Paths.h"

#include "io/System.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace zm::io {

namespace fs = std::filesystem;

std::string temporaryFolder() {
    const char* t = std::getenv("TMPDIR");
    if (t != nullptr && *t != '\0') {
        return t;
    }
    return sys::defaultTemporaryFolder();
}

std::string folderOf(const std::string& path) {
    const fs::path p = path;
    return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

fs::path normalFolder(const fs::path& p) {
    fs::path n = p.lexically_normal();
    if (!n.has_filename() && n.has_parent_path() && n != n.root_path()) {
        n = n.parent_path();
    }
    return n;
}

std::string hiddenName() {
    static std::uint64_t state = [] {
        std::uint64_t s =
            static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        s ^= static_cast<std::uint64_t>(sys::processId()) << 32;
        return s;
    }();
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    std::uint64_t x = state >> 11;
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string s = ".zebo-morlix-";
    for (int i = 0; i < 8; ++i) {
        s.push_back(digits[x % 36]);
        x /= 36;
    }
    return s;
}

std::string inFolder(const std::string& folder, const std::string& leaf) {
    return (fs::path(folder) / leaf).string();
}

bool nameExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

fs::path absoluteOr(const fs::path& p) {
    std::error_code ec;
    fs::path a = fs::absolute(p, ec);
    return ec ? p : a;
}

int descriptorNamed(const fs::path& path) {
    const std::string p = path.lexically_normal().string();
    if (p == "/dev/stdin") {
        return 0;
    }
    if (p == "/dev/stdout") {
        return 1;
    }
    if (p == "/dev/stderr") {
        return 2;
    }
    const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/thread-self/fd/",
                                    "/proc/" + std::to_string(sys::processId()) + "/fd/"};
    for (const std::string& prefix : prefixes) {
        if (p.size() > prefix.size() && p.size() <= prefix.size() + 9 &&
            p.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(p.begin() + static_cast<std::ptrdiff_t>(prefix.size()), p.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return std::atoi(p.c_str() + prefix.size());
        }
    }
    return -1;
}

} // namespace zm::io
