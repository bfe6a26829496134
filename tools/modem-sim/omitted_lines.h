// Report lines a firmware leaves out (or that noise swallows): with
// --omit, every answer line whose text begins, after its leading blanks,
// with one of the given texts is not sent.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velimo::sim {

// The lines that remain. Texts are compared exactly, case included.
std::vector<std::string> WithoutOmitted(std::vector<std::string> lines,
                                        const std::set<std::string>& omitted);

// "Baudrate,Message Timeout" as the texts it names; empty texts are refused
// (nothing returned).
std::set<std::string> OmittedTexts(std::string_view list);

}  // namespace velimo::sim
