#include "app/core/workbench/output_naming.h"

namespace zorvex::app {

std::string BatchStartOutputName(const std::string& outputFolder, const std::string& stored,
                                 int policy, const NameTakenFn& taken) {
    std::string folder = outputFolder;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const std::string name =
        (folder == "/" ? folder : folder + "/") + stored.substr(stored.rfind('/') + 1);
    const std::string plain = WithoutNewMark(name);
    if (plain == name) return name;
    return policy == npNewName ? UniqueOutputName(plain, taken) : plain;
}

}  // namespace zorvex::app
