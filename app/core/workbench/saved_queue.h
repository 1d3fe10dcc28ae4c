// The queue kept on disk so that it survives a crash: every row with its two
// option records and its status, saved whenever the queue changes and removed
// when the program closes normally. A saved queue found at start-up is what a
// run that did not end normally left behind.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <vector>

#include "media/converter_options.h"

namespace zorvex::app {

struct SavedRow {
    TInputOptions input;
    TOutputOptions output;
    QString status;  // column 6 when it was saved
    // The name the output was made from before the naming rule added a
    // "(New_k)" mark; empty: the output's own name.
    std::string outputBase;
};

struct SavedQueue {
    std::vector<SavedRow> rows;
    // What reading the saved queue left out or could not use, one line each
    // for the conversion log.
    QStringList problems;
};

// A JSON text with the record fields the program itself fills in (the source,
// the output name, the settings window's choices). Reading takes those fields
// only and only with values of their kind: anything else is left "not set"
// and named in problems, as are rows without a source. Missing fields keep
// their "not set" value, so a queue saved by another version still loads.
// nullopt when the text is no saved queue.
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
    // Moves the saved queue out of the way under a name of its own, so that
    // the next save keeps what it held (rows that could not be restored).
    // Returns that name, or an empty text when it could not be moved.
    virtual QString SetAside() = 0;
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
    QString SetAside() override {
        if (!saved) return {};
        setAside = std::exchange(saved, std::nullopt);
        return QStringLiteral("queue-aside.json");
    }

    std::optional<SavedQueue> saved, setAside;
    int saves = 0;
};

}  // namespace zorvex::app
