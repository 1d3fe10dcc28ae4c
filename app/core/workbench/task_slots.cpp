#include "app/core/workbench/task_slots.h"

#include <QDateTime>
#include <QFileInfo>
#include <utility>

namespace zorvex::app {

QString SlotStateText(SlotState state) {
    switch (state) {
        case SlotState::Empty:
            return QStringLiteral("kong");
        case SlotState::Full:
            return QStringLiteral("Full");
        case SlotState::Deleted:
            return QStringLiteral("DELETED");
    }
    return {};
}

void TaskSlotTable::Reset() {
    for (TaskSlot& slot : slots_) {
        InitInputOptions(slot.input);
        InitOutputOptions(slot.output);
        slot.outputBase.clear();
        slot.prepared.reset();
    }
    states_.fill(SlotState::Empty);
}

int TaskSlotTable::FirstEmpty() const {
    for (int i = 0; i < kSlotCount; ++i) {
        if (states_[i] == SlotState::Empty) return i;
    }
    return -1;
}

int TaskSlotTable::Fill(const TInputOptions& input, const TOutputOptions& output,
                        const std::string& outputBase) {
    const int index = FirstEmpty();
    if (index < 0) return -1;
    slots_[index].input = input;
    slots_[index].output = output;
    slots_[index].outputBase = outputBase.empty() ? output.FileName : outputBase;
    slots_[index].prepared.reset();
    states_[index] = SlotState::Full;
    return index;
}

void TaskSlotTable::Remove(int index) {
    if (index < 0 || index >= kSlotCount) return;
    states_[index] = SlotState::Deleted;
    slots_[index].prepared.reset();  // closes the file it held open
    for (int i = index; i < kSlotCount - 1; ++i) Swap(i, i + 1);
}

void TaskSlotTable::Swap(int a, int b) {
    std::swap(slots_.at(a), slots_.at(b));
    std::swap(states_.at(a), states_.at(b));
}

void TaskSlotTable::ReclaimDeleted() {
    for (int i = 0; i < kSlotCount; ++i) {
        if (states_[i] != SlotState::Deleted) continue;
        InitInputOptions(slots_[i].input);
        InitOutputOptions(slots_[i].output);
        slots_[i].outputBase.clear();
        states_[i] = SlotState::Empty;
    }
}

std::shared_ptr<PreparedSource> TaskSlotTable::TakePrepared(int index, FileStamp now) {
    TaskSlot& slot = slots_.at(index);
    std::shared_ptr<PreparedSource> prepared = std::exchange(slot.prepared, nullptr);
    if (!prepared || now.size < 0 || !(now == slot.stamp)) return nullptr;
    return prepared;
}

FileStamp StampOf(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile()) return {};
    return FileStamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
}

}  // namespace zorvex::app
