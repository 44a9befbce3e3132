// Readers of the three sources and of compressed input files: their failures, and what the
// builder's run (DataBuilderTest) cannot show. What Unihan and KANJIDIC2 entries yield is checked
// through the records that run writes.
#include <bzlib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>

#include "testsupport/TempDirectory.h"
#include "tools/databuild/InputFile.h"
#include "tools/databuild/KanjiVg.h"
#include "tools/databuild/Kanjidic.h"
#include "tools/databuild/Unihan.h"

namespace sumiro::databuild {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDirectory;

auto failsWith(const std::string& message) {
    return ::testing::ThrowsMessage<std::runtime_error>(HasSubstr(message));
}

TEST(UnihanTest, MalformedRecordsNameSourceAndLine) {
    for (const char* bad :
         {"U+6728\tkTotalStrokes\tfour\n", "U+6728\tkTotalStrokes\n", "6728\tkTotalStrokes\t4\n",
          "U+6728\tkRSUnicode\t215.1\n", "U+6728\tkTotalStrokes\t\n"}) {
        UnihanTable table;
        const std::string text = std::string("# header\n") + bad;
        EXPECT_THAT([&] { parseUnihan(text, "Unihan_X.txt", table); },
                    failsWith("Unihan_X.txt:2: "))
            << bad;
    }
}

TEST(KanjidicTest, ProblemsNameTheSource) {
    for (const auto& [xml, problem] : std::initializer_list<std::pair<const char*, const char*>>{
             {"<kanjidic2><character>", "k.xml:"},
             {"<other/>", "k.xml: not a KANJIDIC2 file"},
             {"<kanjidic2><character><literal>木林</literal></character></kanjidic2>",
              "k.xml:1: literal '木林' is not one character"},
             {"<kanjidic2><character><literal>木</literal><misc><stroke_count>x</stroke_count>"
              "</misc></character></kanjidic2>",
              "k.xml:1: bad stroke count 'x'"}})
        EXPECT_THAT([text = xml] { parseKanjidic(text, "k.xml"); }, failsWith(problem)) << xml;
}

TEST(KanjiVgTest, BaseFilesInCodePointOrder) {
    TempDirectory dir;
    // Variants, other files and a name that encodes a surrogate are not base files.
    for (const char* name : {"06728-Kaisho.svg", "0d800.svg", "README.md", "kvg-index.svg"})
        dir.write(name, "<svg/>");
    EXPECT_THAT([&] { kanjiVgBaseFiles(dir.path()); }, failsWith("no stroke files"));
    for (const char* name : {"06728.svg", "03042.svg", "20b9f.svg"}) dir.write(name, "<svg/>");
    std::vector<char32_t> order;
    for (const KanjiVgFile& file : kanjiVgBaseFiles(dir.path())) order.push_back(file.codePoint);
    EXPECT_THAT(order, ElementsAre(U'あ', U'木', 0x20B9Fu));
}

TEST(KanjiVgTest, PathDataInDocumentOrder) {
    const char* svg = R"svg(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE svg PUBLIC "-//W3C//DTD SVG 1.0//EN" "http://www.w3.org/TR/2001/REC-SVG-20010904/DTD/svg10.dtd" [
<!ATTLIST g xmlns:kvg CDATA #FIXED "http://kanjivg.tagaini.net" kvg:element CDATA #IMPLIED >
]>
<svg xmlns="http://www.w3.org/2000/svg" width="109" height="109" viewBox="0 0 109 109">
<g id="kvg:StrokePaths_05341"><g kvg:element="十">
<path id="kvg:05341-s1" d="M10,50 L90,50"/>
<g><path id="kvg:05341-s2" d="M50,10 L50,90"/></g>
</g></g>
<g id="kvg:StrokeNumbers_05341"><text transform="matrix(1 0 0 1 5 50)">1</text></g>
</svg>)svg";
    EXPECT_THAT(svgPathData(svg, "05341.svg"), ElementsAre("M10,50 L90,50", "M50,10 L50,90"));
    EXPECT_THAT([] { svgPathData("<svg><path id='x'/></svg>", "x.svg"); },
                failsWith("x.svg:1: <path> without data"));
    EXPECT_THAT([] { svgPathData("<svg><path d='M0,0'>", "y.svg"); }, failsWith("y.svg:"));
}

TEST(InputFileTest, ReadsCompressedFilesAndNamesBadOnes) {
    TempDirectory dir;
    const std::string text = "U+6728\tkTotalStrokes\t4\n";
    // Two concatenated bzip2 streams, as some tools produce.
    std::string bz2;
    for (const std::string& part : {text, std::string("second stream\n")}) {
        std::string buffer(part.size() + 600, '\0');
        auto length = static_cast<unsigned>(buffer.size());
        ASSERT_EQ(BZ2_bzBuffToBuffCompress(buffer.data(), &length, const_cast<char*>(part.data()),
                                           static_cast<unsigned>(part.size()), 9, 0, 0),
                  BZ_OK);
        bz2.append(buffer.data(), length);
    }
    dir.write("data.txt.bz2", bz2);
    gzFile gz = gzopen((dir.path() / "data.xml.gz").c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
    gzclose(gz);
    EXPECT_EQ(readInputFile(dir.path() / "data.txt.bz2"), text + "second stream\n");
    EXPECT_EQ(readInputFile(dir.path() / "data.xml.gz"), text);

    // Downloads cut short, a file that only starts like bzip2, and one that is not there.
    dir.write("cut.txt.bz2", bz2.substr(0, bz2.size() / 4));
    const std::string gzipped = dir.read("data.xml.gz");
    dir.write("cut.xml.gz", gzipped.substr(0, gzipped.size() / 2));
    dir.write("broken.txt.bz2", "BZh91AY&SY not really bzip2");
    for (const std::string failure :
         {"cut.txt.bz2: truncated bzip2 data", "cut.xml.gz: corrupt gzip data",
          "broken.txt.bz2: corrupt bzip2 data", "absent.txt.bz2: no such file"}) {
        const std::string name = failure.substr(0, failure.find(':'));
        EXPECT_THAT([&] { readInputFile(dir.path() / name); }, failsWith(failure));
    }
}

}  // namespace
}  // namespace sumiro::databuild
