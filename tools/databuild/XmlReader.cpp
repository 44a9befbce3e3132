#include "tools/databuild/XmlReader.h"

#include <limits>
#include <stdexcept>

namespace sumiro::databuild {

XmlReader::XmlReader(std::string_view xml, std::string_view source) : source_(source) {
    if (xml.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw std::runtime_error(source_ + ": too large for the XML reader");
    reader_.reset(xmlReaderForMemory(xml.data(), static_cast<int>(xml.size()), source_.c_str(),
                                     "UTF-8",
                                     XML_PARSE_NONET | XML_PARSE_COMPACT | XML_PARSE_HUGE |
                                         XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!reader_) throw std::runtime_error(source_ + ": cannot start the XML reader");
}

bool XmlReader::next() {
    const int status = xmlTextReaderRead(reader_.get());
    if (status < 0) {
        const xmlError* error = xmlGetLastError();
        std::string why = error && error->message ? error->message : "malformed XML";
        while (!why.empty() && why.back() == '\n') why.pop_back();
        fail(why);
    }
    return status == 1;
}

bool XmlReader::isElementStart() const {
    return xmlTextReaderNodeType(reader_.get()) == XML_READER_TYPE_ELEMENT;
}

bool XmlReader::isElementEnd() const {
    return xmlTextReaderNodeType(reader_.get()) == XML_READER_TYPE_END_ELEMENT ||
           (isElementStart() && xmlTextReaderIsEmptyElement(reader_.get()) == 1);
}

std::string_view XmlReader::name() const {
    const xmlChar* name = xmlTextReaderConstLocalName(reader_.get());
    return name ? std::string_view(reinterpret_cast<const char*>(name)) : std::string_view();
}

std::optional<std::string> XmlReader::attribute(const char* name) const {
    xmlChar* value =
        xmlTextReaderGetAttribute(reader_.get(), reinterpret_cast<const xmlChar*>(name));
    if (!value) return std::nullopt;
    std::string result(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return result;
}

std::string XmlReader::text() {
    xmlChar* value = xmlTextReaderReadString(reader_.get());
    if (!value) return {};
    std::string result(reinterpret_cast<const char*>(value));
    xmlFree(value);
    return result;
}

int XmlReader::line() const { return xmlTextReaderGetParserLineNumber(reader_.get()); }

void XmlReader::fail(const std::string& why) const {
    throw std::runtime_error(source_ + ":" + std::to_string(line()) + ": " + why);
}

std::optional<char32_t> singleCodePoint(std::string_view utf8) {
    if (utf8.empty()) return std::nullopt;
    const auto lead = static_cast<unsigned char>(utf8[0]);
    std::size_t length = lead < 0x80           ? 1
                         : (lead >> 5) == 0x6  ? 2
                         : (lead >> 4) == 0xE  ? 3
                         : (lead >> 3) == 0x1E ? 4
                                               : 0;
    if (length == 0 || utf8.size() != length) return std::nullopt;
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if ((byte & 0xC0) != 0x80) return std::nullopt;
        code = (code << 6) | (byte & 0x3F);
    }
    return code;
}

}  // namespace sumiro::databuild
