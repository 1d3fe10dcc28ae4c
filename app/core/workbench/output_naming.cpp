#include "app/core/workbench/output_naming.h"

namespace zorvex::app {

std::string BatchStartOutputName(const std::string& outputFolder, const std::string& stored,
                                 int policy, OutputReservation& outputs) {
    std::string folder = outputFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string name =
        (folder == "/" ? folder : folder + "/") + stored.substr(stored.rfind('/') + 1);
    return outputs.Reserve(WithoutNewMark(name), policy == npOverwrite);
}

}  // namespace zorvex::app
