// Outside text made safe for an XML 1.0 attribute or element of the JUnit report.
#pragma once

#include <string>

// What is no UTF-8 becomes U+FFFD, control characters that XML 1.0 forbids become '?',
// and line breaks in attributes survive as references.
std::string Xml(const std::string &text);
