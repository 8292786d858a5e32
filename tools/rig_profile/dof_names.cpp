#include "dof_names.h"

namespace tarvelmond::offline {

std::optional<int> dofByName(std::string_view name) {
    for (std::size_t dof = 0; dof < kDofNames.size(); ++dof) {
        if (kDofNames[dof] == name) return static_cast<int>(dof);
    }
    return std::nullopt;
}

}  // namespace tarvelmond::offline
