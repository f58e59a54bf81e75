// Helpers shared by the tests: temporary folders, environment overrides, whole-file I/O.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace kestrava::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& child) const { return m_path / child; }

private:
    std::filesystem::path m_path;
};

// Sets (or with nullopt unsets) an environment variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(std::string name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_saved;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& contents);
// Every entry below a folder: relative path -> contents ("<dir>" for folders, "<link>" and
// the target for symbolic links).
std::map<std::string, std::string> folderContents(const std::filesystem::path& folder);
// size bytes of every value, the same for the same seed.
std::string randomBytes(std::size_t size, unsigned seed);

} // namespace kestrava::test
