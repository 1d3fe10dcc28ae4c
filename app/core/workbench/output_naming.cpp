#include "app/core/workbench/output_naming.h"

namespace zorvex::app {

std::string MovedIntoFolder(const std::string& outputFolder, const std::string& name) {
    std::string folder = outputFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return (folder == "/" ? folder : folder + "/") + name.substr(name.rfind('/') + 1);
}

std::string BatchStartOutputName(const std::string& outputFolder, const std::string& base,
                                 int policy, OutputReservation& outputs) {
    return outputs.Reserve(MovedIntoFolder(outputFolder, base), policy == npOverwrite);
}

}  // namespace zorvex::app
