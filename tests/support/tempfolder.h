#pragma once

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

// A fresh folder of its own under the system's temporary folder, for one
// test or one fixture, removed with all it holds when it goes. Its name is
// the system's pick, so cases run side by side never share a folder.
class TempFolder {
public:
    // Throws std::system_error when no folder can be made, rather than
    // leaving an empty path that would put the test's files in whatever
    // folder the runner happens to be in.
    TempFolder()
    {
        const std::filesystem::path parent = std::filesystem::temp_directory_path();
        std::string pattern = (parent / "pegtest-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            const int error = errno;
            throw std::system_error(error, std::generic_category(),
                                    "cannot make a temporary folder in " + parent.string());
        }
        m_path = pattern;
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    // Gives the owner back the rights a test took away (a read-only folder,
    // an unreadable file) before removing, each folder before what it
    // holds, so the removal never stops half-way; links are not followed,
    // so nothing outside the folder is touched.
    ~TempFolder()
    {
        namespace fs = std::filesystem;
        constexpr auto kAdd = fs::perm_options::add | fs::perm_options::nofollow;
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, kAdd, ignored);
        std::error_code walk;
        for (fs::recursive_directory_iterator entry(m_path, walk), end; !walk && entry != end; entry.increment(walk))
            fs::permissions(entry->path(), fs::perms::owner_all, kAdd, ignored);
        fs::remove_all(m_path, ignored);
    }

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::filesystem::path &path, const std::string &bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Bytes that are not text: every byte value, over and over.
inline std::string installerBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 % 256);
    return bytes;
}
