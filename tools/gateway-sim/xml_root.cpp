#include "xml_root.h"

#include <cctype>

namespace sim {

std::string rootElementName(const std::string& xml) {
    size_t pos = xml.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (pos < xml.size()) {
        pos = xml.find('<', pos);
        if (pos == std::string::npos || pos + 1 >= xml.size())
            return {};
        const char next = xml[pos + 1];
        if (next == '?') {
            pos = xml.find("?>", pos);
        } else if (xml.compare(pos, 4, "<!--") == 0) {
            pos = xml.find("-->", pos);
        } else if (next == '!') {
            pos = xml.find('>', pos);
        } else {
            size_t end = pos + 1;
            while (end < xml.size() && !std::isspace(static_cast<unsigned char>(xml[end])) &&
                   xml[end] != '>' && xml[end] != '/')
                ++end;
            return xml.substr(pos + 1, end - pos - 1);
        }
        if (pos == std::string::npos)
            return {};
        ++pos;
    }
    return {};
}

std::string localName(const std::string& qualifiedName) {
    const size_t colon = qualifiedName.find(':');
    return colon == std::string::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

} // namespace sim
