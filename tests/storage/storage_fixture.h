// A fresh state, a recording stand-in for the window, and a temporary folder standing in for the
// executable's folder.
#pragma once

#include "../engine/engine_fixture.h"
#include "storage/paths.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <vector>

namespace brennix::test {

namespace fs = std::filesystem;

class StorageTest : public EngineTest {
  protected:
    fs::path dir;

    void SetUp() override {
        EngineTest::SetUp();
        std::string pattern = (fs::temp_directory_path() / "brennix-test-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        SetBaseDir(dir.string());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
        EngineTest::TearDown();
    }

    std::string In(const std::string& name) const { return (dir / name).string(); }
    void MakeSaveFolder() const { fs::create_directory(dir / "save"); }

    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static void Touch(const std::string& path) { WriteBytes(path, {'x'}); }
    static int32_t Int32At(const std::vector<uint8_t>& bytes, size_t offset) {
        return static_cast<int32_t>(uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
                                    uint32_t{bytes[offset + 2]} << 16 |
                                    uint32_t{bytes[offset + 3]} << 24);
    }
    // Names of the files left in a folder.
    std::vector<std::string> FilesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Limits the size of files this process may write, to make a write fail half way.
class TFileSizeLimit {
  public:
    explicit TFileSizeLimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of killing us
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old_); }

  private:
    rlimit old_{};
};

} // namespace brennix::test
