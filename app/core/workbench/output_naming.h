// The queue's output names: the naming policy and the name a queued output gets
// when a batch starts. The "(New_k)" rule itself is UniqueOutputName
// (media/output_paths.h).
#pragma once

#include <string>

#include "media/output_paths.h"

namespace zorvex::app {

enum NamingPolicy { npNewName = 0, npOverwrite = 1 };

// At batch start: the stored name's file part is moved into outputFolder. A
// name carrying "(New_" is cut back to its base and tested again, so a batch
// that runs again reuses the plain name once it is free; other names are used
// unchanged (a rerun overwrites its previous output).
std::string BatchStartOutputName(const std::string& outputFolder, const std::string& stored,
                                 int policy, const NameTakenFn& taken = PathTaken);

}  // namespace zorvex::app
