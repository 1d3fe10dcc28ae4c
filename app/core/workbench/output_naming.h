// Output file names: the "(New_k)" collision rule applied when a file is added
// and again when a batch starts.
#pragma once

#include <QString>
#include <functional>

#include "app/core/file_names.h"

namespace zorvex::app {

enum NamingPolicy { npNewName = 0, npOverwrite = 1 };

using FileExistsFn = std::function<bool(const QString& path)>;
bool FileExistsOnDisk(const QString& path);

// The extension without its dot, upper-cased: the queue's format columns.
QString FormatColumnText(const QString& path);

// At add time: an existing name becomes B(New_k)E with the smallest free k >= 1
// under npNewName; otherwise the name is used as it is.
QString AddTimeOutputName(const QString& proposed, int policy,
                          const FileExistsFn& exists = FileExistsOnDisk);

// At batch start: the stored name's file part is moved into outputFolder. A
// name carrying "(New_" is cut back to its base and tested again, so a batch
// that runs again reuses the plain name once it is free; other names are used
// unchanged (a rerun overwrites its previous output).
QString BatchStartOutputName(const QString& outputFolder, const QString& stored, int policy,
                             const FileExistsFn& exists = FileExistsOnDisk);

}  // namespace zorvex::app
