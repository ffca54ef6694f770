#include "pages.h"

namespace sim {

// The display stylesheet of accepted reports: every element as a labelled row, nested
// elements as nested tables, whatever the report's fields are.
std::string reportStylesheet() {
    return R"xsl(<?xml version="1.0" encoding="utf-8"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
<xsl:output method="html" encoding="utf-8"/>
<xsl:template match="/">
<html><head><title>Принятый отчет</title>
<style>
body { font-family: Tahoma, sans-serif; font-size: 10pt; }
table { border-collapse: collapse; margin: 2px 0; }
td { border: 1px solid #999; padding: 2px 6px; vertical-align: top; }
td.name { background: #eef; font-weight: bold; }
</style></head>
<body><h2>Принятый отчет (демонстрационный шлюз КВБ)</h2>
<xsl:apply-templates select="*"/>
</body></html>
</xsl:template>
<xsl:template match="*">
<table><tr><td class="name"><xsl:value-of select="name()"/></td><td>
<xsl:choose>
<xsl:when test="*"><xsl:apply-templates select="*"/></xsl:when>
<xsl:otherwise><xsl:value-of select="."/></xsl:otherwise>
</xsl:choose>
</td></tr></table>
</xsl:template>
</xsl:stylesheet>
)xsl";
}

} // namespace sim
