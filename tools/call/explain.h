// What an operation would do, worked out by the module's own code and shown, changing nothing.
#pragma once

#include <string>

#include "host/host_variables.h"
#include "template/template_report.h"

namespace setupext {

struct CallMode {
  Tense tense = Tense::kWould;  // kWould: nothing is changed; kDid: the call made for real
  bool strict = false;          // exit 3 when a page would stay, or stayed, English
};

// Prints the explanation; the exit status of the tool: 0, 3 (strict, a page left English), or
// 2 for an unknown operation.
int Explain(const std::string& operation, const HostVariableBlock& block, const CallMode& mode);
// A template operation made for real by the module's own code, linked in, every entry
// reported as Explain reports it.
int RunTemplateOperation(const std::string& operation, const HostVariableBlock& block, const CallMode& mode);

}  // namespace setupext
