// Output file names: the "(New_k)" rule that keeps an output from replacing a
// file already there, applied when a file is added to the queue, again when a
// batch starts, and by zorvex-cli.
#pragma once

#include <functional>
#include <string>

namespace zorvex::app {

enum NamingPolicy { npNewName = 0, npOverwrite = 1 };

using NameTakenFn = std::function<bool(const std::string& path)>;
// True when a file (or anything else) of that name exists.
bool PathExists(const std::string& path);

// For a proposed name N = B + E (E from the last dot of the file-name part):
// N when it is not taken, else B + "(New_" + k + ")" + E for the smallest
// k >= 1 that is not taken.
std::string UniqueOutputName(const std::string& proposed, const NameTakenFn& taken = PathExists);

// At batch start: the stored name's file part is moved into outputFolder. A
// name carrying "(New_" is cut back to its base and tested again, so a batch
// that runs again reuses the plain name once it is free; other names are used
// unchanged (a rerun overwrites its previous output).
std::string BatchStartOutputName(const std::string& outputFolder, const std::string& stored,
                                 int policy, const NameTakenFn& taken = PathExists);

}  // namespace zorvex::app
