#pragma once

#include <string>

namespace sim {

// The qualified name of the document element of an XML text, skipping the byte order
// mark, the declaration, processing instructions, comments and a DOCTYPE; empty when none.
std::string rootElementName(const std::string& xml);

// The name without its namespace prefix.
std::string localName(const std::string& qualifiedName);

} // namespace sim
