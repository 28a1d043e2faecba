// Outside text made safe for an XML 1.0 attribute or element of the JUnit report.
#pragma once

#include <string>

// What is no UTF-8 becomes U+FFFD, control characters that XML 1.0 forbids become '?',
// and tab, line feed and carriage return are written as references, which attributes
// keep and parsers do not normalise.
std::string Xml(const std::string &text);
