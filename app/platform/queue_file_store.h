// The saved queue as a file in the settings folder ("queue.json"), written
// atomically. While a program instance lives it holds a lock on
// "queue.json.lock" beside it; a second instance started meanwhile neither
// offers nor saves a queue, so it never takes the first one's live queue for
// one left by a crash.
#pragma once

#include <QString>

#include "app/core/workbench/saved_queue.h"
#include "media/output_paths.h"

namespace zorvex::app {

class FileQueueStore : public QueueStore {
public:
    explicit FileQueueStore(const QString& folder);
    const QString& Path() const { return path_; }
    // This instance holds the lock and so owns the saved queue.
    bool Owner() const { return lock_.Valid(); }

    // A queue file is read only when it is a plain file (not a link, pipe or
    // device) of at most kMaxQueueFileBytes; otherwise, or when it is
    // damaged, the queue has no rows and problems says why.
    std::optional<SavedQueue> Leftover() override;
    bool Save(const SavedQueue& queue) override;
    void Remove() override;
    // Renamed to queue-<date>-<time>.json beside it, never replacing a file.
    QString SetAside() override;

    // Far more than a full queue takes (about 1.5 KB a row).
    static constexpr qint64 kMaxQueueFileBytes = 16 << 20;

private:
    QString path_;
    UniqueFd lock_;
};

}  // namespace zorvex::app
