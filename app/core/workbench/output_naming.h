// The queue's output names: the naming policy and the name a queued output gets
// when a batch starts. The "(New_k)" rule itself is UniqueOutputName
// (media/output_paths.h).
#pragma once

#include <string>

#include "media/output_paths.h"

namespace zorvex::app {

enum NamingPolicy { npNewName = 0, npOverwrite = 1 };

// At batch start: the stored name's file part is moved into outputFolder and
// cut back to the name it was made from ("a(New_2).mp4" -> "a.mp4"), which is
// then reserved among the batch's outputs. Under npNewName every name is
// tested and becomes its first "(New_k)" form that is free on disk and in the
// batch, so a second run of a queue never writes over the first run's files;
// under npOverwrite an existing file may be replaced, but never a source or
// another output of the same batch.
std::string BatchStartOutputName(const std::string& outputFolder, const std::string& stored,
                                 int policy, OutputReservation& outputs);

}  // namespace zorvex::app
