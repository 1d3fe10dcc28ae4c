// The queue kept on disk so that it survives a crash: every row with its two
// option records and its status, saved whenever the queue changes and removed
// when the program closes normally. A saved queue found at start-up is what a
// run that did not end normally left behind.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "media/converter_options.h"

namespace zorvex::app {

struct SavedRow {
    TInputOptions input;
    TOutputOptions output;
    QString status;  // column 6 when it was saved
};

struct SavedQueue {
    std::vector<SavedRow> rows;
};

// A JSON text that names every record field; unknown fields are ignored and
// missing ones keep their "not set" value, so a queue saved by another version
// still loads. nullopt when the text is no saved queue.
QByteArray SavedQueueToJson(const SavedQueue& queue);
std::optional<SavedQueue> SavedQueueFromJson(const QByteArray& json);

class QueueStore {
public:
    virtual ~QueueStore() = default;
    // The queue a run that did not end normally left behind; nullopt when
    // there is none (or another running instance of the program owns it).
    virtual std::optional<SavedQueue> Leftover() = 0;
    // Replaces the saved queue as one step: a crash leaves the old or the new
    // one, never a mix. False when it cannot be written.
    virtual bool Save(const SavedQueue& queue) = 0;
    virtual void Remove() = 0;
};

// In memory, for tests.
class MemoryQueueStore : public QueueStore {
public:
    std::optional<SavedQueue> Leftover() override { return saved; }
    bool Save(const SavedQueue& queue) override {
        saved = queue;
        ++saves;
        return true;
    }
    void Remove() override { saved.reset(); }

    std::optional<SavedQueue> saved;
    int saves = 0;
};

}  // namespace zorvex::app
