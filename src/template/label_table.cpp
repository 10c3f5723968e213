#include "template/label_table.h"

namespace setupext {

constinit const RuleSet LabelRules(LabelCompounds, LabelRuleList);

}  // namespace setupext
