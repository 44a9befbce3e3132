#include "tools/databuild/InputFile.h"

#include <bzlib.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace sumiro::databuild {
namespace {

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& why) {
    throw std::runtime_error(path.string() + ": " + why);
}

std::string readPlain(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(path, std::strerror(errno));
    std::string data;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    if (size < 0) fail(path, "cannot determine its size");
    data.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(data.data(), size);
    if (!in) fail(path, "read error");
    return data;
}

std::string bunzip(const std::filesystem::path& path, const std::string& compressed) {
    std::string out;
    out.reserve(compressed.size() * 8);
    std::size_t consumed = 0;
    char buffer[1 << 16];
    // A .bz2 file may hold several concatenated streams; decode them all.
    while (consumed < compressed.size()) {
        bz_stream stream{};
        if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) fail(path, "bzip2 initialisation failed");
        const std::unique_ptr<bz_stream, decltype(&BZ2_bzDecompressEnd)> guard(
            &stream, &BZ2_bzDecompressEnd);
        stream.next_in = const_cast<char*>(compressed.data() + consumed);
        stream.avail_in = static_cast<unsigned>(compressed.size() - consumed);
        int status = BZ_OK;
        while (status == BZ_OK) {
            stream.next_out = buffer;
            stream.avail_out = sizeof buffer;
            status = BZ2_bzDecompress(&stream);
            if (status != BZ_OK && status != BZ_STREAM_END)
                fail(path, "corrupt bzip2 data (error " + std::to_string(status) + ")");
            out.append(buffer, sizeof buffer - stream.avail_out);
            if (status == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0)
                fail(path, "truncated bzip2 data");
        }
        consumed = compressed.size() - stream.avail_in;
    }
    return out;
}

std::string gunzip(const std::filesystem::path& path) {
    const std::unique_ptr<gzFile_s, decltype(&gzclose)> file(gzopen(path.c_str(), "rb"), &gzclose);
    if (!file) fail(path, std::strerror(errno));
    std::string out;
    char buffer[1 << 16];
    for (;;) {
        const int n = gzread(file.get(), buffer, sizeof buffer);
        if (n < 0) {
            int code = 0;
            fail(path, std::string("corrupt gzip data: ") + gzerror(file.get(), &code));
        }
        if (n == 0) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    // gzread reports a file cut short only through the error state, after returning 0.
    int code = Z_OK;
    const char* message = gzerror(file.get(), &code);
    if (code != Z_OK) fail(path, std::string("corrupt gzip data: ") + message);
    return out;
}

}  // namespace

std::string readInputFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) fail(path, "no such file");
    const std::string extension = path.extension().string();
    if (extension == ".bz2") return bunzip(path, readPlain(path));
    if (extension == ".gz") return gunzip(path);
    return readPlain(path);
}

std::filesystem::path findInput(std::string_view what,
                                std::initializer_list<std::filesystem::path> candidates) {
    std::string tried;
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
        tried += tried.empty() ? "" : ", ";
        tried += candidate.string();
    }
    throw std::runtime_error("missing input " + std::string(what) + ": none of " + tried);
}

}  // namespace sumiro::databuild
