// What the builder's tests share: a scratch directory, error capture, a small KANJIDIC2.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sumiro::databuild::testing {

/// A fresh directory under the system temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "sumiro-databuild-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

    /// Writes `content` to `name` inside the directory (creating subdirectories) and returns
    /// the full path.
    std::filesystem::path write(const std::filesystem::path& name, std::string_view content) const {
        const std::filesystem::path file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    /// The bytes of `name` inside the directory; empty when it cannot be read.
    std::string read(const std::filesystem::path& name) const {
        std::ostringstream out;
        out << std::ifstream(path_ / name, std::ios::binary).rdbuf();
        return out.str();
    }

private:
    std::filesystem::path path_;
};

/// The message of the exception `f` throws, or "(no error)".
template <typename F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

// 木 with what the builder must skip (other radical types, a miscount after the accepted count,
// pinyin, meanings, nanori), 林 with a JIS X 0208 code only, 𠮷 outside JIS X 0208 and unread.
constexpr const char* kKanjidic = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE kanjidic2 [
<!ELEMENT kanjidic2 (header,character*)>
]>
<kanjidic2>
<header><file_version>4</file_version></header>
<character>
<literal>木</literal>
<codepoint><cp_value cp_type="ucs">6728</cp_value><cp_value cp_type="jis208">1-44-58</cp_value></codepoint>
<radical><rad_value rad_type="nelson_c">1</rad_value><rad_value rad_type="classical">75</rad_value></radical>
<misc><grade>1</grade><stroke_count>4</stroke_count><stroke_count>5</stroke_count></misc>
<reading_meaning><rmgroup>
<reading r_type="pinyin">mu4</reading>
<reading r_type="ja_on">ボク</reading><reading r_type="ja_on">モク</reading>
<reading r_type="ja_kun">き</reading><reading r_type="ja_kun">こ-</reading>
<meaning>tree</meaning>
</rmgroup><nanori>もと</nanori></reading_meaning>
</character>
<character><literal>林</literal>
<codepoint><cp_value cp_type="jis208">1-46-51</cp_value></codepoint>
<radical><rad_value rad_type="classical">75</rad_value></radical>
<misc><stroke_count>8</stroke_count></misc>
<reading_meaning><rmgroup><reading r_type="ja_on">リン</reading><reading r_type="ja_kun">はやし</reading></rmgroup></reading_meaning>
</character>
<character>
<literal>𠮷</literal>
<codepoint><cp_value cp_type="jis213">1-47-52</cp_value></codepoint>
<radical><rad_value rad_type="classical">30</rad_value></radical>
<misc><stroke_count>6</stroke_count></misc>
</character>
</kanjidic2>
)";

}  // namespace sumiro::databuild::testing
