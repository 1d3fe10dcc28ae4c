// The queue's output names: the naming policy and the name a queued output gets
// when a batch starts. The "(New_k)" rule itself is UniqueOutputName
// (media/output_paths.h).
#pragma once

#include <string>

#include "media/output_paths.h"

namespace zorvex::app {

enum NamingPolicy { npNewName = 0, npOverwrite = 1 };

// The file part of name, moved into folder.
std::string MovedIntoFolder(const std::string& folder, const std::string& name);

// At batch start: the name a row's output was made from, before any "(New_k)"
// mark the queue added to it (so "a(New_2).mp4" given for a.mp4 becomes
// "a.mp4" again, while a mark in the source's own name stays), is moved into
// outputFolder and reserved among the batch's outputs. Under npNewName every
// name is tested and becomes its first "(New_k)" form that is free on disk and
// in the batch, so a second run of a queue never writes over the first run's
// files; under npOverwrite an existing file may be replaced, but never a
// source or another output of the same batch.
std::string BatchStartOutputName(const std::string& outputFolder, const std::string& base,
                                 int policy, OutputReservation& outputs);

}  // namespace zorvex::app
