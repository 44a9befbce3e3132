#pragma once

#include <libxml/xmlreader.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace sumiro::databuild {

/// A forward-only reader over an XML document in memory (libxml2's text reader), with errors
/// turned into std::runtime_error naming the source and line. Never loads external entities.
class XmlReader {
public:
    XmlReader(std::string_view xml, std::string_view source);

    /// Advances to the next node; false at the end of the document.
    bool next();
    bool isElementStart() const;
    bool isElementEnd() const;
    /// Local name of the current node.
    std::string_view name() const;
    /// Value of an attribute of the current element, if present.
    std::optional<std::string> attribute(const char* name) const;
    /// The text content of the current element.
    std::string text();
    int line() const;
    [[noreturn]] void fail(const std::string& why) const;

private:
    struct Free {
        void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
    };
    std::unique_ptr<xmlTextReader, Free> reader_;
    std::string source_;
};

/// The one code point of a UTF-8 text, or nothing when the text is not exactly one code point.
std::optional<char32_t> singleCodePoint(std::string_view utf8);

}  // namespace sumiro::databuild
