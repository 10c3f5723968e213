#include "template/label_table.h"

namespace setupext {

void ApplyLabelTable(std::string& line, std::span<const Label> table) {
  for (const Label& label : table) ReplaceAll(line, label.source, label.french);
}

}  // namespace setupext
