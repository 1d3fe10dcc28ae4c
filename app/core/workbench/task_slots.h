// The task slot table: beside every queue row the two option records the
// converter needs to rebuild that row's task at each batch start.
#pragma once

#include <QString>
#include <array>

#include "media/converter_options.h"

namespace zorvex::app {

enum class SlotState { Empty, Full, Deleted };

// "kong", "Full", "DELETED": the texts the table has always used for the states.
QString SlotStateText(SlotState state);

struct TaskSlot {
    TInputOptions input;
    TOutputOptions output;
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
    // the table has no Empty slot left.
    int Fill(const TInputOptions& input, const TOutputOptions& output);
    // Marks the slot Deleted and carries it to the end of the table, moving
    // every later slot down by one (records and states travel together).
    void Remove(int index);
    void Swap(int a, int b);
    // The output name a batch gave the slot's row.
    void SetOutputFile(int index, const std::string& fileName) {
        slots_.at(index).output.FileName = fileName;
    }
    // Turns every Deleted slot back into an Empty one; for when no Empty slot
    // is left although the queue holds fewer rows than the table has slots.
    void ReclaimDeleted();

private:
    std::array<TaskSlot, kSlotCount> slots_;
    std::array<SlotState, kSlotCount> states_;
};

}  // namespace zorvex::app
