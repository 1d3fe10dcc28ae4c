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

    std::optional<SavedQueue> Leftover() override;
    bool Save(const SavedQueue& queue) override;
    void Remove() override;

private:
    QString path_;
    UniqueFd lock_;
};

}  // namespace zorvex::app
