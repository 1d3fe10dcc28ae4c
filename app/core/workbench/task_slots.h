// The task slot table: beside every queue row the two option records the
// converter needs to rebuild that row's task at each batch start.
#pragma once

#include <QString>
#include <array>
#include <memory>

#include "media/converter_options.h"

namespace zorvex::app {

enum class SlotState { Empty, Full, Deleted };

// "kong", "Full", "DELETED": the texts the table has always used for the states.
QString SlotStateText(SlotState state);

class PreparedSource;

// What a file was when it was opened: a later size or time tells that it has
// changed since.
struct FileStamp {
    qint64 size = -1;
    qint64 modifiedMs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp StampOf(const QString& path);

struct TaskSlot {
    TInputOptions input;
    TOutputOptions output;
    // The name the output was made from before a "(New_k)" mark was added to
    // keep it from an existing file: each batch start reserves this name
    // afresh. A mark that came with the source's own name is part of it.
    std::string outputBase;
    // The task opened when the file was added, for the first batch; none
    // when the row came another way or a batch has taken it.
    std::shared_ptr<PreparedSource> prepared;
    FileStamp stamp;
};

// 501 slots. With n queued rows slots 0..n-1 are Full and slot i belongs to
// row i; removed slots collect at the end and are reused only after a clear.
// The state lives beside the records, never inside them.
class TaskSlotTable {
public:
    static constexpr int kSlotCount = 501;

    TaskSlotTable() { Reset(); }

    void Reset();  // every slot Empty, records re-initialised
    SlotState State(int index) const { return states_.at(index); }
    const TaskSlot& Slot(int index) const { return slots_.at(index); }

    // The first Empty slot, or -1 when none is left.
    int FirstEmpty() const;
    // Copies both records into the first Empty slot and marks it Full; -1 when
    // the table has no Empty slot left. outputBase: see TaskSlot (empty: the
    // output's own name).
    int Fill(const TInputOptions& input, const TOutputOptions& output,
             const std::string& outputBase = {});
    // Marks the slot Deleted and carries it to the end of the table, moving
    // every later slot down by one (records and states travel together).
    void Remove(int index);
    void Swap(int a, int b);
    // The output name a batch gave the slot's row.
    void SetOutputFile(int index, const std::string& fileName) {
        slots_.at(index).output.FileName = fileName;
    }
    void SetPrepared(int index, std::shared_ptr<PreparedSource> prepared, FileStamp stamp) {
        slots_.at(index).prepared = std::move(prepared);
        slots_.at(index).stamp = stamp;
    }
    // The slot's opened task, once, if the file still has the given stamp.
    std::shared_ptr<PreparedSource> TakePrepared(int index, FileStamp now);
    // Turns every Deleted slot back into an Empty one; for when no Empty slot
    // is left although the queue holds fewer rows than the table has slots.
    void ReclaimDeleted();

private:
    std::array<TaskSlot, kSlotCount> slots_;
    std::array<SlotState, kSlotCount> states_;
};

}  // namespace zorvex::app
