// Output file names at add time: a name that is taken gets "(New_k)" before its
// extension, with the smallest free k.
#pragma once

#include <functional>
#include <string>

namespace zorvex::app {

// True when a file (or anything else) of that name exists.
bool PathExists(const std::string& path);

// The collision rule for a proposed name N = B + E (E from the last dot of the
// file-name part): when taken(N), B + "(New_" + k + ")" + E for the smallest
// k >= 1 that is not taken; otherwise N.
std::string UniqueOutputName(const std::string& proposed,
                             const std::function<bool(const std::string&)>& taken = PathExists);

}  // namespace zorvex::app
